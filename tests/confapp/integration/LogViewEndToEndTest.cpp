// The log viewer over the log a running proxy writes: blocks made with curl show up,
// the category filter keeps one kind, a block made while the viewer is open arrives by
// following the file, and the printed PDF holds the blocked address.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPrinter>

#include "common/BaseDirectory.h"
#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "core/SettingsDocument.h"
#include "integration/ZpfProcess.h"
#include "platform/fake/FakeServices.h"
#include "views/LogTableModel.h"
#include "views/LogViewDialog.h"
#define CONFAPP_TEST_APP_SHARED
#include "../QtTestApp.h"

namespace {

TEST(LogViewEndToEndTest, ViewerFiltersFollowsAndPrintsWhatTheProxyLogged)
{
    if (zpftest::FindProgram("curl").empty() || zpftest::FindProgram("pdftotext").empty())
        GTEST_SKIP() << "curl or pdftotext is missing (tools/deps.sh installs them)";
    confapptest::EnsureApplication();
    zpftest::InstalledZpf zpf;
    zpf.serve();
    (void)zpf.curl({"http://adult.example/"}, 5);
    (void)zpf.curl({"http://deai.example/"}, 5);
    ASSERT_TRUE(zpf.waitForText("zpf.log", ",http://deai.example/,(URL Block)")) << zpf.readBytes("zpf.log");

    SetBaseDirectory(zpf.path());
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    cnf->SetDefaultPaths();
    SettingsDocument document(*cnf, zpf.path());
    ASSERT_TRUE(document.Load()) << document.loadError();
    std::string adult;
    ASSERT_TRUE(cnf->GetCategoryName(101, adult));

    platform::fake::FakeProgramLauncher launcher;
    CLogViewDialog view(*cnf, zpf.path(), launcher);
    view.OpenDefault();
    EXPECT_EQ(view.windowTitle().toStdString(), zpf.file("zpf.log"));
    ASSERT_EQ(view.model()->rowCount(), 2) << zpf.readBytes("zpf.log");

    view.filterEdit("categoryEdit")->setText(QString::fromStdString(encoding::sjisToUtf8(adult)));
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(view.model()->data(view.model()->index(0, 3)).toString(), QString("http://adult.example/"));

    (void)zpf.curl({"http://sample-adult.example/"}, 5);
    ASSERT_TRUE(zpf.waitForText("zpf.log", ",http://sample-adult.example/,(URL Block)"));
    view.FollowNow();
    EXPECT_EQ(view.model()->rowCount(), 2);
    EXPECT_EQ(view.document().rowCount(), 3u);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(zpf.file("log.pdf")));
    ASSERT_TRUE(view.PrintTo(printer));
    const zpftest::ProgramResult pdf = zpftest::RunProgram("pdftotext -layout '" + zpf.file("log.pdf") + "' -");
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_NE(pdf.out.find("http://adult.example/"), std::string::npos) << pdf.out;
    EXPECT_NE(pdf.out.find("http://sample-adult.example/"), std::string::npos);
    EXPECT_EQ(pdf.out.find("http://deai.example/"), std::string::npos) << "filtered out";
    zpf.stopServing();
}

} // namespace
