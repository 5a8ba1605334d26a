#pragma once

#include <functional>
#include <string>

#include "core/SettingsDocument.h"

/// The model behind one tab of the settings sheet. The sheet calls the four
/// operations; a page never reaches for the configuration singleton itself, only for
/// the document it was handed. A page that keeps settings per group overrides the
/// group pair and says so in perGroup().
class SettingsPage {
public:
    explicit SettingsPage(SettingsDocument& document)
        : m_document(document)
    {
    }
    virtual ~SettingsPage() = default;
    SettingsPage(const SettingsPage&) = delete;
    SettingsPage& operator=(const SettingsPage&) = delete;

    /// The tab's caption (UTF-8).
    virtual std::string caption() const = 0;
    virtual bool perGroup() const { return false; }

    /// Fills the page's values from the document.
    virtual void Load() { }
    /// Writes the page's values into the document.
    virtual void Store() { }
    virtual void LoadGroup(int /*group*/) { }
    virtual void StoreGroup(int /*group*/) { }
    /// "" when the values can be stored, else a message for the user.
    virtual std::string Validate() const { return {}; }

    bool modified() const { return m_modified; }
    void ClearModified() { m_modified = false; }
    /// Set when the user first opens the page's tab. Only an opened page stores: a tab
    /// never looked at changes nothing.
    bool opened() const { return m_opened; }
    void MarkOpened() { m_opened = true; }
    /// Called on every change the user makes on the page.
    void SetChangedCallback(std::function<void()> callback) { m_changed = std::move(callback); }

protected:
    /// Marks the page changed and tells whoever listens.
    void MarkChanged()
    {
        m_modified = true;
        if (m_changed)
            m_changed();
    }
    SettingsDocument& document() { return m_document; }
    const SettingsDocument& document() const { return m_document; }

private:
    SettingsDocument& m_document;
    bool m_modified = false;
    bool m_opened = false;
    std::function<void()> m_changed;
};

/// A tab whose page arrives later: a caption and nothing to edit.
class PlaceholderPage final : public SettingsPage {
public:
    PlaceholderPage(SettingsDocument& document, std::string caption, bool perGroup)
        : SettingsPage(document)
        , m_caption(std::move(caption))
        , m_perGroup(perGroup)
    {
    }
    std::string caption() const override { return m_caption; }
    bool perGroup() const override { return m_perGroup; }

private:
    std::string m_caption;
    bool m_perGroup;
};
