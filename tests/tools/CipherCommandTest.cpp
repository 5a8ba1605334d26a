// zpfctl cipher, run as the administrator runs it.
#include <gtest/gtest.h>

#include <string>

#include "cipher/CDes.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::TempProgramDir;

namespace {

// Runs zpfctl inside dir with the arguments.
zpftest::ProgramResult zpfctl(const TempProgramDir& dir, const std::string& args)
{
    return zpftest::RunProgram("cd '" + dir.path() + "' && '" + ZPF_BIN_DIR + "/zpfctl' " + args);
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
        // The option may come before or after the word.
        ASSERT_EQ(zpfctl(dir, std::string("cipher ") + marker + "encode plain enc").status, 0);
        ASSERT_EQ(zpfctl(dir, std::string("cipher decode ") + marker + "enc back").status, 0);
        EXPECT_EQ(dir.readBytes("back"), padded(text)); // the last unit keeps its zero bytes
        // ConfigCommandTest has the configuration reader read a marker file.
        EXPECT_EQ(dir.readBytes("enc").rfind("PLXharbor\r\n", 0) == 0, *marker != '\0');
    }
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
        const auto r = zpfctl(dir, row.args);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(dir.readBytes("plain"), "abc\n");
}
