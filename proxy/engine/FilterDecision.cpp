// The per-request decision of a session: who the client is, which group's settings
// apply, and whether the request passes, and with how much inspection.
#include "engine/FilterDecision.h"

#include <cstdlib>
#include <optional>

#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "engine/PageSender.h"
#include "filterdb/CanonicalUrl.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/GroupSettings.h"
#include "filterdb/UrlLookup.h"
#include "log/TraceLog.h"

namespace {
using Action = SessionDecision::Action;
using enum TableKind;
using Outcome = std::optional<SessionDecision>; // empty: go on to the next check

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

void noFiltering(SessionPolicy& policy) { policy.filterRequest = policy.filterResponse = false; }

/// The client's address against the IP lists, the request line and the credentials:
/// settles the group and how the client is filtered.
Outcome identifyClient(HTTPServiceBody& body, const ConfigrationFileSigleton& cnf)
{
    SessionPolicy& policy = body.policy;
    std::optional<IP> client;
    if (const platform::Ipv4Address* a = body.ClientAddress())
        client = IP((*a)[0], (*a)[1], (*a)[2], (*a)[3]);
    // A client whose address cannot be read passes the restriction only while it is off.
    if (client ? !cnf.ipList.CheckIP(*client) : cnf.ipList.active) {
        const int code = cnf.cnfData.empty() ? 0 : cnf.cnfData[0].MessageCode;
        return page(960, code ? 200 : 403);
    }
    bool filterClient = true;
    int mode = cnf.zpfAuthorization;
    if (client)
        cnf.ipDataList.CheckIPData(*client, &filterClient, &policy.group, &mode);
    // A policy entry may name a group that is gone; such a client is group 0.
    if (!GroupSettings(cnf, policy.group))
        policy.group = 0;
    if (!filterClient)
        noFiltering(policy);

    if (!body.ParseRequestLine())
        return page(400, 400);

    const auto authMode = static_cast<AuthMode>(mode);
    if (authMode == AuthMode::Required) {
        const AuthResult result = body.CheckProxyAuthorization();
        if (!Authenticated(result))
            return page(407, 407);
        if (result == AuthResult::Unfiltered)
            noFiltering(policy);
    } else if (authMode == AuthMode::Optional) {
        const AuthResult result = body.CheckProxyAuthorization();
        if (body.request.host == "filterset")
            return Authenticated(result) ? page(970, 200) : page(407, 407);
        if (Authenticated(result))
            noFiltering(policy);
    }
    return std::nullopt;
}

/// The no-filtering lists and the categories set to pass.
void applyExemptions(HTTPServiceBody& body, const UrlForms& url, const ConfigrationFileData& data,
                     const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    SessionPolicy& policy = body.policy;
    const int group = policy.group;
    // Exactly one number matching exempts; the canonical form must not take away an
    // exemption the given form earns by adding numbers of its own.
    const bool twoForms = !url.sameKey;
    auto listed = [&](TableKind kind, int table) {
        const KeyTable* keys = db.GetKeyTable(kind, table);
        return LookupUrl(url.given, keys) == 1 || (twoForms && LookupUrl(url, keys) == 1);
    };
    if (data.UserNoFilteringURL && listed(GroupUploadExempt, group))
        policy.filterRequest = false;
    if (data.UploadNoFilteringURL && listed(UploadExempt, 0))
        policy.filterRequest = false;
    if (data.UserNoFilteringURL && listed(GroupDownloadExempt, group))
        policy.filterResponse = false;
    if (data.DownloadNoFilteringURL && listed(DownloadExempt, 0))
        policy.filterResponse = false;
    auto passes = [&](const UrlForms& forms) {
        return CountCategoryHits(forms, CategoryUrls, CategoryStatus::Pass, group, db, cnf) == 1;
    };
    if (cnf.GetStatusCategoryNum(group, static_cast<int>(CategoryStatus::Pass)) != 0 &&
        (passes(UrlForms(url.given)) || (twoForms && passes(url))))
        noFiltering(policy);
}

/// The access-control lists: once either is in use, only what they list passes.
Outcome checkAccessControl(HTTPServiceBody& body, const UrlForms& url, const ConfigrationFileData& data,
                           const FilterDatabase& db)
{
    if (!body.policy.doBlock)
        return std::nullopt;
    MatchedKeys matched;
    int own = -1;
    int common = -1;
    if (data.UserAccessControlURL)
        own = LookupUrl(url, db.GetKeyTable(GroupAccessControl, body.policy.group), &matched);
    if (data.AccessControlURL)
        common = LookupUrl(url, db.GetKeyTable(AccessControl, 0), &matched);
    if (own == 1 || common == 1 || (own == -1 && common == -1))
        return std::nullopt;
    body.LogBlock("(Access Control)", widen(matched));
    return blockAnswer(data, 903);
}

/// One key block: the group's own table when UserFilter is on, else the categories it
/// blocks when `categories` is on. A hit is logged, and answered while doBlock is on.
Outcome checkKeyBlock(HTTPServiceBody& body, const UrlForms& url, const ConfigrationFileData& data, bool extension,
                      bool categories, const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    const int group = body.policy.group;
    MatchedKeys matched;
    bool hit = false;
    if (data.UserFilter) {
        hit = extension ? LookupExtension(url, db.GetKeyTable(GroupExtensions, group), &matched) > 0
                        : LookupUrl(url, db.GetKeyTable(GroupUrls, group), &matched) > 0;
    }
    if (!hit && categories) {
        const TableKind kind = extension ? CategoryExtensions : CategoryUrls;
        hit = CountCategoryHits(url, kind, CategoryStatus::Block, group, db, cnf, &matched) > 0;
    }
    if (!hit)
        return std::nullopt;
    body.LogBlock(extension ? "(Extension Block)" : "(URL Block)", widen(matched));
    if (!body.policy.doBlock)
        return std::nullopt;
    return blockAnswer(data, extension ? 905 : 902);
}

/// A request that passed: relayed, but ftp only through an ftp proxy, since nothing
/// here speaks ftp and the host would get an HTTP request.
SessionDecision pass(const RequestLine& request, const ConfigrationFileSigleton& cnf)
{
    if (request.scheme == Scheme::Ftp && cnf.FTPProxy.empty())
        return page(400, 400);
    return relay();
}

/// Whether port is one of the numbers of list ("443" or "443, 8443").
bool listedPort(const std::string& list, int port)
{
    for (const char* p = list.c_str(); *p;) {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end == p) {
            ++p;
            continue;
        }
        if (value == port)
            return true;
        p = end;
    }
    return false;
}

