// The log viewer under the offscreen platform: which file it opens, the table through
// its model as the user filters and sorts, the row actions, emptying, CSV, following,
// and printing to a PDF whose text pdftotext reads back.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QTableView>

#include "../CoreFixture.h"
#include "common/LogLine.h"
#include "core/LogTexts.h"
#include "platform/fake/FakeServices.h"
#include "support/ChildProcess.h"
#include "support/RunProgram.h"
#include "views/LogSummaryChart.h"
#include "views/LogTableModel.h"
#include "views/LogViewDialog.h"
#define CONFAPP_TEST_APP_SHARED
#include "../QtTestApp.h"

namespace {

const std::string kLog = "2004/05/10,04:49:09,192.168.0.5,http://adult.example/a%2Cb,(URL Block),,101\r\n"
                         "2004/05/10,04:50:00,192.168.0.6,http://game.example/,(URL Block),,102\r\n"
                         "2004/05/11,05:00:00,192.168.0.5,http://news.example/,(Access Log),\r\n"
                         "2004/05/11,05:01:00,192.168.0.7,file:///etc/passwd,(URL Block),,101\r\n";

class LogViewTest : public confapptest::CoreFixture {
protected:
    LogViewTest()
    {
        confapptest::EnsureApplication();
        EXPECT_TRUE(document.Load());
        dir.writeBytes("zpf.log", kLog);
    }
    std::unique_ptr<CLogViewDialog> open()
    {
        auto view = std::make_unique<CLogViewDialog>(cnf, dir.path(), launcher);
        view->SetPrompt(&prompt);
        view->SetFileChooser([this](bool save, const std::string& start) {
            chosen.push_back({save, start});
            return answer;
        });
        view->OpenDefault();
        return view;
    }
    void select(CLogViewDialog& view, int row) { view.table()->selectRow(row); }

    platform::fake::FakeProgramLauncher launcher;
    confapptest::RecordingPrompt prompt;
    std::vector<std::pair<bool, std::string>> chosen;
    std::string answer;
};

TEST_F(LogViewTest, OpensTodaysLogOrAsksForOneAtOnce)
{
    auto view = open();
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(view->windowTitle().toStdString(), dir.file("zpf.log"));
    EXPECT_EQ(view->model()->rowCount(), 4);
    EXPECT_EQ(view->model()->headerData(8, Qt::Horizontal).toString(), QString("カテゴリ"));
    EXPECT_EQ(view->table()->columnWidth(3), 160);

    // Per-day logs and no block log today: the open dialog comes at once.
    cnf.LogFlag = 1;
    answer = dir.file("zpf.log");
    view = open();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_FALSE(chosen[0].first);
    EXPECT_EQ(chosen[0].second, dir.path());
    EXPECT_EQ(view->model()->rowCount(), 4);

    answer = dir.file("missing.log");
    view->OpenOther();
    EXPECT_EQ(prompt.shown, std::vector<std::string>{texts::kLogCannotOpen});
    EXPECT_EQ(view->model()->rowCount(), 4) << "the log shown stays";
}

TEST_F(LogViewTest, TableFollowsFiltersSortAndTheFile)
{
    auto view = open();
    LogTableModel& model = *view->model();
    EXPECT_EQ(model.data(model.index(0, 8)).toString(), QString("アダルト"));
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), QString("http://adult.example/a%2Cb"));
    EXPECT_EQ(view->chart()->summary().blocks, 3u);

    view->filterEdit("categoryEdit")->setText("アダルト");
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(view->chart()->summary().blocks, 2u);
    view->filterEdit("clientEdit")->setText("192.168.0.7");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.documentRow(0), 3);
    view->filterEdit("clientEdit")->clear();
    view->filterEdit("categoryEdit")->clear();

    model.sort(2, Qt::DescendingOrder);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QString("192.168.0.7"));

    dir.writeBytes("zpf.log", kLog + "2004/05/12,06:00:00,192.168.0.9,http://new.example/,(URL Block),,103\r\n");
    view->FollowNow();
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QString("192.168.0.9"));
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(LogViewTest, RowActionsOpenOnlyWebAddresses)
{
    auto view = open();
    select(*view, 0);
    view->CopyRow();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString("http://adult.example/a%2Cb"));
    view->BrowseRow();
    EXPECT_EQ(launcher.opened, std::vector<std::string>{"http://adult.example/a%2Cb"});

    select(*view, 3); // a request line that names a local file
    view->BrowseRow();
    EXPECT_EQ(launcher.opened.size(), 1u);
    EXPECT_EQ(prompt.shown, std::vector<std::string>{texts::kLogNotWebAddress});

    view->table()->clearSelection();
    view->BrowseRow();
    EXPECT_EQ(launcher.opened.size(), 1u);
}

TEST_F(LogViewTest, EmptyAsksFirstAndCsvOpensTheCopy)
{
    auto view = open();
    view->OpenAsCsv();
    EXPECT_EQ(launcher.opened, std::vector<std::string>{dir.file("zpf.log.csv")});
    EXPECT_EQ(read("zpf.log.csv"), kLog);

    answer = dir.file("no/such/dir/copy.log");
    view->SaveCopy();
    EXPECT_EQ(prompt.shown, std::vector<std::string>{texts::kLogCannotSave});

    prompt.answer = false;
    view->EmptyLog();
    EXPECT_EQ(prompt.asked, std::vector<std::string>{texts::kLogAskEmpty});
    EXPECT_EQ(read("zpf.log"), kLog);
    EXPECT_EQ(view->model()->rowCount(), 4);
    prompt.answer = true;
    view->EmptyLog();
    EXPECT_EQ(read("zpf.log"), "");
    EXPECT_EQ(view->model()->rowCount(), 0);
}

TEST_F(LogViewTest, PrintsTheRowsShownToPdf)
{
    if (zpftest::FindProgram("pdftotext").empty())
        GTEST_SKIP() << "pdftotext is not installed (tools/deps.sh installs poppler-utils)";
    std::string many = kLog;
    for (int i = 0; i < 150; ++i)
        many += "2004/05/12,07:00:00,10.0.0.1,http://filler" + std::to_string(i) + ".example/,(URL Block),,102\r\n";
    dir.writeBytes("zpf.log", many);
    auto view = open();
    view->filterEdit("categoryEdit")->setText("Game");
    ASSERT_EQ(view->model()->rowCount(), 151);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("log.pdf")));
    ASSERT_TRUE(view->PrintTo(printer));
    const zpftest::ProgramResult pdf = zpftest::RunProgram("pdftotext -layout '" + dir.file("log.pdf") + "' -");
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    const std::string& text = pdf.out;
    // The font's text map reads 力 back as the radical ⼒, so the header is found by its start.
    EXPECT_NE(text.find("ログファイル出"), std::string::npos) << text.substr(0, 500);
    EXPECT_NE(text.find("page:1"), std::string::npos);
    EXPECT_NE(text.find("page:2"), std::string::npos) << "151 rows fill more than a page";
    EXPECT_NE(text.find("http://game.example/"), std::string::npos);
    EXPECT_NE(text.find("http://filler149.example/"), std::string::npos);
    EXPECT_EQ(text.find("http://adult.example/"), std::string::npos) << "filtered out";
}

} // namespace
