// The views under the offscreen platform: they show what the models hold and send the
// user's clicks back to them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>

#include "../CoreFixture.h"
#include "core/Texts.h"
#include "platform/fake/FakeServices.h"
#include "views/CategoryList.h"
#include "views/MainWindow.h"
#include "../QtTestApp.h"
#include "views/PasswordDialog.h"
#include "views/SettingsSheet.h"
#include "views/UpdateDialog.h"

namespace {

class ViewsTest : public confapptest::CoreFixture {
protected:
    ViewsTest() { confapptest::EnsureApplication(); }
    platform::fake::FakeServiceController services;
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, dir.path(), 0};
    confapptest::NoBrowser browser;
    confapptest::RecordingPrompt prompt;
};

} // namespace

TEST_F(ViewsTest, MainWindowShowsAndCyclesCategoriesAndClosesWithoutSaving)
{
    MainWindow window(document, AppCommandLine{}, {restart, browser});
    window.SetPrompt(&prompt);
    CategoryList* list = window.categoryList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QString("アダルト"));
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(2)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(list->item(0)->background().color(), QColor(0xFF, 0xE0, 0xE8));

    emit list->itemClicked(list->item(0)); // 1 -> 2
    EXPECT_EQ(window.model().categories()[0].state, 2);
    EXPECT_EQ(list->item(0)->background().color(), QColor(0xD0, 0xFF, 0xFF));

    QAction* filtering = window.toolBar()->actions().at(0);
    EXPECT_EQ(filtering->text(), QString(texts::kFilteringOn));
    filtering->trigger();
    EXPECT_EQ(filtering->text(), QString(texts::kFilteringOff));
    EXPECT_TRUE(filtering->isChecked());

    const std::string before = read("zpf.cnf");
    prompt.answer = false;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(prompt.asked, std::vector<std::string>{texts::kAskSave});
    EXPECT_EQ(window.lastClose(), CloseOutcome::NothingSaved);
    EXPECT_EQ(read("zpf.cnf"), before);
}

TEST_F(ViewsTest, SheetHasTheEditionsTabsAndGroupSelector)
{
    ASSERT_TRUE(document.Load());
    ASSERT_EQ(cnf.AddGroup("kids"), "");
    for (const bool standalone : {true, false}) {
        SheetModel model(document, standalone);
        SettingsSheet sheet(model, 1);
        EXPECT_EQ(sheet.windowTitle(), QString(texts::kSheetCaption));
        ASSERT_EQ(sheet.tabs()->count(), standalone ? 8 : 12);
        EXPECT_EQ(sheet.tabs()->tabText(standalone ? 5 : 6), QString("Ｐｒｏｘｙ情報"));
        if (standalone) {
            EXPECT_EQ(sheet.groupSelector(), nullptr);
            EXPECT_EQ(model.currentGroup(), 0);
        } else {
            ASSERT_NE(sheet.groupSelector(), nullptr);
            EXPECT_EQ(sheet.groupSelector()->count(), 2);
            EXPECT_EQ(sheet.groupSelector()->currentText(), QString("kids"));
            // Shown only while a per-group page (the second tab) is active.
            for (const int tab : {1, 0, 1}) {
                sheet.tabs()->setCurrentIndex(tab);
                EXPECT_EQ(sheet.groupSelector()->isVisibleTo(&sheet), tab == 1) << tab;
            }
        }
    }
}

