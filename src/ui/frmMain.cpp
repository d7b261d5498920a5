#include "ui/frmMain.h"

#include "app/Identity.h"
#include "history/HistoryRecorder.h"
#include "platform/INotifyIcon.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "platform/Trap.h"
#include "session/UpdateSession.h"
#include "settings/CSettings.h"
#include "ui/ActivityLog.h"
#include "ui/Artwork.h"
#include "ui/CTrayIcon.h"
#include "ui/ScreenPlacement.h"
#include "ui/TrayBehaviour.h"
#include "ui/WindowSwitches.h"
#include "ui/frmAbout.h"
#include "ui/frmOptions.h"
#include "update/ConversationText.h"
#include "update/LogEntry.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

namespace {
constexpr int kClientWidth = 329;
constexpr int kClientHeight = 217;
constexpr int kMonitorInterval = 1000;
} // namespace

frmMain::frmMain(const PlatformServices& platform, AddressFinder* finder, QWidget* parent)
    : QMainWindow(parent), mPlatform(platform), mMenus(std::make_unique<MenuTree>(menuBar())),
      txtLog(new QPlainTextEdit(this)), picTrayIcon(new QLabel(this)), tmrConnectionMonitor(new QTimer(this)),
      mLog(std::make_unique<ActivityLog>(*txtLog, platform.windowing)),
      mHistory(std::make_unique<HistoryRecorder>(History(), HistoryEntry::Runner::Window, platform.clock)),
      mSession(std::make_unique<UpdateSession>(UpdateSession::Services{platform.socket, platform.secretStore,
                                                                       platform.windowing, *mHistory, finder},
                                               *this)),
      mTray(std::make_unique<TrayBehaviour>(*this, *mMenus->mnuContext, mTrayIcon, platform.notifyIcon,
                                            platform.windowing))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(caption(identity::kTitle));
    // A fixed single border with a minimize box and no maximize box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    txtLog->setObjectName(QStringLiteral("txtLog"));
    txtLog->setAccessibleName(QStringLiteral("Activity log"));
    txtLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setCentralWidget(txtLog);
    setWindowIcon(Artwork::windowIcon());

    // Never shown: it holds the tray icon's picture and owns the icon's events.
    picTrayIcon->setObjectName(QStringLiteral("picTrayIcon"));
    picTrayIcon->setFixedSize(25, 25);
    picTrayIcon->setPixmap(Artwork::trayPicture());
    picTrayIcon->hide();

    tmrConnectionMonitor->setObjectName(QStringLiteral("tmrConnectionMonitor"));
    tmrConnectionMonitor->setInterval(kMonitorInterval);
    connect(tmrConnectionMonitor, &QTimer::timeout, this, &frmMain::tmrConnectionMonitor_Timer);
    mSession->watchLinks(platform.dialup, *this);

    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    ScreenPlacement::centre(*this);
    connectMenus();
    mPlatform.windowing.setEndRequestHandler([this] { close(); });
    mPlatform.notifyIcon.setContextMenu(mMenus->mnuContext);
    mPlatform.notifyIcon.setEventHandler([this](quintptr window, std::uint32_t message, int code) {
        // The icon's events reach the window that owns it as mouse moves on picTrayIcon.
        if (window == reinterpret_cast<quintptr>(picTrayIcon) && message == kWmMouseMove)
            mTray->picTrayIcon_MouseMove(code);
    });
    mPlatform.notifyIcon.setAvailabilityHandler([this] { mTray->trayAvailabilityChanged(); });
}

frmMain::~frmMain()
{
    mPlatform.windowing.setEndRequestHandler({});
    mPlatform.notifyIcon.setEventHandler({});
    mPlatform.notifyIcon.setAvailabilityHandler({});
    mPlatform.notifyIcon.setContextMenu(nullptr);
}

