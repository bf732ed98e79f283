#include "ClassicLook.h"

#include <QApplication>
#include <QFont>

void applyClassicLook()
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Small Fonts"), QStringLiteral("Liberation Sans"));
    QApplication::setStyle(QStringLiteral("Windows"));
}
