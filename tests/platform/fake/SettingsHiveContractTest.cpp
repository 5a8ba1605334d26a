// The in-memory hive must answer as the real store does, or tests built on it prove
// nothing: one script of calls runs against both.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/fake/FakeServices.h"
#include "platform/SettingsStore.h"
#include "support/TempDir.h"

namespace {

using platform::SettingsStatus;

enum class Op { Set, Query, DeleteValue, EnumValue, EnumSubkey, CreateKey, DeleteKey };

struct Step {
    Op op;
    const char* key;
    const char* name; // value name, or the index for the enumerations
    const char* data; // written by Set; expected from Query and the enumerations
    SettingsStatus want;
};

const std::string kTooLongKey(platform::kMaxKeyNameLength + 1, 'k');

const Step kScript[] = {
    {Op::Set, "Software\\Orvane", "Proxy", "a", SettingsStatus::Ok},
    // Names compare without regard to case; empty path parts are skipped.
    {Op::Query, "\\software\\\\ORVANE\\", "proxy", "a", SettingsStatus::Ok},
    {Op::Query, "Software\\Missing", "Proxy", "", SettingsStatus::NotFound},
    {Op::Query, "Software\\Orvane", "None", "", SettingsStatus::NotFound},
    // A replaced value keeps its place and first spelling.
    {Op::Set, "Software\\Orvane", "Zeta", "z", SettingsStatus::Ok},
    {Op::Set, "Software\\Orvane", "PROXY", "b", SettingsStatus::Ok},
    {Op::EnumValue, "Software\\Orvane", "0", "Proxy=b", SettingsStatus::Ok},
    {Op::EnumValue, "Software\\Orvane", "1", "Zeta=z", SettingsStatus::Ok},
    {Op::EnumValue, "Software\\Orvane", "2", "", SettingsStatus::NotFound},
    {Op::DeleteValue, "Software\\Orvane", "zeta", "", SettingsStatus::Ok},
    {Op::DeleteValue, "Software\\Orvane", "zeta", "", SettingsStatus::NotFound},
    {Op::Set, "Software\\Orvane", "Zeta", "y", SettingsStatus::Ok},
    {Op::EnumValue, "Software\\Orvane", "1", "Zeta=y", SettingsStatus::Ok},
    // Subkeys come in name order without regard to case.
    {Op::CreateKey, "Software\\Orvane\\Beta", "", "", SettingsStatus::Ok},
    {Op::CreateKey, "Software\\Orvane\\alpha", "", "", SettingsStatus::Ok},
    {Op::EnumSubkey, "Software\\Orvane", "0", "alpha", SettingsStatus::Ok},
    {Op::EnumSubkey, "Software\\Orvane", "1", "Beta", SettingsStatus::Ok},
    {Op::EnumSubkey, "Software\\Orvane", "2", "", SettingsStatus::NotFound},
    // Deletion is not recursive, and the root cannot go.
    {Op::DeleteKey, "Software\\Orvane", "", "", SettingsStatus::HasSubkeys},
    {Op::DeleteKey, "software\\orvane\\ALPHA", "", "", SettingsStatus::Ok},
    {Op::DeleteKey, "Software\\Orvane\\alpha", "", "", SettingsStatus::NotFound},
    {Op::DeleteKey, "\\", "", "", SettingsStatus::InvalidArgument},
    {Op::Query, kTooLongKey.c_str(), "x", "", SettingsStatus::InvalidArgument},
};

std::string run(platform::SettingsHive& hive, const Step& step, SettingsStatus* status)
{
    const uint32_t index = static_cast<uint32_t>(std::atoi(step.name));
    std::string data;
    platform::SettingsValue value;
    switch (step.op) {
    case Op::Set:
        *status = hive.SetValue(step.key, step.name, platform::ValueType::String, step.data);
        break;
    case Op::Query:
        *status = hive.QueryValue(step.key, step.name, nullptr, &data);
        break;
    case Op::DeleteValue:
        *status = hive.DeleteValue(step.key, step.name);
        break;
    case Op::EnumValue:
        *status = hive.EnumValue(step.key, index, &value);
        if (*status == SettingsStatus::Ok)
            data = value.name + "=" + value.data;
        break;
    case Op::EnumSubkey:
        *status = hive.EnumSubkey(step.key, index, &data);
        break;
    case Op::CreateKey:
        *status = hive.CreateKey(step.key);
        break;
    case Op::DeleteKey:
        *status = hive.DeleteKey(step.key);
        break;
    }
    return step.op == Op::Set ? step.data : data;
}

TEST(SettingsHiveContract, FakeAndStoreAnswerTheSameScript)
{
    zpftest::TempDir dir;
    platform::StoreSettingsHive store;
    ASSERT_EQ(store.Open(dir.file("hive.db")), SettingsStatus::Ok);
    platform::fake::FakeSettingsHive fake;
    platform::SettingsHive* hives[] = {&store, &fake};
    for (size_t i = 0; i < std::size(kScript); ++i) {
        for (platform::SettingsHive* hive : hives) {
            SCOPED_TRACE("step " + std::to_string(i) + (hive == &fake ? " fake" : " store"));
            SettingsStatus status;
            const std::string got = run(*hive, kScript[i], &status);
            EXPECT_EQ(status, kScript[i].want);
            EXPECT_EQ(got, kScript[i].data);
        }
    }
}

} // namespace
