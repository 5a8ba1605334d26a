// zpfctl publish, update and last-update: what they refuse before any download.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

TEST(UpdateCommandsTest, PublishRefusesIncompleteSources)
{
    const struct {
        const char* list;
        const char* file;
        const char* error;
    } cases[] = {
        {nullptr, nullptr, "no category2.cnf"},
        {"1|A|0|101|a|a.fdb|http://h/a.fdb\n", nullptr, "no target.fdb"},
        {"1|A|0|101|a\n", nullptr, "without a key file"},
        {"1|A|0|101|a|../a.fdb|http://h/a.fdb\n", nullptr, "outside the folder"},
        {"1|A|0|101|a|a.fdb|http://h/a.fdb\n", "target.fdb", "no nofilup.fdb"},
    };
    for (const auto& c : cases) {
        TempProgramDir src, out;
        if (c.list)
            src.writeBytes("category2.cnf.txt", c.list);
        if (c.file)
            src.writeBytes(c.file, "x.example/\n");
        const auto r = RunZpfctl(src.path(), "publish '" + src.path() + "' '" + out.file("www") + "'");
        EXPECT_EQ(r.status, 1) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
}

TEST(UpdateCommandsTest, UpdateRefusesBadArgumentsAndLastUpdateSaysNever)
{
    TempProgramDir dir;
    for (const char* args :
         {"update --server ftp://h/", "update --server", "update extra", "last-update x", "publish only-one"})
        EXPECT_EQ(RunZpfctl(dir.path(), args).status, 2) << args;
    EXPECT_EQ(RunZpfctl(dir.path(), "last-update").out, "Never\n");
    dir.writeBytes("day.txt", "2004/07/15");
    EXPECT_EQ(RunZpfctl(dir.path(), "last-update").out, "2004/07/15\n");
    EXPECT_EQ(RunZpfctl(dir.path(), "update --quiet").status, 5); // no configuration to load

    // A whole program directory: the built-in server is no real host, so nothing leaves.
    for (const auto& entry : std::filesystem::directory_iterator(ZPF_BIN_DIR)) {
        if (entry.is_regular_file())
            std::filesystem::copy_file(entry.path(), dir.file(entry.path().filename().string()));
    }
    const auto r = RunZpfctl(dir.path(), "update");
    EXPECT_EQ(r.status, 12) << r.err;
    EXPECT_NE(r.out.find("from http://update.invalid/"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("update failed (12); nothing was changed"), std::string::npos) << r.err;
}
