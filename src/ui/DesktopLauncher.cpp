#include "DesktopLauncher.h"

#include "Cp1252.h"
#include "FileSystem.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QUrl>

DesktopLauncher::DesktopLauncher() = default;
DesktopLauncher::~DesktopLauncher() = default;

bool DesktopLauncher::open(const QString& documentOrAddress)
{
    const bool local = QFileInfo(documentOrAddress).isAbsolute();
    const QUrl url = local ? QUrl::fromLocalFile(documentOrAddress) : QUrl::fromUserInput(documentOrAddress);
    return QDesktopServices::openUrl(url) || (local && showText(documentOrAddress));
}

bool DesktopLauncher::showText(const QString& path)
{
    QByteArray bytes;
    QString error;
    if (!FileSystem::readAll(path, &bytes, &error))
        return false;
    if (!m_textWindow) {
        m_textWindow = std::make_unique<QPlainTextEdit>();
        m_textWindow->setReadOnly(true);
        m_textWindow->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        m_textWindow->resize(640, 480);
    }
    m_textWindow->setWindowTitle(QFileInfo(path).fileName());
    m_textWindow->setPlainText(fromCp1252(bytes));
    m_textWindow->show();
    m_textWindow->raise();
    m_textWindow->activateWindow();
    return true;
}
