#include "QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

void QtMessageBoxes::show(const QString& text, Icon icon, const std::optional<QString>& title)
{
    // The system's texts break lines with a lone CR, which a label does not.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title.value_or(defaultTitle()), shown, QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
