// Proxy user accounts and their file passwd.
#include "config/PassWord.h"

#include <cstring>

#include "common/BaseDirectory.h"
#include "config/ConfigLines.h"
#include "config/ConfigrationFile.h"
#include "config/GroupList.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"

namespace {

const GroupList& singletonGroups() { return ConfigrationFileSigleton::getInstance()->groupList; }

} // namespace

void CPassWord::SetRecord(const char* line, const GroupList* groupList)
{
    id.clear();
    password.clear();
    accessClass = 0;
    group = 0;
    if (!line)
        return;
    const std::string text(line);
    const size_t semi = text.find(';');
    if (semi != std::string::npos) {
        const GroupList& list = groupList ? *groupList : singletonGroups();
        group = list.GetGroupNo(text.c_str() + semi + 1);
    }
    const size_t colon1 = text.find(':');
    if (colon1 == std::string::npos)
        return;
    id = text.substr(0, colon1);
    const size_t colon2 = text.find(':', colon1 + 1);
    if (colon2 != std::string::npos) {
        password = text.substr(colon1 + 1, colon2 - colon1 - 1);
        accessClass = zpfconfig::ParseIntPrefix(text.c_str() + colon2 + 1);
    } else {
        const size_t end = text.find(';', colon1 + 1);
        password = text.substr(colon1 + 1, end == std::string::npos ? std::string::npos : end - colon1 - 1);
        accessClass = 1;
    }
}

const GroupList& CPassWordData::groups() const { return m_groups ? *m_groups : singletonGroups(); }

std::string CPassWordData::Path() const { return m_path.empty() ? baseDirectory() + "passwd" : m_path; }

bool CPassWordData::Initialize()
{
    accounts.clear();
    platform::TextFile file;
    if (!file.Open(Path(), "r"))
        return true;
    const GroupList& list = groups();
    std::string line;
    while (zpfconfig::ReadLimitedLine(file, kLineLimit + 1, line)) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        // A line without ":" names no account; taking it would make an account with an
        // empty name and password that any credentials without ":" would match.
        if (line.empty() || line.find(':') == std::string::npos)
            continue;
        accounts.emplace_back(line.c_str(), &list);
    }
    return false;
}

std::string CPassWordData::line(const CPassWord& a) const
{
    const GroupList& list = groups();
    const char* name = a.group >= 0 && a.group < list.size() ? list.GetGroupName(a.group) : "";
    return a.id + ":" + a.password + ":" + std::to_string(a.accessClass) + ";" + name + "\n";
}

std::string CPassWordData::AccountError(const CPassWord& a) const
{
    for (const std::string* text : {&a.id, &a.password}) {
        for (char c : *text) {
            if (c == ':' || c == ';' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return std::string(text == &a.id ? "An account name" : "A password") +
                       " may not hold \":\", \";\", a line end or another control character.";
        }
    }
    if (line(a).size() > static_cast<size_t>(kLineLimit))
        return "The account \"" + a.id + "\" does not fit in a line of " + std::to_string(kLineLimit) + " bytes.";
    return {};
}

std::string CPassWordData::CheckAccounts() const
{
    for (const auto& a : accounts) {
        if (std::string error = AccountError(a); !error.empty())
            return error;
    }
    return {};
}

bool CPassWordData::WriteData() const
{
    if (!CheckAccounts().empty())
        return true;
    std::string text;
    for (const auto& a : accounts)
        text += line(a);
    return zpfconfig::ReplaceTextFile(Path(), text, platform::kPrivateFileMode);
}

int CPassWordData::CheckAccessClass(const char* credentials, int* group, bool byId) const
{
    if (group)
        *group = 0;
    if (!credentials)
        return -1;
    const CPassWord* found = nullptr;
    if (byId) {
        for (const auto& a : accounts) {
            if (a.id == credentials) {
                found = &a;
                break;
            }
        }
    } else {
        // Split at the first ":" only: the whole rest is the password, so "secret:x" or
        // "secret;x" never passes for "secret". No ":" at all names the account with an
        // empty name and password.
        const char* colon = std::strchr(credentials, ':');
        std::string user = colon ? std::string(credentials, static_cast<size_t>(colon - credentials)) : std::string();
        std::string pass = colon ? std::string(colon + 1) : std::string();
        for (const auto& a : accounts) {
            if (a.id == user && a.password == pass) {
                found = &a;
                break;
            }
        }
    }
    if (!found)
        return -1;
    if (group)
        *group = found->group;
    return found->accessClass;
}
