// The per-request decision of a session: who the client is, which group's settings
// apply, and whether the request passes, and with how much inspection.
#include "engine/FilterDecision.h"

#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/UrlLookup.h"
#include "log/TraceLog.h"

namespace {
using Action = SessionDecision::Action;
using enum TableKind;

SessionDecision page(int number, int status) { return {Action::Page, number, status}; }
SessionDecision relay() { return {Action::Relay, 0, 0}; }
SessionDecision silentEnd() { return {Action::End, 0, 0}; }

std::vector<unsigned> widen(const MatchedKeys& keys) { return {keys.begin(), keys.end()}; }

/// A block answer: the page when the group sends one, else a silent end.
SessionDecision blockAnswer(const ConfigrationFileData& data, int number)
{
    if (!data.MessageFlag)
        return silentEnd();
    return page(number, data.MessageCode ? 200 : 403);
}

void noFiltering(HTTPServiceBody& body) { body.filterRequest = body.filterResponse = false; }

bool validGroup(const ConfigrationFileSigleton& cnf, int group)
{
    return group >= 0 && static_cast<size_t>(group) < cnf.cnfData.size();
}
} // namespace

SessionDecision DecideRequest(HTTPServiceBody& body, const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    body.group = 0;
    body.filterRequest = body.filterResponse = true;
    bool filterClient = true;
    int mode = cnf.zpfAuthorization;
    const unsigned client = static_cast<unsigned>(body.clientSocket);

    if (!cnf.ipList.CheckIP(client)) {
        const int code = cnf.cnfData.empty() ? 0 : cnf.cnfData[0].MessageCode;
        return page(960, code ? 200 : 403);
    }
    cnf.ipDataList.CheckIPData(client, &filterClient, &body.group, &mode);
    // A policy entry may name a group that is gone; such a client is group 0.
    if (!validGroup(cnf, body.group))
        body.group = 0;
    if (!filterClient)
        noFiltering(body);

    if (!body.ParseRequestLine())
        return page(400, 400);

    const auto authMode = static_cast<AuthMode>(mode);
    if (authMode == AuthMode::Required) {
        const AuthResult result = body.CheckProxyAuthorization();
        if (!Authenticated(result))
            return page(407, 407);
        if (result == AuthResult::Unfiltered)
            noFiltering(body);
    } else if (authMode == AuthMode::Optional) {
        const AuthResult result = body.CheckProxyAuthorization();
        if (body.host == "filterset")
            return Authenticated(result) ? page(970, 200) : page(407, 407);
        if (Authenticated(result))
            noFiltering(body);
    }
    if (!validGroup(cnf, body.group))
        return page(400, 400); // no settings at all: nothing sane to apply
    const int group = body.group;
    const ConfigrationFileData& data = cnf.cnfData[static_cast<size_t>(group)];

    body.doBlock = cnf.doBlock(group);
    body.doBlockLog = cnf.doBlockLog(group);
    body.doAccessLog = cnf.doAccessLog(group);
    body.url.clear();
    body.url.append(kSchemeNames[static_cast<int>(body.scheme)]).append("://").append(body.host).append(body.path);

    if (!body.doBlock && !body.doBlockLog) {
        noFiltering(body);
    } else {
        const std::string_view url = body.url;
        if (data.UserNoFilteringURL && LookupUrl(url, db.GetKeyTable(GroupUploadExempt, group)) == 1)
            body.filterRequest = false;
        if (data.UploadNoFilteringURL && LookupUrl(url, db.GetKeyTable(UploadExempt, 0)) == 1)
            body.filterRequest = false;
        if (data.UserNoFilteringURL && LookupUrl(url, db.GetKeyTable(GroupDownloadExempt, group)) == 1)
            body.filterResponse = false;
        if (data.DownloadNoFilteringURL && LookupUrl(url, db.GetKeyTable(DownloadExempt, 0)) == 1)
            body.filterResponse = false;
        if (cnf.GetStatusCategoryNum(group, static_cast<int>(CategoryStatus::Pass)) != 0 &&
            CountCategoryHits(url, CategoryUrls, CategoryStatus::Pass, group, db, cnf) == 1)
            noFiltering(body);
    }

    const FilterStatus now = cnf.timeCnfList.FilterStatusNow(group);
    if (now == FilterCut)
        return page(907, data.MessageCode ? 200 : 403);
    if (now == FilterOff) {
        noFiltering(body);
        return relay();
    }
    if (!body.filterRequest)
        return relay();

    const std::string_view url = body.url;
    if (body.doBlock && url.substr(0, 5) != "https") {
        MatchedKeys matched;
        int own = -1;
        int common = -1;
        if (data.UserAccessControlURL)
            own = LookupUrl(url, db.GetKeyTable(GroupAccessControl, group), &matched);
        if (data.AccessControlURL)
            common = LookupUrl(url, db.GetKeyTable(AccessControl, 0), &matched);
        if (!(own == 1 || common == 1 || (own == -1 && common == -1))) {
            body.LogBlock("(Access Control)", widen(matched));
            return blockAnswer(data, 903);
        }
    }
    if (!body.doBlock && !body.doBlockLog)
        return relay();

    MatchedKeys matched;
    bool hit = data.UserFilter && LookupUrl(url, db.GetKeyTable(GroupUrls, group), &matched) > 0;
    if (!hit)
        hit = data.URLBlockFilter &&
              CountCategoryHits(url, CategoryUrls, CategoryStatus::Block, group, db, cnf, &matched) > 0;
    if (hit) {
        body.LogBlock("(URL Block)", widen(matched));
        if (body.doBlock)
            return blockAnswer(data, 902);
    }
    matched.clear();
    hit = data.UserFilter && LookupExtension(url, db.GetKeyTable(GroupExtensions, group), &matched) > 0;
    if (!hit)
        hit = data.ExtensionBlockFilter &&
              CountCategoryHits(url, CategoryExtensions, CategoryStatus::Block, group, db, cnf, &matched) > 0;
    if (hit) {
        body.LogBlock("(Extension Block)", widen(matched));
        if (body.doBlock)
            return blockAnswer(data, 905);
    }
    return relay();
}

void RunFilterDecision(HTTPServiceBody& body, TraceLog& trace)
{
    body.group = 0;
    body.filterRequest = true;
    body.filterResponse = true;

    if (body.ReadRequest(trace) == 0) {
        // At stop nobody waits for an answer.
        if (!(body.eventStop && body.eventStop->IsSet()))
            body.SendPage(400, 400);
        return;
    }
    const SessionDecision decision =
        DecideRequest(body, FilterDatabase::getInstance(), *ConfigrationFileSigleton::getInstance());
    switch (decision.action) {
    case SessionDecision::Action::Page:
        body.SendPage(decision.page, decision.status);
        break;
    case SessionDecision::Action::Relay:
        body.Relay(trace);
        break;
    case SessionDecision::Action::End:
        break;
    }
}
