// The group list and its file group.cnf.
#include "config/GroupList.h"

#include <cstring>

#include "config/ConfigLines.h"
#include "platform/TextFile.h"

void GroupData::SetGroup(const char* newName, bool isDeleted)
{
    name = newName ? newName : "";
    deleted = isDeleted;
}

GroupList::GroupList() { m_groups.emplace_back("", false); }

int GroupList::InitGroupList(const char* path)
{
    m_groups.clear();
    m_groups.emplace_back("", false);
    if (!path)
        return 0;
    platform::TextFile file;
    if (!file.Open(path, "r"))
        return 1;
    char buf[1024];
    while (file.Gets(buf, sizeof buf)) {
        size_t len = std::strlen(buf);
        while (len > 0 && (buf[len - 1] == ' ' || buf[len - 1] == '\t' || buf[len - 1] == '\r' || buf[len - 1] == '\n'))
            buf[--len] = '\0';
        if (len == 0 || buf[0] == '#')
            continue;
        AddGroup(buf);
    }
    return 0;
}

bool GroupList::WriteGroupList(const char* path)
{
    if (!path || !CheckNames().empty())
        return true;
    std::string text;
    for (size_t i = 1; i < m_groups.size(); ++i) {
        if (!m_groups[i].deleted && !m_groups[i].name.empty())
            text += m_groups[i].name + "\n";
    }
    // Every sectioned file maps its sections through this list: a cut file would move
    // them to other groups, so the old file stays whole unless the new one is.
    return zpfconfig::ReplaceTextFile(path, text);
}

std::string GroupList::NameError(std::string_view name)
{
    if (name.empty())
        return "A group needs a name.";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "A group name may not hold a line end or another control character.";
    }
    if (name.size() > kMaxNameLength)
        return "A group name may not be longer than " + std::to_string(kMaxNameLength) + " bytes.";
    const std::string quoted = "The group name \"" + std::string(name) + "\" ";
    if (name.front() == '#' || name.front() == '%')
        return quoted + "may not begin with \"#\" or \"%\".";
    if (name.front() == ' ' || name.back() == ' ')
        return quoted + "may not begin or end with a blank.";
    if (name.find_first_of(",;") != std::string_view::npos)
        return quoted + "may not hold \",\" or \";\".";
    return {};
}

std::string GroupList::CheckNames() const
{
    for (size_t i = 1; i < m_groups.size(); ++i) {
        if (m_groups[i].deleted || m_groups[i].name.empty())
            continue;
        if (std::string error = NameError(m_groups[i].name); !error.empty())
            return error;
    }
    return {};
}

int GroupList::GetGroupNo(const char* name) const
{
    for (size_t i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

bool GroupList::AddGroup(const char* name)
{
    if (GetGroupNo(name) >= 0)
        return true;
    m_groups.emplace_back(name, false);
    return false;
}

bool GroupList::DeleteGroup(int index)
{
    if (index < 0 || index >= GetGroupNum())
        return true;
    m_groups[static_cast<size_t>(index)].SetGroup("", true);
    return false;
}

std::string GroupList::GetGroupNameFromLine(const char* line)
{
    if (!line || line[0] != '%')
        return {};
    std::string text(line + 1);
    // Search from the last character back to the second one for the closing '%'.
    for (size_t i = text.size(); i-- > 1;) {
        if (text[i] == '%') {
            text.resize(i);
            break;
        }
    }
    return text;
}
