#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SettingsDocument.h"

/// A colour as red, green and blue.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

/// The background of a category item in check state 0, 1 or 2.
Rgb CategoryBackground(int state, Rgb window);
/// The text colour of an item: grey when disabled, light grey where it would vanish
/// into its background.
Rgb CategoryText(bool enabled, Rgb windowText, Rgb background);

/// The main window without its widgets: the category choices of group 0, the two
/// check boxes, the password, the update date and the filtering switch.
class MainWindowModel {
public:
    struct Category {
        /// Display name (UTF-8).
        std::string name;
        /// Index in the configuration's category list.
        int index = 0;
        /// 0, 1 or 2.
        int state = 0;
    };

    /// The group whose choices the window shows.
    static constexpr int kGroup = 0;

    explicit MainWindowModel(SettingsDocument& document);

    /// After the document loaded: the categories, the check boxes, the password and
    /// browserSettingAtStart.
    void Load();
    /// The category list of group 0 again (after an update, which may add categories).
    void LoadCategories();
    /// Writes changed check states into group 0; sets the modified flag when any did.
    void StoreCategories();

    const std::vector<Category>& categories() const { return m_categories; }
    /// Sets one item's state (clamped to 0..2). Stored only by StoreCategories.
    void SetCategoryState(size_t row, int state);
    /// The state a click gives: 0 -> 1 -> 2 -> 0.
    static int NextState(int state) { return (state + 1) % 3; }

    bool setProxy() const;
    void SetSetProxy(bool on);
    bool autoUpdate() const;
    void SetAutoUpdate(bool on);

    /// The administrator password as the edit shows it (UTF-8).
    std::string password() const;
    /// Every edit stores the text; "" or why it cannot be stored.
    std::string SetPassword(const std::string& utf8);

    bool filtering() const;
    void ToggleFiltering();
    const char* filteringText() const;

    /// "未更新" when the stored date text is empty.
    static std::string DateText(const char* stored);
    const std::string& dateText() const { return m_date; }
    void SetDateText(const char* stored) { m_date = DateText(stored); }

    /// After the settings sheet closed: its modified flag, and the password text it
    /// took from the version page (null when it has none).
    void AfterSheet(bool sheetModified, const std::string* passwordUtf8);
    /// After an update that succeeded.
    void AfterUpdate(const char* storedDate);

    bool modified() const { return m_modified; }
    bool passwordChanged() const { return m_passwordChanged; }
    void MarkModified() { m_modified = true; }
    void ClearModified() { m_modified = false; }
    void ClearPasswordChanged() { m_passwordChanged = false; }
    bool browserSettingAtStart() const { return m_browserAtStart; }

private:
    SettingsDocument& m_document;
    std::vector<Category> m_categories;
    std::string m_date;
    bool m_modified = false;
    bool m_passwordChanged = false;
    bool m_browserAtStart = false;
};
