#include "KestrixApp.h"

#include "FormWindow.h"
#include "FrmCompare.h"
#include "MainLayouts.h"

#include <QApplication>
#include <QLabel>

KestrixApp::KestrixApp(const QString& programFolder)
    : m_programFolder(programFolder)
{
    populate(m_splashControls, splashLayout());
    populate(m_mainControls, mainWindowLayout());
}

KestrixApp::~KestrixApp() = default;

void KestrixApp::start()
{
    m_splash = std::make_unique<FormWindow>(splashLayout(), m_splashControls);
    if (auto* picture = m_splash->findChild<QLabel*>(QStringLiteral("Picture1")))
        picture->setPixmap(QPixmap(QStringLiteral(":/kestrix/splash.png")));
    connect(&m_splashControls[u"Picture1"], &Control::clicked, this, &KestrixApp::Picture1_Click);
    m_splash->centreOnScreen();
    m_splash->show();
}

void KestrixApp::Picture1_Click()
{
    if (m_main) {
        m_main->show();
        m_splash->hide();
        return;
    }
    m_frmCompare = std::make_unique<FrmCompare>(m_mainControls, m_programFolder, m_messages, m_launcher);
    connect(m_frmCompare.get(), &FrmCompare::endRequested, this, [this] { end(0); });
    connect(m_frmCompare.get(), &FrmCompare::aboutRequested, this, &KestrixApp::showAbout);

    m_main = std::make_unique<FormWindow>(mainWindowLayout(), m_mainControls);
    connect(m_main.get(), &FormWindow::closedFromFrame, this, [this] { end(0); });
    if (!m_frmCompare->Form_Load()) {
        end(1);
        return;
    }
    m_main->centreOnScreen();
    m_main->show();
    m_splash->hide();
}

void KestrixApp::showAbout()
{
    m_messages.show(QStringLiteral("Vortrax Kestrix v1.0.2 Beta\n\nScans Vortrax Car Descriptors for Tweaks or "
                                   "Modifications."),
                    MessageBoxes::Icon::None, std::nullopt);
}

void KestrixApp::end(int status)
{
    // Closes every window at once, whatever is open.
    QApplication::exit(status);
}
