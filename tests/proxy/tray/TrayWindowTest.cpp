// The tray window's widgets under the offscreen platform, driven through a fake host.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <thread>

#include "host/tray/TrayHost.h"
#include "host/tray/ui/MainWindow.h"
#include "host/tray/ui/PasswordDialog.h"

namespace {

class FakeHost final : public TrayHost {
public:
    bool NoIcon() const override { return true; }
    int Edition() const override { return edition; }
    std::string ProductVersion() const override { return "3, 3, 0, 4"; }
    tray::StatusQueue& StatusLines() override { return queue; }
    bool WindowReady(std::function<void()>, std::function<void()>) override { return true; }
    void WindowClosing() override { }
    std::string StartFiltering() override { return {}; }
    bool TestQueryExit() override { return false; }
    bool ReadPassword(std::string& out) override
    {
        out = password;
        return true;
    }

    int edition = 2;
    std::string password;
    tray::StatusQueue queue;
};

/// Runs the event loop until the condition holds (at most 10 s).
bool processUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

/// The window ends the proxy by leaving every event loop; this undoes that, so the
/// next test's dialogs run.
void leaveEnded()
{
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

/// Presses the button of the next modal message box once it shows.
void answerNextMessageBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (text)
            *text = box->text();
        box->button(button)->click();
        poll->deleteLater();
    });
    poll->start(10);
}

TEST(TrayWindowTest, EveryIconRoleHasItsPictureAtEachSize)
{
    for (auto role : {tray::TrayIconRole::Created, tray::TrayIconRole::Starting, tray::TrayIconRole::Listening})
        for (int size : {16, 24, 32, 48})
            EXPECT_EQ(TrayRoleIcon(role).pixmap(size, size).width(), size) << static_cast<int>(role) << " " << size;
}

TEST(TrayWindowTest, LinesOfManyThreadsArriveInOrderAndTheNewestAreKept)
{
    FakeHost host;
    MainWindow window(host);
    constexpr int kThreads = 4, kLines = 3000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&host, t] {
            for (int i = 0; i < kLines; ++i)
                host.queue.Push(std::to_string(t) + " " + std::to_string(i) + "\n");
        });
    for (auto& w : writers)
        w.join();
    QPlainTextEdit* text = window.StatusText();
    ASSERT_TRUE(processUntil([&] { return text->document()->lastBlock().text().endsWith(QStringLiteral(" 2999")); }));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100); // nothing more may come
    // Only the newest lines up to the bound stay; each thread's lines stay in order.
    EXPECT_EQ(text->blockCount(), static_cast<int>(tray::kMaxStatusLines));
    int last[kThreads] = {-1, -1, -1, -1};
    for (QTextBlock b = text->document()->begin(); b.isValid(); b = b.next()) {
        const QStringList parts = b.text().split(QLatin1Char(' '));
        ASSERT_EQ(parts.size(), 2) << b.text().toStdString();
        const int t = parts[0].toInt(), i = parts[1].toInt();
        EXPECT_GT(i, last[t]);
        last[t] = i;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(last[t], kLines - 1);
    // The view follows the newest line.
    EXPECT_EQ(text->textCursor().position(), text->document()->characterCount() - 1);
}

TEST(TrayWindowTest, CloseRequestsHideUntilTheProxyIsToEnd)
{
    FakeHost host;
    host.edition = 1;
    MainWindow window(host);
    window.Open();
    // The caption's close and a plain close message only hide the window.
    window.close();
    EXPECT_FALSE(window.isVisible());
    window.Open();
    window.HandleClose();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Ending());

    // Exit asks "Really exit?": No keeps the proxy, Yes ends it.
    QString asked;
    answerNextMessageBox(QMessageBox::No, &asked);
    window.Exit();
    EXPECT_EQ(asked, QStringLiteral("Really exit?"));
    EXPECT_FALSE(window.Ending());
    answerNextMessageBox(QMessageBox::Yes);
    window.Exit();
    EXPECT_TRUE(window.Ending());
    leaveEnded();
}

TEST(TrayWindowTest, ExitEndsOnlyWithThePassword)
{
    FakeHost host;
    host.password = "Secret";
    MainWindow window(host);
    for (const auto& [typed, ends] : {std::pair{"", false}, std::pair{"Secret", true}}) {
        QTimer::singleShot(50, [typed = QString::fromUtf8(typed)] {
            auto* dialog = dynamic_cast<PasswordDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (typed.isEmpty())
                return dialog->reject(); // cancel keeps the proxy
            dialog->Edit()->setText(typed);
            dialog->Submit();
        });
        window.Exit();
        EXPECT_EQ(window.Ending(), ends) << typed;
    }
    leaveEnded();
}

TEST(TrayWindowTest, WrongPasswordKeepsTheDialogWithItsTextSelected)
{
    PasswordDialog dialog(tray::PasswordPrompt("Secret"));
    dialog.show();
    dialog.Edit()->setText(QStringLiteral("secret"));
    QString told;
    answerNextMessageBox(QMessageBox::Ok, &told);
    dialog.Submit();
    EXPECT_EQ(told, QString::fromUtf8("パスワードが違います。"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Edit()->selectedText(), QStringLiteral("secret"));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    dialog.Edit()->setText(QStringLiteral("Secret"));
    dialog.Submit();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
