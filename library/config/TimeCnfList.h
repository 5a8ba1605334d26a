#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ravlin_export.h"

class GroupList;

/// A group's filtering state at some time; the words of time.cnf are "off", "on" and
/// "cut" (access forbidden).
enum FilterStatus { FilterOff = 0, FilterOn = 1, FilterCut = 2 };

/// One slot of a day: a state and a time range. The range holds the start in its low
/// 16 bits and the end in its high 16 bits, each hour * 256 + minute; the end is
/// exclusive, so a whole day is 0x0000 to 0x1800.
class RAVLIN_EXPORT TimeCnfDataLine {
public:
    TimeCnfDataLine(FilterStatus status, unsigned long range, const char* text);
    /// The slots of one line share its text: a line naming many days and ranges is kept once.
    TimeCnfDataLine(FilterStatus status, unsigned long range, std::shared_ptr<const std::string> text);

    unsigned int start() const { return range & 0xffffu; }
    unsigned int end() const { return range >> 16; }
    bool Covers(unsigned int now) const { return start() <= now && now < end(); }
    /// "HH:MM-HH:MM".
    std::string RangeString() const;
    /// The time.cnf line the slot was made from, with its line end.
    const std::string& text() const { return *m_text; }

    FilterStatus status;
    uint32_t range;

private:
    std::shared_ptr<const std::string> m_text;
};

/// One group's week: slots per day (0 = Monday ... 6 = Sunday) in insertion order.
class RAVLIN_EXPORT TimeCnfData {
public:
    static constexpr int kDays = 7;

    /// Set when time.cnf has a section for the group; otherwise group 0's slots apply
    /// (with the group's own default) and the group's own slots are neither used nor saved.
    bool ownSchedule = false;
    /// The state at times no slot covers.
    FilterStatus defaultStatus = FilterOn;
    std::array<std::vector<TimeCnfDataLine>, kDays> days;
};

/// Every group's weekly schedule, index = group number, kept in
/// baseDirectory() + durationFilename. Edited only while no thread asks for the state
/// now; FilterStatusNow only reads and may run on any number of threads.
class RAVLIN_EXPORT TimeCnfList {
public:
    /// The day words in index order ("tur" is Thursday), then a null entry.
    static const char* const date[8];
    /// The file name, "time.cnf" unless changed.
    static std::string durationFilename;
    /// Bounds on what one line and one group may add, so a hostile file cannot exhaust
    /// memory.
    static constexpr size_t kMaxLineLength = 1022;
    static constexpr size_t kMaxSlotsPerLine = 1024;
    static constexpr size_t kMaxSlotsPerGroup = 16384;

    /// groups names the group list used for sizing and section names; without one the
    /// configuration singleton's list is used.
    explicit TimeCnfList(const GroupList* groups = nullptr);

    void SetGroupList(const GroupList* groups) { m_groups = groups; }

    /// Empties every group's slots, sizes the list to the group list and reads the file.
    /// Returns true when the file cannot be opened (the slots then stay empty).
    [[nodiscard]] bool Initialize();
    /// Writes the file. Returns true when it cannot be written (the old file stays).
    /// A group without a schedule of its own gets no section, so it goes on using group
    /// 0's slots; only when its default differs from "on" is it written with group 0's
    /// slots as its own, the one way the file can keep that default.
    [[nodiscard]] bool WriteData();

    /// Parses one time.cnf line into slots of the group. Returns true when the line was
    /// a state line that was taken; a default line ("on;") sets the group's default and
    /// returns false, as does any line that adds nothing.
    bool PutLineData(const char* line, int group);

    /// The group's state now (local time). An unknown group is treated as group 0.
    FilterStatus FilterStatusNow(int group) const;
    /// The group's state on day (0 = Monday) at hour * 256 + minute.
    FilterStatus FilterStatusAt(int group, int day, unsigned int now) const;

    /// One day's slots of a group, for editing. An unknown group or day gives an empty
    /// scratch list that nothing else reads.
    std::vector<TimeCnfDataLine>& GetVector(int group, int day);
    /// The day word of index 0 to 6; "" for any other index.
    static const char* GetDayString(int day);

    void ClearData(int group);
    void ClearData();
    /// Appends a copy of group 0's week (slots, flag and default) for a new last group.
    void AddGroup();

    int size() const { return static_cast<int>(m_weeks.size()); }
    /// The group's week; the index must be valid.
    TimeCnfData& operator[](int group) { return m_weeks[static_cast<size_t>(group)]; }
    const TimeCnfData& operator[](int group) const { return m_weeks[static_cast<size_t>(group)]; }

private:
    static int GetDateIndex(const char* text);
    const GroupList& groups() const;

    std::vector<TimeCnfData> m_weeks;
    const GroupList* m_groups;
    std::vector<TimeCnfDataLine> m_scratch;
};