void frmMain::connectMenus()
{
    const MenuTree& m = *mMenus;
    connect(m.mnuFileUpdateIP, &QAction::triggered, this, &frmMain::mnuFileUpdateIP_Click);
    connect(m.mnuFileGoOffline, &QAction::triggered, this, &frmMain::mnuFileGoOffline_Click);
    connect(m.mnuContextUpdateIP, &QAction::triggered, this, &frmMain::mnuContextUpdateIP_Click);
    connect(m.mnuContextGoOffline, &QAction::triggered, this, &frmMain::mnuContextGoOffline_Click);
    connect(m.mnuContextRestore, &QAction::triggered, this, [this] { mTray->mnuContextRestore_Click(); });
    connect(m.mnuEditOptions, &QAction::triggered, this, &frmMain::mnuEditOptions_Click);
    connect(m.mnuContextOptions, &QAction::triggered, this, &frmMain::mnuContextOptions_Click);
    connect(m.mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
    connect(m.mnuContextAbout, &QAction::triggered, this, &frmMain::mnuContextAbout_Click);
    connect(m.mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(m.mnuContextExit, &QAction::triggered, this, &frmMain::mnuContextExit_Click);
    connect(m.mnuHelpHomepage, &QAction::triggered, this, &frmMain::mnuHelpHomepage_Click);
    connect(m.mnuHelpEmail, &QAction::triggered, this, &frmMain::mnuHelpEmail_Click);
    connect(m.mnuHelpBrevantHomepage, &QAction::triggered, this, &frmMain::mnuHelpBrevantHomepage_Click);
    connect(m.mnuHelpBrevantDynDNS, &QAction::triggered, this, &frmMain::mnuHelpBrevantDynDNS_Click);
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        mTray->Form_Resize();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    mTray->Form_Resize();
}

QString frmMain::caption(const QString& title, std::optional<std::pair<int, int>> version)
{
    const QString shownVersion =
        version ? QStringLiteral(" %1.%2").arg(version->first).arg(version->second) : QString();
    return title + shownVersion + QStringLiteral(" - By ") + identity::kMaker;
}

void frmMain::load()
{
    Form_Load();
    if (!mUnloaded && !isVisible() && !isMinimized())
        show();
}

void frmMain::Form_Load()
{
    IWindowing& windowing = mPlatform.windowing;
    trap(windowing, "Form_Load", [&] {
        gSettings.create(mPlatform.settingsStore, mPlatform.secretStore, windowing);
        mTrayIcon = std::make_unique<CTrayIcon>(mPlatform.notifyIcon);

        bool another = false;
        try {
            another = windowing.anotherInstanceRunning();
        } catch (const Failure& failure) {
            // Without a lock this copy cannot tell; it runs rather than not at all.
            reportFailure(windowing, failure, QStringLiteral("Form_Load"));
        }
        // The program may have been ended while a report was open: the window has unloaded
        // and nothing is left to set up.
        if (mUnloaded)
            return;
        if (another) {
            close();
            windowing.endProcess();
            return;
        }

        mTrayIcon->sethWnd(reinterpret_cast<quintptr>(picTrayIcon));
        // The picture box holds the window icon's small image; the icon goes with every size
        // of it, so a panel of any size shows it sharp.
        mTrayIcon->setIcon(Artwork::windowIcon());
        mTrayIcon->setTip(identity::kTitle);

        // Values that could not be read took their defaults; say so once, and go on. A copy of
        // the list: an end asked for under a report lets the settings go with it.
        const std::vector<CSettings::LoadFailure> unreadable = gSettings->loadFailures();
        for (const CSettings::LoadFailure& failure : unreadable) {
            reportFailure(windowing, failure.failure, QStringLiteral("Form_Load"));
            if (mUnloaded)
                return;
        }

        if (WindowSwitches::wantsMinimize(windowing.commandLine())) {
            show();
            setWindowState(windowState() | Qt::WindowMinimized);
        }

        const QString title = windowing.title();
        setWindowTitle(caption(title, {{windowing.versionMajor(), windowing.versionMinor()}}));
        mMenus->mnuHelpAbout->setText(QStringLiteral("&About ") + title + QStringLiteral("..."));

        tmrConnectionMonitor->start();
    });
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!mUnloaded) {
        Form_Unload();
        mUnloaded = true;
        emit unloaded();
    }
    event->accept();
}

void frmMain::Form_Unload()
{
    trap(mPlatform.windowing, "Form_Unload", [&] {
        // Nothing may use the settings once they are gone, not even while a report of a
        // failed save is open: the monitor stops and a running conversation is cut off.
        tmrConnectionMonitor->stop();
        mSession->cutOff(QStringLiteral("the window was closed"));
        if (mTrayIcon) {
            mTrayIcon->Remove();
            mTrayIcon.reset();
        }
        gSettings.release();
    });
}

void frmMain::EnableMenus(bool enabled)
{
    trap(mPlatform.windowing, "EnableMenus", [&] {
        for (QAction* item : {mMenus->mnuFileUpdateIP, mMenus->mnuFileGoOffline, mMenus->mnuContextUpdateIP,
                              mMenus->mnuContextGoOffline})
            item->setEnabled(enabled);
    });
}

void frmMain::AppendLog(const QString& text)
{
    mLog->AppendLog(text);
}

void frmMain::setTrayTip(const QString& tip)
{
    if (!mTrayIcon)
        throw failures::objectNotSet();
    mTrayIcon->setTip(tip);
    mTrayIcon->Update();
}

void frmMain::conversationStarted(Operation operation)
{
    EnableMenus(false);
    setTrayTip(identity::kTitle + (operation == Operation::Update ? QStringLiteral(" - Updating IP")
                                                                  : QStringLiteral(" - Going Offline")));
}

bool frmMain::conversationEnded(const ConversationResult& result)
{
    if (result.endedByBye && WindowSwitches::wantsClose(mPlatform.windowing.commandLine())) {
        // Unloading stops the connection monitor and ends the program.
        close();
        return false;
    }
    // The log is out of sight while the window is in the tray: the icon says how it went, in the
    // log's words and cut where the log cuts them.
    if (mTray->hiddenInTray())
        mPlatform.notifyIcon.showMessage(mPlatform.windowing.title(),
                                         LogEntry::bounded(ConversationText::outcome(result)),
                                         result.outcome != ConversationResult::Outcome::Accepted);
    EnableMenus(true);
    setTrayTip(identity::kTitle);
    return true;
}

void frmMain::passwordUnavailable(const Failure& failure, Operation operation)
{
    reportFailure(mPlatform.windowing, failure, QString::fromLatin1(UpdateSession::procedure(operation)));
}

void frmMain::requestUpdate()
{
    mSession->requestUpdate([] { return UpdateRequest::of(*gSettings, Operation::Update); });
}

void frmMain::mnuFileUpdateIP_Click()
{
    trap(mPlatform.windowing, "mnuFileUpdateIP_Click",
         [&] { mSession->start(UpdateRequest::of(*gSettings, Operation::Update)); });
}

void frmMain::mnuFileGoOffline_Click()
{
    trap(mPlatform.windowing, "mnuFileGoOffline_Click",
         [&] { mSession->start(UpdateRequest::of(*gSettings, Operation::Offline)); });
}

void frmMain::mnuContextUpdateIP_Click()
{
    trap(mPlatform.windowing, "mnuContextUpdateIP_Click", [&] { mnuFileUpdateIP_Click(); });
}

void frmMain::mnuContextGoOffline_Click()
{
    trap(mPlatform.windowing, "mnuContextGoOffline_Click", [&] { mnuFileGoOffline_Click(); });
}

void frmMain::tmrConnectionMonitor_Timer()
{
    trap(mPlatform.windowing, "tmrConnectionMonitor_Timer",
         [&] { mSession->tick(gSettings->UpdateOnConnection()); });
}

void frmMain::mnuFileExit_Click()
{
    trap(mPlatform.windowing, "mnuFileExit_Click", [&] { close(); });
}

void frmMain::mnuContextExit_Click()
{
    trap(mPlatform.windowing, "mnuContextExit_Click", [&] { close(); });
}

void frmMain::mnuEditOptions_Click()
{
    trap(mPlatform.windowing, "mnuEditOptions_Click", [&] { frmOptions::Display(mPlatform.windowing); });
}

void frmMain::mnuContextOptions_Click()
{
    trap(mPlatform.windowing, "mnuContextOptions_Click",
         [&] { frmOptions::Display(mPlatform.windowing, {}, mTray->dialogOpening()); });
}

void frmMain::mnuHelpAbout_Click()
{
    trap(mPlatform.windowing, "mnuHelpAbout_Click", [&] { frmAbout::Display(mPlatform.windowing); });
}

void frmMain::mnuContextAbout_Click()
{
    trap(mPlatform.windowing, "mnuContextAbout_Click", [&] {
        const auto open = mTray->dialogOpening();
        frmAbout::Display(mPlatform.windowing);
    });
}
