#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/SettingsPage.h"

/// One row of a settings page bound to zpf.cnf keys.
struct PageRow {
    enum Kind {
        Check, ///< a check box; its text is "1" or "0"
        Number, ///< a number typed in a line edit
        Text, ///< a line edit
        Password, ///< a masked line edit
        Heading, ///< a caption over the rows below it (no key)
        Note, ///< an explanatory text (no key)
    };
    Kind kind;
    /// The zpf.cnf key; null for rows without one.
    const char* key;
    /// What the page shows (UTF-8).
    const char* label;
    /// The field's name in messages; the label when null.
    const char* name = nullptr;
    /// A unit after the field ("byte").
    const char* suffix = nullptr;
    /// False for a setting the page keeps but never shows.
    bool shown = true;
};

/// A page whose values are zpf.cnf keys: global ones, or the keys of the group being
/// edited. Values are held as the controls show them (UTF-8); only a value the user
/// changed is checked and stored, so a page opened and left alone changes nothing, and
/// a value the file held that the page would refuse does not keep the user on the page.
class BoundPage : public SettingsPage {
public:
    BoundPage(SettingsDocument& document, std::string caption, bool perGroup, std::vector<PageRow> rows);

    std::string caption() const override { return m_caption; }
    bool perGroup() const override { return m_perGroup; }
    void Load() override;
    void Store() override;
    void LoadGroup(int group) override;
    void StoreGroup(int group) override;
    /// The first changed value that cannot be stored, as a message naming its field.
    std::string Validate() const override;

    const std::vector<PageRow>& rows() const { return m_rows; }
    /// The value of the key's row (UTF-8); "" for a key the page does not hold.
    std::string text(std::string_view key) const;
    bool checked(std::string_view key) const { return text(key) == "1"; }
    /// A user's edit: marks the page changed when the value differs.
    void SetText(std::string_view key, const std::string& utf8);
    void SetChecked(std::string_view key, bool on) { SetText(key, on ? "1" : "0"); }
    /// Whether the control of the row can be edited now.
    virtual bool enabled(const PageRow& row) const;
    /// Whether the row is on the page.
    virtual bool visible(const PageRow& row) const { return row.shown; }
    /// Lines of state the page shows under its fields (UTF-8); asked when the view refreshes.
    virtual std::vector<std::string> infoLines() const { return {}; }

protected:
    /// The text a control shows for the key's stored value (an override may change it).
    virtual std::string shownText(const char* key, const std::string& stored) const;

private:
    struct Value {
        std::string shown;
        std::string loaded;
    };
    void loadFrom(int group);
    void storeInto(int group);
    Value* value(std::string_view key);
    const Value* value(std::string_view key) const;
    const PageRow* row(std::string_view key) const;

    std::string m_caption;
    bool m_perGroup;
    std::vector<PageRow> m_rows;
    std::vector<Value> m_values; // one per row, empty for rows without a key
};
