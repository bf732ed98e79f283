#include "KestrixApp.h"

#include "FormWindow.h"
#include "FrmClient.h"
#include "FrmCompare.h"
#include "MainLayouts.h"
#include "ReceiverLayout.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>

// An object, so that an unloaded one can be deleted once back in the event
// loop, after the close event that unloaded it has returned.
struct KestrixApp::Receiver : QObject {
    ControlSurface controls;
    std::unique_ptr<FrmClient> handlers;
    std::unique_ptr<FormWindow> window;
};

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
    connect(m_splash.get(), &FormWindow::closedFromFrame, this, [this] { end(0); });
    m_splash->centreOnScreen();
    m_splash->show();
}

void KestrixApp::Picture1_Click()
{
    if (m_frmCompare)
        return;
    m_frmCompare = std::make_unique<FrmCompare>(m_mainControls, m_programFolder, m_messages, m_launcher);
    connect(m_frmCompare.get(), &FrmCompare::endRequested, this, [this] { end(0); });
    connect(m_frmCompare.get(), &FrmCompare::aboutRequested, this, &KestrixApp::showAbout);
    connect(m_frmCompare.get(), &FrmCompare::receiverRequested, this, &KestrixApp::Command2_Click);

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

void KestrixApp::Command2_Click()
{
    if (!m_receiver) {
        auto receiver = std::make_unique<Receiver>();
        populate(receiver->controls, receiverWindowLayout());
        receiver->handlers = std::make_unique<FrmClient>(receiver->controls, m_programFolder,
                                                         QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                                         m_messages, m_resolver, m_launcher);
        receiver->window = std::make_unique<FormWindow>(receiverWindowLayout(), receiver->controls);
        connect(receiver->handlers.get(), &FrmClient::hideRequested, receiver->window.get(), &QWidget::hide);
        connect(receiver->window.get(), &FormWindow::closedFromFrame, this, &KestrixApp::unloadReceiver);

        FormWindow& window = *receiver->window;
        window.move(placeBeside(m_main->frameGeometry(), window.size(), m_main->screen()->availableGeometry()));

        m_receiver = std::move(receiver);
        m_receiver->handlers->Form_Load();
    }
    m_receiver->window->show();
    m_receiver->window->raise();
    m_receiver->window->activateWindow();
}

void KestrixApp::unloadReceiver()
{
    if (!m_receiver)
        return;
    m_receiver->handlers->unload();
    m_receiver.release()->deleteLater();
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
