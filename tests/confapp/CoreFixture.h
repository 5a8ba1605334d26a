#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "core/CloseSequence.h"
#include "core/SettingsDocument.h"
#include "support/TempProgramDir.h"

namespace confapptest {

/// Answers every question with `answer` and keeps what was asked and shown.
class RecordingPrompt final : public UserPrompt {
public:
    std::vector<std::string> asked, shown;
    bool answer = false;
    bool AskYesNo(const std::string& text) override
    {
        asked.push_back(text);
        return answer;
    }
    void Show(const std::string& text) override { shown.push_back(text); }
};

/// A desktop whose browser settings cannot be read.
class NoBrowser final : public BrowserSettings {
public:
    bool Read(bool*, std::string*, int*) override { return false; }
    void Apply(int, bool, bool, int) override { }
};

/// Names for the category numbers the log tests use.
inline bool CategoryNames(unsigned number, std::string& name)
{
    static const std::map<unsigned, std::string> known = {{5, "Five"},
                                                          {12, "Games"},
                                                          {40, "\x83\x41\x83\x5f\x83\x8b\x83\x67"}, // アダルト
                                                          {101, "\x83\x41\x83\x5f\x83\x8b\x83\x67"},
                                                          {102, "Game"},
                                                          {103, "News"}};
    const auto it = known.find(number);
    if (it != known.end())
        name = it->second;
    return it != known.end();
}

// A fresh configuration per test, built against the current program directory.
class TestConfig : public ConfigrationFileSigleton { };

/// A program directory with three categories and a document over it.
class CoreFixture : public ::testing::Test {
protected:
    CoreFixture()
    {
        SetHivePath(platform::Hive::LocalMachine, dir.file("registry.db"));
        dir.writeEnciphered("category2.cnf", "1|a|b|101|\x83\x41\x83\x5f\x83\x8b\x83\x67|adult.fdb|r\n" // アダルト
                                             "0|a|b|102|Game|game.fdb|r\n"
                                             "2|a|b|103|News|news.fdb|r\n");
        dir.writeBytes("zpf.cnf", zpftest::Crlf("Port=3036\n"));
        // The shipped list files, so the load finds every file.
        for (const char* name : {"group.cnf", "iplist.cnf", "ippass.cnf", "nofilter.fdb", "passurl.fdb", "passwd",
                                 "phrase.fdb", "time.cnf"}) {
            std::string bytes;
            EXPECT_TRUE(platform::ReadFileBytes(std::string(ZPF_TEST_DATA_DIR "/../../data/") + name, bytes)) << name;
            dir.writeBytes(name, bytes);
        }
    }
    ~CoreFixture() override { SetHivePath(platform::Hive::LocalMachine, ""); }

    std::string read(const std::string& name) const { return dir.readBytes(name); }

    zpftest::TempProgramDir dir;
    TestConfig cnf;
    SettingsDocument document{cnf, dir.path()};
};

} // namespace confapptest
