#include "core/AppCommandLine.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

struct Case {
    std::vector<std::string> words;
    bool test, desk, noCache, noicon;
    std::string updateBase;
    std::vector<std::string> rest;
};

} // namespace

TEST(AppCommandLineTest, WordsSetTheirFields)
{
    const Case cases[] = {
        {{}, false, false, true, false, "", {}},
        {{"test"}, true, false, true, false, "", {}},
        {{"-TEST", "/Desk"}, true, true, true, false, "", {}},
        {{"proxy", "NoIcon"}, false, false, false, true, "", {}},
        {{"uhttp://127.0.0.1:8080/zpfl/"}, false, false, true, false, "http://127.0.0.1:8080/zpfl/", {}},
        {{"/uhttp://h/"}, false, false, true, false, "http://h/", {}},
        // The "u" prefix is case-sensitive and "test" wins over it.
        {{"Uhttp://h/"}, false, false, true, false, "", {"Uhttp://h/"}},
        {{"-test", "update"}, true, false, true, false, "pdate", {}},
        {{"-", "", "other"}, false, false, true, false, "", {"-", "", "other"}},
        {{"u"}, false, false, true, false, "", {}},
    };
    for (const Case& c : cases) {
        const AppCommandLine line = AppCommandLine::Parse(c.words);
        const std::string what = c.words.empty() ? "(none)" : c.words[0];
        EXPECT_EQ(std::tie(line.test, line.desk, line.noCache, line.noicon, line.updateBase, line.rest),
                  std::tie(c.test, c.desk, c.noCache, c.noicon, c.updateBase, c.rest))
            << what;
    }
}
