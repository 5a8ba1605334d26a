// zpfctl cipher, run as the administrator runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "cipher/CDes.h"
#include "support/TempProgramDir.h"

using zpftest::TempProgramDir;

namespace {

// Runs zpfctl inside dir with the arguments; returns its exit status.
int zpfctl(const TempProgramDir& dir, const std::string& args)
{
    const std::string command = "cd '" + dir.path() + "' && '" + ZPF_BIN_DIR + "/zpfctl' " + args +
                                " >/dev/null 2>stderr";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string padded(const std::string& text)
{
    return text + std::string((CDes::kUnit - text.size() % CDes::kUnit) % CDes::kUnit, '\0');
}

} // namespace

TEST(CipherCommandTest, EncodeDecodeRoundTrip)
{
    TempProgramDir dir;
    std::string text = "Port=3036\r\n%kids%\nline\0with zero\n";
    for (int i = 0; i < 40000; ++i)
        text += static_cast<char>(i * 31 % 251);
    dir.writeBytes("plain", text);
    for (const char* marker : {"", "--marker "}) {
        SCOPED_TRACE(marker);
        ASSERT_EQ(zpfctl(dir, std::string("cipher encode ") + marker + "plain enc"), 0);
        ASSERT_EQ(zpfctl(dir, std::string("cipher decode ") + marker + "enc back"), 0);
        EXPECT_EQ(dir.readBytes("back"), padded(text)); // the last unit keeps its zero bytes
    }
}

TEST(CipherCommandTest, MarkerFileIsWhatTheConfigurationReaderExpects)
{
    TempProgramDir dir;
    dir.writeBytes("plain", "Port=3036\nBlockPage=1\n");
    ASSERT_EQ(zpfctl(dir, "cipher --marker encode plain zpf.cnf"), 0);
    EXPECT_EQ(dir.readBytes("zpf.cnf").substr(0, 11), "PLXharbor\r\n");

    CDes des;
    des.SettingSystem(0);
    ASSERT_EQ(des.OpenReadFile(dir.file("zpf.cnf").c_str()), 0);
    ASSERT_EQ(des.Seek(11, SEEK_SET), 0);
    char line[513];
    ASSERT_EQ(des.ReadLine(line, 512), 0);
    EXPECT_STREQ(line, "Port=3036");
    ASSERT_EQ(des.ReadLine(line, 512), 0);
    EXPECT_STREQ(line, "BlockPage=1");
}

TEST(CipherCommandTest, BadArgumentsAndFilesAreRefused)
{
    TempProgramDir dir;
    dir.writeBytes("plain", "abc\n");
    struct Row {
        const char* args;
        int status;
        const char* message;
    };
    const Row rows[] = {
        {"cipher", 2, "usage"},
        {"cipher encode plain", 2, "usage"},
        {"cipher scramble plain out", 2, "usage"},
        {"cipher encode --fast plain out", 2, "unknown option"},
        {"cipher encode plain out extra", 2, "usage"},
        {"cipher encode missing out", 1, "cannot open 'missing'"},
        {"cipher encode plain no/such/dir/out", 1, "cannot create"},
        {"cipher decode --marker plain out", 1, "does not begin with the PLXharbor line"},
        {"cipher encode plain plain", 1, "same file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        EXPECT_EQ(zpfctl(dir, row.args), row.status);
        EXPECT_NE(dir.readBytes("stderr").find(row.message), std::string::npos) << dir.readBytes("stderr");
    }
    EXPECT_EQ(dir.readBytes("plain"), "abc\n");
}
