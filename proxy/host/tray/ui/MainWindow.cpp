// The main window of tray mode: status text, menus, tray icon and close handler.
#include "host/tray/ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include "host/tray/TrayHost.h"
#include "host/tray/ui/PasswordDialog.h"

namespace {
QString utf8(const char* text) { return QString::fromUtf8(text); }

QString iconName(tray::TrayIconRole role)
{
    switch (role) {
    case tray::TrayIconRole::Created:
        return QStringLiteral("created");
    case tray::TrayIconRole::Starting:
        return QStringLiteral("starting");
    case tray::TrayIconRole::Listening:
        break;
    }
    return QStringLiteral("listening");
}
} // namespace

QIcon TrayRoleIcon(tray::TrayIconRole role)
{
    // The pictures are linked in from a static library, whose registration the linker
    // would otherwise drop: every icon came out empty.
    Q_INIT_RESOURCE(icons);
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/zpf/zpf-%1-%2.png").arg(iconName(role)).arg(size), QSize(size, size));
    return icon;
}

MainWindow::MainWindow(TrayHost& host, QWidget* parent)
    : QMainWindow(parent)
    , m_host(host)
    , m_close({[&host] { return host.TestQueryExit(); },
               [&host](std::string& password) { return host.ReadPassword(password); }, host.Edition()})
{
    setWindowTitle(utf8(tray::kWindowTitle));
    setWindowIcon(TrayRoleIcon(tray::TrayIconRole::Created));
    resize(640, 400);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The newest lines up to the bound stay; weeks of lines would grow without end.
    m_text->setMaximumBlockCount(static_cast<int>(tray::kMaxStatusLines));
    setCentralWidget(m_text);
    statusBar()->showMessage(utf8(tray::kIdleText));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, this, [this] { Exit(); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(help->addAction(QStringLiteral("&Version Information...")), &QAction::triggered, this,
            [this] { ShowVersion(); });

    if (!m_host.NoIcon()) {
        m_trayMenu = new QMenu(this);
        QAction* open = m_trayMenu->addAction(QStringLiteral("Open"));
        m_trayMenu->setDefaultAction(open);
        connect(open, &QAction::triggered, this, [this] { Open(); });
        connect(m_trayMenu->addAction(QStringLiteral("Exit")), &QAction::triggered, this, [this] { Exit(); });
        m_icon = new QSystemTrayIcon(this);
        m_icon->setContextMenu(m_trayMenu);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                Open();
        });
        SetTrayIcon(tray::TrayIconRole::Created);
    }

    // Other threads only set the event; its descriptor wakes the UI thread, in any
    // event loop (a dialog's too). Without a descriptor the UI thread looks every 50 ms.
    if (m_wake.PollDescriptor() >= 0) {
        auto* notifier = new QSocketNotifier(m_wake.PollDescriptor(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { onWake(); });
    } else {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] {
            if (m_wake.IsSet())
                onWake();
        });
        poll->start(50);
    }
    m_host.StatusLines().SetWake([this] { m_wake.Set(); });
}

MainWindow::~MainWindow()
{
    m_host.StatusLines().SetWake({});
    if (m_icon)
        m_icon->hide();
}

void MainWindow::SetTrayIcon(tray::TrayIconRole role)
{
    if (!m_icon)
        return;
    m_icon->setIcon(TrayRoleIcon(role));
    m_icon->setToolTip(utf8(tray::TrayIconTip(role)));
    m_icon->show();
}

void MainWindow::AppendStatusLine(const QString& line)
{
    m_text->appendPlainText(line);
    m_text->moveCursor(QTextCursor::End);
    m_text->ensureCursorVisible();
}

void MainWindow::TakeStatusLines()
{
    const std::vector<std::string> lines = m_host.StatusLines().Take();
    if (lines.empty())
        return;
    // One append per batch keeps a flood of lines from freezing the window.
    QString text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('\n');
        text += QString::fromUtf8(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
    }
    AppendStatusLine(text);
}

void MainWindow::PostClose()
{
    m_closeRequested = true;
    m_wake.Set();
}

void MainWindow::PostStop()
{
    m_stopRequested = true;
    m_wake.Set();
}

void MainWindow::onWake()
{
    // Reset first: a request that comes while these run sets the event again.
    m_wake.Reset();
    TakeStatusLines();
    if (m_stopRequested.exchange(false)) {
        end();
        return;
    }
    if (m_closeRequested.exchange(false))
        HandleClose();
}

void MainWindow::Open()
{
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::Exit()
{
    m_close.RequestExit();
    HandleClose();
}

void MainWindow::HandleClose()
{
    if (m_ending)
        return;
    switch (m_close.OnClose()) {
    case tray::CloseRoad::CloseNow:
        end();
        return;
    case tray::CloseRoad::Hide:
        hide();
        return;
    case tray::CloseRoad::AskPassword: {
        PasswordDialog dialog(tray::PasswordPrompt(m_close.Password()), this);
        if (dialog.exec() == QDialog::Accepted)
            end();
        return;
    }
    case tray::CloseRoad::AskReallyExit:
        if (QMessageBox::question(this, utf8(tray::kWindowTitle), utf8(tray::kReallyExit),
                                  QMessageBox::Yes | QMessageBox::No) != QMessageBox::No)
            end();
        return;
    }
}

void MainWindow::ShowVersion()
{
    QMessageBox box(QMessageBox::NoIcon, utf8(tray::kVersionTitle),
                    QString::fromStdString(tray::VersionText(m_host.ProductVersion())), QMessageBox::Ok, this);
    box.setIconPixmap(TrayRoleIcon(tray::TrayIconRole::Listening).pixmap(32, 32));
    box.exec();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The caption's close button: the same handler as a close message.
    if (m_ending) {
        event->accept();
        return;
    }
    event->ignore();
    HandleClose();
}

void MainWindow::end()
{
    m_ending = true;
    if (m_icon)
        m_icon->hide();
    // exit, not quit: it also ends a dialog's loop, such as the start error's box.
    QCoreApplication::exit(0);
}
