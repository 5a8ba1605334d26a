#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/TimeCnfList.h"
#include "core/SettingsPage.h"

/// The weekly schedule of the group chosen in the sheet: per day an ordered list of
/// slots (filtering or cut), edited through the fields or by painting hour cells of
/// the week grid. Times outside every slot are not filtered once a day has a slot.
class TimePage final : public SettingsPage {
public:
    static constexpr int kDays = 7;
    static constexpr int kHours = 24;

    struct Slot {
        int start; ///< minutes after midnight
        int end; ///< minutes after midnight, 24 * 60 at most, above start
        FilterStatus state; ///< FilterOn or FilterCut
    };

    using SettingsPage::SettingsPage;
    std::string caption() const override;
    bool perGroup() const override { return true; }
    void LoadGroup(int group) override;
    void StoreGroup(int group) override;

    static const char* DayName(int day); ///< "月曜日" ... "日曜日"
    static std::string StateName(FilterStatus state); ///< "フィルタリング" or "遮断"
    static std::string TimeText(int minutes); ///< "%d:%02d"

    int day() const { return m_day; }
    void SelectDay(int day);
    const std::vector<Slot>& daySlots(int day) const { return m_week[static_cast<size_t>(day)]; }
    int selected() const { return m_selected; }
    /// Selecting a row copies its times and state into the fields; -1 clears it.
    void Select(int row);

    std::string startField, endField;
    /// The state of a new or changed slot: FilterOn ("フィルタリング") or FilterCut.
    FilterStatus stateField = FilterOn;

    /// Each returns "" when done, else the message for the user. A slot whose start is
    /// after its end runs across midnight: the rest goes to the next day (Sunday's to Monday).
    std::string Add();
    std::string Modify();
    void Delete();
    /// Replaces the slots of every checked day but the current one by copies of its own.
    void ApplyToDays(const std::array<bool, kDays>& days);

    /// The state at the start of an hour cell, as the proxy would decide it.
    FilterStatus CellState(int day, int hour) const;
    /// CellState of every cell, days down and hours across.
    std::array<std::array<FilterStatus, kHours>, kDays> CellStates() const;
    /// Gives the hour cells from..to (inclusive, in any order) of a day the state;
    /// FilterOff clears them. The day's slots are rebuilt from the cells' runs.
    void PaintCells(int day, int fromHour, int toHour, FilterStatus state);
    /// The state now (local time) of the schedule being edited.
    FilterStatus StateNow() const;
    /// The lines StoreGroup puts into the schedule.
    std::vector<std::string> Lines() const;

private:
    void addSlot(int day, Slot slot);
    TimeCnfList scratch() const;
    void edited();

    std::array<std::vector<Slot>, kDays> m_week;
    int m_day = 0;
    int m_selected = -1;
    /// Set by an edit since the group was loaded; an untouched group keeps its file lines.
    bool m_dirty = false;
    GroupList m_scratchGroups;
};