/// A tunnel reaches only the ports the settings allow: one to port 80 would carry
/// plain requests past every check.
Outcome checkTunnelPort(HTTPServiceBody& body, const ConfigrationFileData& data, const ConfigrationFileSigleton& cnf)
{
    if (body.request.scheme != Scheme::Https || listedPort(cnf.ConnectPorts, body.request.port))
        return std::nullopt;
    body.LogBlock("(Port Block)", {});
    if (!body.policy.doBlock)
        return std::nullopt;
    return blockAnswer(data, 902);
}
} // namespace

SessionDecision DecideRequest(HTTPServiceBody& body, const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    SessionPolicy& policy = body.policy;
    policy.group = 0;
    policy.filterRequest = policy.filterResponse = true;
    if (Outcome answer = identifyClient(body, cnf))
        return *answer;
    const ConfigrationFileData* settings = GroupSettings(cnf, policy.group);
    if (!settings)
        return page(400, 400); // no settings at all: nothing sane to apply
    const ConfigrationFileData& data = *settings;
    const int group = policy.group;

    policy.doBlock = cnf.doBlock(group);
    policy.doBlockLog = cnf.doBlockLog(group);
    policy.doAccessLog = cnf.doAccessLog(group);
    RequestLine& request = body.request;
    request.url.clear();
    request.url.append(kSchemeNames[static_cast<int>(request.scheme)]).append("://").append(request.host);
    request.url.append(request.path);
    // Keys are stored without "http://": a canonical form equal to the rest is no new key.
    const std::string canonical = CanonicalUrl(request.url);
    std::string_view given = request.url;
    if (given.starts_with("http://"))
        given.remove_prefix(7);
    const UrlForms url(request.url, canonical, canonical == given);
    // Neither blocking nor logging blocks: nothing to look for.
    if (!policy.doBlock && !policy.doBlockLog)
        noFiltering(policy);
    else
        applyExemptions(body, url, data, db, cnf);

    const FilterStatus now = cnf.timeCnfList.FilterStatusNow(group);
    if (now == FilterCut)
        return page(907, data.MessageCode ? 200 : 403);
    if (now == FilterOff) {
        noFiltering(policy);
        return pass(request, cnf);
    }
    if (!policy.filterRequest)
        return pass(request, cnf);
    if (Outcome answer = checkTunnelPort(body, data, cnf))
        return *answer;
    if (Outcome answer = checkAccessControl(body, url, data, db))
        return *answer;
    if (Outcome answer = checkKeyBlock(body, url, data, false, data.URLBlockFilter != 0, db, cnf))
        return *answer;
    if (Outcome answer = checkKeyBlock(body, url, data, true, data.ExtensionBlockFilter != 0, db, cnf))
        return *answer;
    return pass(request, cnf);
}

void RunFilterDecision(HTTPServiceBody& body, TraceLog& trace)
{
    body.policy.group = 0;
    body.policy.filterRequest = true;
    body.policy.filterResponse = true;

    if (body.ReadRequest(trace) == 0) {
        // At stop nobody waits for an answer.
        if (body.eventStop && body.eventStop->IsSet())
            return;
        if (body.requestsFull || body.endedForRoom)
            SendBuiltInPage(503, body.clientSocket, body.eventStop.get());
        else
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
