#pragma once

#include <string>

#include "../CoreFixture.h"
#include "common/Edition.h"
#include "core/SheetModel.h"

namespace confapptest {

/// A loaded network-edition document with groups "kids" (1) and "staff" (2), and a way to
/// read everything back through a fresh configuration.
class PagesFixture : public CoreFixture {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(IsStandaloneEdition()) << "these pages exist in the network edition only";
        dir.writeBytes("group.cnf", zpftest::Crlf("kids\nstaff\n"));
        ASSERT_TRUE(document.Load()) << document.loadError();
    }

    void save()
    {
        const SettingsDocument::SaveResult r = document.Save(false);
        ASSERT_TRUE(r.ok) << r.message;
    }

    /// The program directory read by a configuration that never saw the edits.
    struct Fresh {
        TestConfig cnf;
        explicit Fresh(const std::string&) { EXPECT_FALSE(cnf.Initialize()) << cnf.errorText; }
    };
};

} // namespace confapptest