TEST_F(ViewsTest, PageControlsShowTheGroupAndSendEditsBack)
{
    ASSERT_TRUE(document.Load());
    ASSERT_EQ(cnf.AddGroup("kids"), "");
    cnf.cnfData[1].Block = 0;
    cnf.cnfData[1].passURLText = "kids.example/\n";
    SheetModel model(document, false);
    SettingsSheet sheet(model, 1);
    sheet.tabs()->setCurrentIndex(1); // block options
    auto* block = sheet.findChild<QCheckBox*>("BlockCheckBox");
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(block->isChecked()) << "group 1's value";
    EXPECT_FALSE(model.pages()[1]->modified()) << "filling the controls is no edit";
    block->click();
    EXPECT_TRUE(model.pages()[1]->modified());
    sheet.groupSelector()->setCurrentIndex(0);
    emit sheet.groupSelector()->activated(0);
    EXPECT_EQ(cnf.cnfData[1].Block, 1) << "stored for the group left";
    EXPECT_TRUE(block->isChecked()) << "group 0's value shown";

    sheet.tabs()->setCurrentIndex(4); // access restriction, now of group 0
    auto* passUrl = sheet.tabs()->widget(4);
    auto* list = passUrl->findChild<QPlainTextEdit*>("listEdit");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->toPlainText().isEmpty());
    EXPECT_FALSE(list->isEnabled()) << "the list is off for group 0";
    passUrl->findChild<QCheckBox*>("switchCheckBox")->click();
    EXPECT_TRUE(list->isEnabled());
    list->setPlainText(QStringLiteral("a.example/\nＢ.example/\n"));
    EXPECT_EQ(passUrl->findChild<QLabel*>("countLabel")->text(), QStringLiteral("2 件"));

    sheet.tabs()->setCurrentIndex(6); // proxy information
    auto* logFlag = sheet.findChild<QCheckBox*>("LogFlagCheckBox");
    auto* logSize = sheet.findChild<QLineEdit*>("LogSizeEdit");
    ASSERT_TRUE(logFlag && logSize);
    logFlag->click();
    EXPECT_FALSE(logSize->isEnabled());
    auto* port = sheet.findChild<QLineEdit*>("PortEdit");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->text(), QStringLiteral("3036"));
    port->setText(QStringLiteral("8080"));
    emit port->textEdited(port->text());
    sheet.accept();
    EXPECT_EQ(cnf.Port, 8080u);
    EXPECT_EQ(cnf.LogFlag, 1);
    EXPECT_EQ(cnf.cnfData[0].UserAccessControlURL, 1);
    EXPECT_EQ(std::string(cnf.GetPassURL(0)), "a.example/\n\x82\x61.example/\n");
    EXPECT_EQ(std::string(cnf.GetPassURL(1)), "kids.example/\n");
}

TEST_F(ViewsTest, PasswordDialogStaysOpenUntilTheEntryMatches)
{
    const StartupPassword password("secret");
    PasswordDialog dialog(password);
    QStringList refusals;
    QObject::connect(&dialog, &PasswordDialog::refused, [&](const QString& m) { refusals << m; });
    dialog.show();
    dialog.edit()->setText("Secret");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(refusals, QStringList{texts::kWrongPassword});
    EXPECT_EQ(dialog.edit()->selectedText(), QString("Secret"));
    dialog.edit()->setText("secret");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(ViewsTest, UpdateDialogFollowsStepsAndBytes)
{
    UpdateDialog dialog;
    dialog.SetStepRange(23);
    dialog.SetStep(5);
    dialog.SetStep(99);
    EXPECT_EQ(dialog.stepBar()->value(), 23);
    dialog.SetByteRange(-1); // size unknown: a busy bar
    EXPECT_EQ(dialog.byteBar()->maximum(), 0);
    dialog.SetByteRange(10LL << 40); // beyond an int of bytes
    dialog.SetBytePosition(5LL << 40);
    EXPECT_EQ(dialog.byteBar()->value(), dialog.byteBar()->maximum() / 2);
}

TEST_F(ViewsTest, MissingHelpSaysWhatIsMissing)
{
    MainWindow window(document, AppCommandLine{}, {restart, browser});
    window.SetPrompt(&prompt);
    window.OpenHelp();
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0], "Not Exist Html Help File\n\n   File Path [ " + dir.file("help/index.html") + " ]");
    dir.writeBytes("help/index.html", "<p>contents</p>");
    window.OpenHelpPage("no-such-page.html");
    EXPECT_EQ(prompt.shown.back(), texts::kNoHelpTopic);
}
