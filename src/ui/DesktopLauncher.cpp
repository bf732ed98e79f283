#include "DesktopLauncher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool DesktopLauncher::open(const QString& documentOrAddress)
{
    const QUrl url = QFileInfo(documentOrAddress).isAbsolute() ? QUrl::fromLocalFile(documentOrAddress)
                                                               : QUrl::fromUserInput(documentOrAddress);
    return QDesktopServices::openUrl(url);
}
