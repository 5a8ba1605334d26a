#include "core/MainWindowModel.h"

#include <algorithm>

#include "common/Encoding.h"
#include "core/Texts.h"

Rgb CategoryBackground(int state, Rgb window)
{
    switch (state) {
    case 1:
        return {0xFF, 0xE0, 0xE8};
    case 2:
        return {0xD0, 0xFF, 0xFF};
    default:
        return window;
    }
}

Rgb CategoryText(bool enabled, Rgb windowText, Rgb background)
{
    const Rgb text = enabled ? windowText : Rgb{128, 128, 128};
    return text == background ? Rgb{192, 192, 192} : text;
}

MainWindowModel::MainWindowModel(SettingsDocument& document)
    : m_document(document)
{
}

void MainWindowModel::Load()
{
    m_browserAtStart = m_document.config().SetProxy != 0;
    LoadCategories();
}

void MainWindowModel::LoadCategories()
{
    m_categories.clear();
    const ConfigrationFileSigleton& cnf = m_document.config();
    if (cnf.cnfData.empty())
        return;
    const std::vector<int>& status = cnf.cnfData[kGroup].categoryStatus;
    for (int i = 0; i < cnf.categoryList.GetCategoryNum(); ++i) {
        const CCategory& c = cnf.categoryList[i];
        if (c.stale)
            continue;
        const int state = static_cast<size_t>(i) < status.size() ? status[static_cast<size_t>(i)] : 0;
        m_categories.push_back({encoding::sjisToUtf8(c.name), i, std::clamp(state, 0, 2)});
    }
}

void MainWindowModel::StoreCategories()
{
    ConfigrationFileSigleton& cnf = m_document.config();
    if (cnf.cnfData.empty())
        return;
    std::vector<int>& status = cnf.cnfData[kGroup].categoryStatus;
    for (const Category& c : m_categories) {
        const auto at = static_cast<size_t>(c.index);
        if (at >= status.size())
            status.resize(at + 1, 0);
        if (status[at] != c.state) {
            status[at] = c.state;
            m_modified = true;
        }
    }
}

void MainWindowModel::SetCategoryState(size_t row, int state)
{
    if (row < m_categories.size())
        m_categories[row].state = std::clamp(state, 0, 2);
}

bool MainWindowModel::setProxy() const { return m_document.config().SetProxy != 0; }

void MainWindowModel::SetSetProxy(bool on)
{
    m_document.config().SetProxy = on ? 1 : 0;
    m_modified = true;
}

bool MainWindowModel::autoUpdate() const { return m_document.config().AutoUpdateAtBoot != 0; }

void MainWindowModel::SetAutoUpdate(bool on)
{
    m_document.config().AutoUpdateAtBoot = on ? 1 : 0;
    m_modified = true;
}

std::string MainWindowModel::password() const { return encoding::sjisToUtf8(m_document.config().adminPassword); }

std::string MainWindowModel::SetPassword(const std::string& utf8)
{
    const std::string sjis = encoding::utf8ToSjis(utf8);
    if (encoding::sjisToUtf8(sjis) != utf8)
        return texts::kPasswordUnencodable;
    m_document.config().adminPassword = sjis;
    m_passwordChanged = true;
    return {};
}

bool MainWindowModel::filtering() const { return m_document.config().Filtering != 0; }

void MainWindowModel::ToggleFiltering()
{
    m_document.config().Filtering = filtering() ? 0 : 1;
    m_modified = true;
}

const char* MainWindowModel::filteringText() const { return filtering() ? texts::kFilteringOn : texts::kFilteringOff; }

std::string MainWindowModel::DateText(const char* stored)
{
    return (stored && *stored) ? std::string(stored) : std::string(texts::kNeverUpdated);
}

void MainWindowModel::AfterSheet(bool sheetModified, const std::string* passwordUtf8)
{
    if (passwordUtf8 && *passwordUtf8 != password())
        (void)SetPassword(*passwordUtf8); // the version page refuses what cannot be stored
    if (sheetModified)
        m_modified = true;
}

void MainWindowModel::AfterUpdate(const char* storedDate)
{
    SetDateText(storedDate);
    LoadCategories();
    m_modified = true;
}
