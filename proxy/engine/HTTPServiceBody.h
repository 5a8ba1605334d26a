#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ProxyAuth.h"
#include "engine/SessionTable.h"
#include "filterdb/PhraseFilter.h"
#include "platform/Event.h"
#include "platform/Socket.h"

class TraceLog;
struct SessionStart;

/// The kind of request, as its request line shows it; the value indexes kSchemeNames.
enum class Scheme : int {
    Unknown = -1,
    Http = 0,
    Ftp = 1,
    Https = 2, ///< CONNECT: a tunnel
};

/// The request line as ParseRequestLine splits it, and the URL the lists see.
struct RequestLine {
    Scheme scheme = Scheme::Unknown;
    std::string method;
    std::string host;
    int port = 80;
    bool portWritten = false; ///< the URL names its port
    std::string path;
    std::string version;
    std::string url; ///< scheme name, "://", host and path; made by the decision
};

/// What the decision settled from the group's settings and the lists.
struct SessionPolicy {
    int group = 0;
    bool filterRequest = true;
    bool filterResponse = true;
    int doBlock = 0;
    int doBlockLog = 0;
    int doAccessLog = 0;
};

/// The server's response header as AnalyzeResponseHeader reads it.
struct ResponseInfo {
    uint32_t headerLength = 0;
    int32_t length = -1; ///< Content-Length; -1 when unknown
    std::string contentType;
    std::string contentEncoding; ///< every Content-Encoding line's value, joined by ", "
    std::string statusText;
    bool isText = true; ///< a type the browser shows or runs as text: the response is scanned
};

/// The state of one client connection. Built on the session thread from its
/// SessionStart record and used only by that thread.
class HTTPServiceBody {
public:
    explicit HTTPServiceBody(SessionStart& start);
    /// A body on a socket of the caller's (tests and tools); stop may be null.
    HTTPServiceBody(platform::SocketHandle socket, std::shared_ptr<platform::Event> stop);
    ~HTTPServiceBody();
    HTTPServiceBody(const HTTPServiceBody&) = delete;
    HTTPServiceBody& operator=(const HTTPServiceBody&) = delete;

    /// Reads one request, header and body, into buffer. Returns headerLength, or 0
    /// when no complete header arrived (silence for the read wait, the client closed,
    /// the stop event, or a request over the size bounds; see requestTooLarge and
    /// requestsFull).
    int ReadRequest(TraceLog& trace);
    /// Gives back the bytes of the request counted against the bound of all sessions
    /// (the relay does once the request is sent; the destructor does anyway).
    void ReleaseRequestBytes();
    /// Splits the request line of buffer into request. Returns false when it is not a
    /// proxy request this program serves.
    bool ParseRequestLine();

    /// Sends page file `page` with `status` for the session's group.
    void SendPage(int page, int status);

    /// Records one block decision: runs ProgramIfMatch, writes the block line when
    /// doBlockLog is set and the access line when doAccessLog is set.
    void LogBlock(const char* tag, const std::vector<unsigned>& matched);
    /// Records the matches of one phrase matcher; tag (may be null) replaces the
    /// phrase as the logged reason. Returns whether there was any match.
    bool LogPhraseMatches(std::span<const PhraseMatch> matches, const char* tag, TraceLog* trace);

    /// Checks the client's Basic proxy credentials against the accounts. Sets group to
    /// the account's group (0 when refused, or when the account names a group that
    /// does not exist).
    AuthResult CheckProxyAuthorization();
    /// Puts the upstream proxy's credentials (ProxyUsername, ProxyPassword) into the
    /// request header, replacing a Proxy-Authorization line there or adding one as the
    /// last header line; headerLength follows. False when the header cannot be edited.
    bool AddUpstreamAuthorization();

    /// Forwards the request that passed the decision to the server or the upstream
    /// proxy and relays both directions until the response is complete, a side
    /// closes, a block, or the stop event. The caller closes the client connection.
    void Relay(TraceLog& trace);

    /// Analyses the response header at the start of received into response. Returns
    /// false while the header is not complete yet.
    bool AnalyzeResponseHeader(std::string_view received);

    /// The client's address for the IP checks and the logs, asked of the kernel only
    /// the first time; null when it cannot be read.
    const platform::Ipv4Address* ClientAddress();

    std::shared_ptr<platform::Event> eventStop;
    platform::SocketHandle clientSocket = platform::kInvalidSocket;
    /// Where the relay connected, once it has.
    std::optional<platform::Ipv4Address> serverAddress;
    /// The request as read; during the relay, what the server sends.
    std::string buffer;
    uint32_t headerLength = 0;
    /// Set by ReadRequest when the request passed the size bounds.
    bool requestTooLarge = false;
    /// Set by ReadRequest when the requests of all sessions together hold the most
    /// bytes allowed.
    bool requestsFull = false;
    /// Set by ReadRequest when the session was ended, still waiting for its header,
    /// to make room for a new connection.
    bool endedForRoom = false;
    /// True while the client has sent exactly one whole request and nothing after it:
    /// such a client is waiting for its answer, so the connection may be closed
    /// without waiting for the client to close first. Set by ReadRequest, cleared
    /// when anything more arrives.
    bool clientQuiet = false;

    RequestLine request;
    SessionPolicy policy;
    ResponseInfo response;

    /// The session's header trace; set by the session thread.
    TraceLog* trace = nullptr;

private:
    SessionTable* m_table = nullptr; // with m_ticket: the listener's table, if any
    SessionTable::Ticket* m_ticket = nullptr;
    std::optional<platform::Ipv4Address> m_clientAddress;
    bool m_clientAsked = false;
    size_t m_heldBytes = 0; // of this session's request, counted against the shared bound
};

/// Bytes of requests read and not yet sent, all sessions together.
size_t HeldRequestBytes();

/// Scheme names by Scheme: "http", "ftp", "https".
extern const char* const kSchemeNames[3];

/// Where a request header ends: the length of the header with its terminating empty
/// line ("\r\n\r\n", "\r\r" or "\n\n", the first position where one begins, the
/// table order deciding at one position), or 0 when none is complete yet. Positions
/// before `from` are known not to start one.
size_t FindHeaderEnd(std::string_view data, size_t from = 0);

/// The value of the header's Content-Length line (name in any case, at the start of
/// a line), read as atoi reads it; 0 without one. A value beyond the range of a
/// 64-bit number gives INT64_MAX.
int64_t ContentLengthOf(std::string_view header);

/// Reads a number as the C format "%i" does (blanks, sign, "0x" hexadecimal, leading
/// "0" octal) from the start of text. Returns false when no digit can be read or the
/// number does not fit an int.
bool ScanInteger(std::string_view text, int& value);
