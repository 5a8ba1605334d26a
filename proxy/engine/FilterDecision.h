#pragma once

class HTTPServiceBody;
class TraceLog;
class FilterDatabase;
class ConfigrationFileSigleton;

/// What a session does after the decision.
struct SessionDecision {
    enum class Action { Relay, Page, End };
    Action action = Action::Relay;
    int page = 0;
    int status = 0;
};

/// The decision on a request already read into body.buffer: IP restriction and
/// policy, the request line, client authentication, the group's switches, the
/// exemptions, the schedule, access control and the URL and extension blocks, in that
/// order. Fills group, url, doBlock, doBlockLog, doAccessLog, filterRequest and
/// filterResponse, and logs blocks; sends nothing. Session thread only.
SessionDecision DecideRequest(HTTPServiceBody& body, const FilterDatabase& db, const ConfigrationFileSigleton& cnf);

/// The body of every session: reads the request, decides and answers it with a page
/// or the relay. Returns when the session has nothing more to send; the caller closes
/// the connection.
void RunFilterDecision(HTTPServiceBody& body, TraceLog& trace);
