// Forwarding a request that passed the decision, and the relay of both directions
// until the response is complete: request edits, phrase chains, decoding of compressed
// bodies for the scan, download size, access log, and the CONNECT tunnel.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigrationFile.h"
#include "engine/BodyDecoder.h"
#include "engine/EngineLimits.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/GroupSettings.h"
#include "filterdb/PhraseChains.h"
#include "log/AccessLogger.h"
#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "platform/SocketSplice.h"

namespace {
using Clock = std::chrono::steady_clock;

// Scanned data keeps its 4 KiB pieces: where a replace filter blanks a phrase that
// spans pieces depends on them. Bytes nobody scans go in large pieces, which saves
// most of the system calls of a large body.
constexpr size_t kPieceSize = 4096;
constexpr size_t kRelayPieceSize = 64u << 10;
// Scanned text is received up to this much at once, and passed on as much per send.
constexpr size_t kScanReadSize = 64u << 10;
// Bytes moved inside the kernel at most at once: the room the pipe is given. Larger
// pieces save rounds but let a single connection wait longer between them.
constexpr size_t kSplicePieceSize = 256u << 10;
constexpr const char* kTunnelAnswer[] = {"HTTP/1.0 200 Connection established\r\n", "Proxy-agent: ZPF HTTPS Proxy\r\n",
                                         "\r\n"};
constexpr std::string_view kIdentityOnly = "Accept-Encoding: identity\r\n";
constexpr std::string_view kConnectionClose = "Connection: close\r\n";

/// One end of the relay as the next stage of a phrase chain.
class SocketSink final : public DataSink {
public:
    SocketSink(platform::SocketHandle s, int waitMs, platform::Event* stop)
        : m_socket(s)
        , m_waitMs(waitMs)
        , m_stop(stop)
    {
    }
    void SetSocket(platform::SocketHandle s) { m_socket = s; }
    bool Write(const char* bytes, size_t length) override
    {
        // A piece a block filter emptied sends nothing.
        if (length == 0)
            return false;
        m_sent += length;
        if (m_gathered) {
            // A chain that held back a long response sends it in large pieces, not whole.
            const bool failed = m_gathered->size() + length > kScanReadSize && Flush();
            m_gathered->append(bytes, length);
            return failed;
        }
        return !platform::SendAll(m_socket, bytes, length, m_waitMs, m_stop);
    }
    /// Sends what was gathered; true on failure.
    bool Flush() override
    {
        if (!m_gathered || m_gathered->empty())
            return false;
        const bool ok = platform::SendAll(m_socket, m_gathered->data(), m_gathered->size(), m_waitMs, m_stop);
        m_gathered->clear();
        return !ok;
    }
    /// While gathering into `into` (null: not), written bytes wait for Flush: the
    /// pieces of one receive go out in one send. Flush before stopping.
    void Gather(std::string* into) { m_gathered = into; }
    /// Bytes written so far.
    uint64_t Sent() const { return m_sent; }

private:
    platform::SocketHandle m_socket;
    uint64_t m_sent = 0;
    std::string* m_gathered = nullptr;
    int m_waitMs;
    platform::Event* m_stop;
};

/// Room for one large receive of scanned text and for what the chain makes of it.
/// Only the threads scanning right now need one, and on a few cores that is a few
/// at a time: a small shared stock serves every session, where one per session
/// would cost memory in proportion to the connections.
struct ScanRoom {
    std::unique_ptr<char[]> received = std::make_unique_for_overwrite<char[]>(kScanReadSize);
    std::string gathered;
};

class ScanRooms {
public:
    /// A room, or null when all are lent: the caller does without.
    std::unique_ptr<ScanRoom> Take()
    {
        const std::lock_guard guard(m_lock);
        if (!m_free.empty()) {
            std::unique_ptr<ScanRoom> room = std::move(m_free.back());
            m_free.pop_back();
            return room;
        }
        if (m_made >= kMaxRooms)
            return nullptr;
        ++m_made;
        auto room = std::make_unique<ScanRoom>();
        room->gathered.reserve(kScanReadSize);
        return room;
    }
    void Give(std::unique_ptr<ScanRoom> room)
    {
        room->gathered.clear();
        const std::lock_guard guard(m_lock);
        m_free.push_back(std::move(room));
    }

private:
    static constexpr int kMaxRooms = 8;
    std::mutex m_lock;
    std::vector<std::unique_ptr<ScanRoom>> m_free;
    int m_made = 0;
};

ScanRooms& scanRooms()
{
    // Never destroyed: a session still running at exit may give its room back.
    static ScanRooms* const rooms = new ScanRooms;
    return *rooms;
}

/// A room for the time of one receive, or none.
class ScanRoomLease {
public:
    ScanRoomLease()
        : m_room(scanRooms().Take())
    {
    }
    ~ScanRoomLease()
    {
        if (m_room)
            scanRooms().Give(std::move(m_room));
    }
    ScanRoomLease(const ScanRoomLease&) = delete;
    ScanRoomLease& operator=(const ScanRoomLease&) = delete;
    ScanRoom* get() const { return m_room.get(); }

private:
    std::unique_ptr<ScanRoom> m_room;
};

bool onlyDigitsAndDots(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

/// Removes every header line named `name` (with its colon) and the folded lines that
/// continue it; headerLength follows.
void removeHeaderField(std::string& buffer, uint32_t& headerLength, std::string_view name)
{
    for (;;) {
        const std::string_view header(buffer.data(), headerLength);
        const size_t found = FindHeaderLine(header, name);
        size_t end = found == std::string_view::npos ? found : header.find('\n', found);
        if (end == std::string_view::npos)
            return;
        while (end + 1 < header.size() && (header[end + 1] == ' ' || header[end + 1] == '\t')) {
            const size_t next = header.find('\n', end + 1);
            if (next == std::string_view::npos)
                break;
            end = next;
        }
        buffer.erase(found, end + 1 - found);
        headerLength -= static_cast<uint32_t>(end + 1 - found);
    }
}

const ConfigrationFileData& groupRecord(const ConfigrationFileSigleton& cnf, int group)
{
    static const ConfigrationFileData kDefaults;
    const ConfigrationFileData* data = GroupSettings(cnf, group);
    return data ? *data : kDefaults;
}

class RelayRun {
public:
    RelayRun(HTTPServiceBody& body, TraceLog& trace)
        : m_body(body)
        , m_trace(trace)
        , m_cnf(*ConfigrationFileSigleton::getInstance())
        , m_data(groupRecord(m_cnf, body.policy.group))
        , m_limits(engineLimits())
        , m_stop(body.eventStop.get())
        , m_serverSink(platform::kInvalidSocket, m_limits.sendWaitMs, m_stop)
        , m_clientSink(body.clientSocket, m_limits.sendWaitMs, m_stop)
    {
    }
    RelayRun(const RelayRun&) = delete;
    RelayRun& operator=(const RelayRun&) = delete;

    ~RelayRun()
    {
        // Held-back data still reaches the client, whatever ended the relay; so does the
        // header of a decoded response whose body brought nothing.
        if (!m_pendingHeader.empty()) {
            if (m_body.policy.filterResponse && m_response.chain)
                m_response.chain->Write(m_pendingHeader.data(), m_pendingHeader.size());
            else
                (void)m_clientSink.Write(m_pendingHeader.data(), m_pendingHeader.size()); // the relay ends anyway
        }
        if (m_body.policy.filterResponse && m_response.chain)
            flushChain();
        m_request = {};
        m_response = {};
        // Closing sends the server our end; a shutdown first would only cost a call.
        if (m_server != platform::kInvalidSocket)
            platform::CloseSocket(m_server);
        m_body.buffer.clear();
        m_body.buffer.shrink_to_fit();
    }

    void Run()
    {
        // A header the server could read otherwise than the decision did is not passed on.
        if (m_body.request.scheme != Scheme::Https &&
            !ForwardableHeader(std::string_view(m_body.buffer).substr(0, m_body.headerLength))) {
            m_trace.Printf("[%3d] Request header not forwardable\r\n", m_body.clientSocket);
            m_body.SendPage(400, 400);
            return;
        }
        if (!connect())
            return;
        const bool tunnel = m_body.request.scheme == Scheme::Https;
        if (tunnel && !m_viaProxy) {
            for (const char* line : kTunnelAnswer) {
                if (!platform::SendAll(m_body.clientSocket, line, std::strlen(line), m_limits.sendWaitMs, m_stop))
                    return;
            }
            m_body.response.isText = false;
            // A client may send its first tunnel bytes with the CONNECT header.
            const std::string_view early =
                std::string_view(m_body.buffer).substr(std::min<size_t>(m_body.headerLength, m_body.buffer.size()));
            if (!early.empty() && !platform::SendAll(m_server, early.data(), early.size(), m_limits.sendWaitMs, m_stop))
                return;
            m_body.buffer.clear();
        } else if (!editRequest() || !sendRequest()) {
            return;
        }
        // A tunnel has no response header to wait for: it is logged once it is open.
        if (tunnel && m_body.policy.doAccessLog)
            logAccess();
        loop();
    }

private:
    int blockStatus() const { return m_data.MessageCode ? 200 : 403; }
    bool stopped() const { return m_stop && m_stop->IsSet(); }

    void debugLine(const char* format, int a, int b = 0)
    {
        if (!DebugFlag())
            return;
        char text[64];
        std::snprintf(text, sizeof text, format, a, b);
        AccessLogger::getInstance().Write(text, false, false);
    }

    /// Logs what each filter recorded since the last call, then forgets it. Returns
    /// whether any filter had matches.
    template <class Filters> bool logMatches(const Filters& filters)
    {
        bool any = false;
        for (auto* filter : filters) {
            MatchRecorder* recorder = filter->Recorder();
            if (!recorder || recorder->Empty())
                continue;
            m_body.LogPhraseMatches(recorder->Matches(), nullptr, &m_trace);
            recorder->Clear();
            any = true;
        }
        return any;
    }

    bool connect()
    {
        // No tunnel data ever passes through a chain.
        if (m_body.request.scheme == Scheme::Https)
            m_body.policy.filterRequest = m_body.policy.filterResponse = false;
        const FilterDatabase& db = FilterDatabase::getInstance();
        const bool doBlock = m_body.policy.doBlock != 0;
        if (m_body.policy.filterRequest)
            m_request = BuildPhraseChain(true, m_body.policy.group, false, doBlock, &m_serverSink, db, m_cnf);
        if (m_body.policy.filterResponse)
            m_response = BuildPhraseChain(false, m_body.policy.group, m_data.FilteringSize != 0, doBlock, &m_clientSink,
                                          db, m_cnf);
        // A chain without filters would only copy the data: such a side goes straight.
        if (m_body.policy.filterRequest && m_request.chain->FilterCount() == 0)
            m_body.policy.filterRequest = false;
        if (m_body.policy.filterResponse && m_response.chain->FilterCount() == 0)
            m_body.policy.filterResponse = false;

        const std::string* proxyHost = &m_cnf.Proxy;
        unsigned proxyPort = m_cnf.ProxyPort;
        if (m_body.request.scheme == Scheme::Ftp) {
            proxyHost = &m_cnf.FTPProxy;
            proxyPort = m_cnf.FTPProxyPort;
        } else if (m_body.request.scheme == Scheme::Https) {
            proxyHost = &m_cnf.HTTPSProxy;
            proxyPort = m_cnf.HTTPSProxyPort;
        }
        m_viaProxy = !proxyHost->empty();
        const std::string& connectHost = m_viaProxy ? *proxyHost : m_body.request.host;
        // A proxy without a port of its own (0) is reached on the request's port.
        const unsigned port = m_viaProxy && proxyPort != 0 ? proxyPort : static_cast<unsigned>(m_body.request.port);

        // A bracketed IPv6 literal is connected to over IPv6; the logs keep IPv4 addresses only.
        const bool ipv6 = connectHost.size() > 2 && connectHost.front() == '[' && connectHost.back() == ']';
        platform::Ipv4Address address{};
        platform::Ipv6Address address6{};
        const bool found = ipv6 ? platform::ParseIpv6(connectHost.substr(1, connectHost.size() - 2), address6)
                           : onlyDigitsAndDots(connectHost) ? platform::ParseDottedIpv4(connectHost, address)
                                                            : platform::ResolveIpv4(connectHost, address);
        if (!found) {
            m_body.SendPage(404, 404);
            return false;
        }
        const int timeoutMs =
            m_cnf.ConnectTimeout > 0 ? static_cast<int>(std::min(m_cnf.ConnectTimeout, 86400u)) * 1000 : -1;
        m_server = ipv6 ? platform::OpenConnection6(address6, port, timeoutMs, m_stop)
                        : platform::OpenConnection(address, port, timeoutMs, m_stop);
        if (m_server == platform::kInvalidSocket)
            return false;
        m_serverSink.SetSocket(m_server);
        if (!ipv6)
            m_body.serverAddress = address;
        return true;
    }

    bool editRequest()
    {
        platform::SetKeepAlive(m_server);
        std::string& buffer = m_body.buffer;
        if (!m_viaProxy) {
            // Credentials meant for this proxy are nothing an origin server should see.
            requestedit::RemoveHeaderLine(buffer, m_body.headerLength, "Proxy-Authorization:");
            const RequestLine& request = m_body.request;
            const std::string line = request.method + " " + request.path + " " + request.version + "\r\n";
            requestedit::ReplaceRequestLine(buffer, m_body.headerLength, line);
        } else if (!m_cnf.ProxyUsername.empty() && !m_body.AddUpstreamAuthorization()) {
            m_body.SendPage(400, 400);
            return false;
        }
        requestedit::DowngradeVersion(buffer);
        bool edited = true;
        if (m_body.request.scheme != Scheme::Https) {
            // One request per connection: a kept-alive server connection would carry a
            // client's next request past the decision.
            requestedit::RemoveHeaderLine(buffer, m_body.headerLength, "Proxy-Connection:");
            requestedit::RemoveHeaderLine(buffer, m_body.headerLength, "Keep-Alive:");
            edited = requestedit::ReplaceHeaderLines(buffer, m_body.headerLength, "Connection:", kConnectionClose) &&
                     requestedit::ReplaceHeaderLines(buffer, m_body.headerLength, "Host:", hostLine());
            // Exactly the request that was checked: what the client sent behind it is
            // never forwarded.
            const uint64_t body = static_cast<uint64_t>(
                std::max<int64_t>(0, ContentLengthOf(std::string_view(buffer).substr(0, m_body.headerLength))));
            const uint64_t have = buffer.size() - m_body.headerLength;
            if (have > body)
                buffer.resize(m_body.headerLength + body);
            m_bodyLeft = body - std::min(have, body);
        }
        // A phrase scan of compressed bytes finds nothing: ask for the plain body when
        // the response is going to be scanned.
        if (m_body.policy.filterResponse)
            edited = edited &&
                     requestedit::ReplaceHeaderLines(buffer, m_body.headerLength, "Accept-Encoding:", kIdentityOnly);
        if (!edited) {
            m_body.SendPage(400, 400);
            return false;
        }
        m_trace.Printf("[%3d] zpf to Server\r\n", m_body.clientSocket);
        m_trace.WriteBytes(buffer.data(), 1, buffer.size());
        return true;
    }

    /// The Host line of the absolute URL: the server serves the host that was checked.
    std::string hostLine() const
    {
        const RequestLine& request = m_body.request;
        const int defaultPort = request.scheme == Scheme::Ftp ? 21 : 80;
        std::string line = "Host: " + request.host;
        if (request.portWritten && request.port != defaultPort)
            line += ":" + std::to_string(request.port);
        return line + "\r\n";
    }

    bool sendRequest()
    {
        std::string& buffer = m_body.buffer;
        bool ok = true;
        if (!m_body.policy.filterRequest) {
            ok = platform::SendAll(m_server, buffer.data(), buffer.size(), m_limits.sendWaitMs, m_stop);
        } else {
            m_request.chain->Write(buffer.data(), buffer.size());
            if (logMatches(m_request.blockFilters) && m_body.policy.doBlock) {
                if (m_data.MessageFlag)
                    m_body.SendPage(904, blockStatus());
                return false;
            }
            logMatches(m_request.replaceFilters);
            ok = !m_request.chain->Flush();
        }
        // From here on the buffer collects what the server sends.
        buffer.clear();
        m_body.ReleaseRequestBytes();
        return ok;
    }

    void loop()
    {
        const bool tunnel = m_body.request.scheme == Scheme::Https;
        m_headerDone = tunnel;
        Clock::time_point lastData = Clock::now();
        const platform::SocketHandle sockets[2] = {m_server, m_body.clientSocket};
        while (!stopped()) {
            if (responseComplete() || downloadLimitReached())
                return;
            if (filteringSizeReached()) {
                m_body.policy.filterResponse = false;
                if (flushChain())
                    return;
            }
            bool ready[2] = {false, false};
            const platform::WaitStatus w = platform::WaitAnyReadable(sockets, ready, 2, m_limits.relayWaitMs, m_stop);
            debugLine("select() returned %d.\n", w == platform::WaitStatus::Ready      ? int(ready[0]) + int(ready[1])
                                                 : w == platform::WaitStatus::TimedOut ? 0
                                                                                       : -1);
            if (w == platform::WaitStatus::Stopped || w == platform::WaitStatus::Failed)
                return;
            if (w == platform::WaitStatus::TimedOut) {
                if (m_cnf.SleepTime >= 0)
                    pause(m_cnf.SleepTime);
                // Both sides silent for the whole idle time: nobody is waiting any more.
                const int idleMs = tunnel ? m_limits.tunnelIdleMs : m_limits.relayIdleMs;
                if (Clock::now() - lastData >= std::chrono::milliseconds(idleMs))
                    return;
                continue;
            }
            lastData = Clock::now();
            if (ready[0] && !fromServer())
                return;
            if (ready[1] && !fromClient())
                return;
        }
    }

    void pause(int ms)
    {
        if (m_stop)
            m_stop->Wait(ms);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

    /// Whether what the server sends next passes through a filter or the decoder.
    bool responseScanned() const
    {
        return !m_headerDone || m_decoder || (m_body.policy.filterResponse && m_body.response.isText);
    }

    /// The buffer of bytes nobody scans, made when first needed: most responses that
    /// are scanned never need it, and a 64 KiB array on every session's stack costs
    /// memory and cache for nothing.
    char* largePiece()
    {
        if (!m_largePiece)
            m_largePiece = std::make_unique_for_overwrite<char[]>(kRelayPieceSize);
        return m_largePiece.get();
    }

    /// Whether bytes that nobody looks at can go from socket to socket in the kernel:
    /// not while the trace keeps a copy of them.
    bool splicing(const platform::SocketSplice& splice) const { return splice.Usable() && !m_trace.IsActive(); }

    /// fromServer for bytes nobody scans, moved inside the kernel; false ends the relay.
    /// While the pieces come full, more is likely waiting: it is taken without a wait.
    bool spliceFromServer()
    {
        for (;;) {
            size_t most = kSplicePieceSize;
            if (m_data.DownloadSize > 0)
                most =
                    static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(most), m_data.DownloadSize - m_bodyOut));
            const long n = m_toClient.Take(m_server, most);
            if (n == platform::kNothingYet)
                return true; // the wait comes round again (or the plain relay takes over)
            if (n <= 0)
                return false;
            m_received += n;
            debugLine("[%3d]recv() returned %d.\n", m_body.clientSocket, static_cast<int>(n));
            m_bodyOut += n;
            m_firstPiece = false;
            if (!m_toClient.Give(m_body.clientSocket, m_limits.sendWaitMs, m_stop))
                return false;
            if (m_data.DownloadSize > 0 && m_bodyOut >= m_data.DownloadSize)
                return false;
            const bool complete =
                m_body.response.length >= 0 && m_received - m_body.response.headerLength >= m_body.response.length;
            if (static_cast<size_t>(n) < most || complete || stopped())
                return true; // the relay's loop decides what comes next
        }
    }

    /// fromServer for plain text that is scanned, past its header: one receive takes
    /// what has arrived, and the chain gets it in the pieces one receive per piece
    /// would have brought, so it finds and blanks exactly what it would have. Between
    /// pieces come the checks the relay's loop makes between receives.
    bool scannedFromServer(ScanRoom& room)
    {
        char* const bytes = room.received.get();
        const long n = platform::Receive(m_server, bytes, kScanReadSize);
        if (n <= 0)
            return false;
        debugLine("[%3d]recv() returned %d.\n", m_body.clientSocket, static_cast<int>(n));
        m_clientSink.Gather(&room.gathered);
        const bool ok = scanPieces(bytes, static_cast<size_t>(n));
        const bool failed = m_clientSink.Flush();
        m_clientSink.Gather(nullptr);
        return !failed && ok;
    }

    /// Lets the response chain pass on everything it holds, gathered into large
    /// sends where a room is free; true when the client could not take it.
    bool flushChain()
    {
        const ScanRoomLease lease;
        if (lease.get())
            m_clientSink.Gather(&lease.get()->gathered);
        const bool failed = m_response.chain->Flush();
        m_clientSink.Gather(nullptr);
        return failed;
    }

    /// The pieces of scannedFromServer; false ends the relay.
    bool scanPieces(const char* bytes, size_t total)
    {
        for (size_t at = 0; at < total;) {
            if (stopped() || responseComplete() || downloadLimitReached())
                return true; // the relay's loop ends
            if (!m_body.policy.filterResponse || !m_body.response.isText) {
                // The scan has ended: the rest goes as one piece, after what the chain passed.
                if (m_clientSink.Flush())
                    return false;
                m_received += static_cast<int64_t>(total - at);
                return passPiece(bytes + at, total - at, 0);
            }
            if (filteringSizeReached()) {
                m_body.policy.filterResponse = false;
                if (m_response.chain->Flush())
                    return false;
                continue;
            }
            const size_t length = std::min(kPieceSize, total - at);
            m_received += static_cast<int64_t>(length);
            if (!passPiece(bytes + at, length, 0))
                return false;
            at += length;
        }
        return true;
    }

    bool responseComplete() const
    {
        return m_headerDone && m_body.response.length >= 0 &&
               m_received - m_body.response.headerLength >= m_body.response.length;
    }
    bool downloadLimitReached() const { return m_data.DownloadSize > 0 && m_bodyOut >= m_data.DownloadSize; }
    /// The response has been scanned as far as the group scans.
    bool filteringSizeReached() const
    {
        return m_body.policy.filterResponse && m_data.FilteringSize != 0 && m_headerDone &&
               m_bodyOut >= m_data.FilteringSize;
    }

    /// One receive from the server and what follows from it; false ends the relay.
    bool fromServer()
    {
        if (!responseScanned() && splicing(m_toClient))
            return spliceFromServer();
        if (m_headerDone && !m_decoder && m_body.policy.filterResponse && m_body.response.isText) {
            const ScanRoomLease lease;
            if (lease.get())
                return scannedFromServer(*lease.get());
            // Every room is in use: this receive takes one piece.
        }
        char small[kPieceSize];
        const bool scanned = responseScanned();
        char* const chunk = scanned ? small : largePiece();
        long n = platform::Receive(m_server, chunk, scanned ? kPieceSize : kRelayPieceSize);
        if (n <= 0)
            return false;
        m_received += n;
        debugLine("[%3d]recv() returned %d.\n", m_body.clientSocket, static_cast<int>(n));

        const char* piece = chunk;
        size_t length = static_cast<size_t>(n);
        size_t bodyStart = 0;
        if (!m_headerDone) {
            if (!collectHeader(chunk, length))
                return false;
            m_headerDone = true;
            piece = m_body.buffer.data();
            length = m_body.buffer.size();
            bodyStart = m_body.response.headerLength;
            if (m_body.response.isText && m_body.policy.doAccessLog)
                logAccess();
            // Only a length the server announces is refused up front; any other body is
            // counted as it passes.
            if (m_data.DownloadSize > 0 && m_body.response.length > m_data.DownloadSize) {
                if (m_data.MessageFlag)
                    m_body.SendPage(906, blockStatus());
                m_body.policy.filterResponse = false; // nothing of the response goes out
                return false;
            }
            if (m_body.policy.filterResponse && m_body.response.isText) {
                const BodyEncoding coding = EncodingOf(m_body.response.contentEncoding);
                if (coding == BodyEncoding::Unsupported) {
                    refuseUnreadable();
                    return false;
                }
                if (coding != BodyEncoding::Identity) {
                    m_trace.WriteBytes(piece, 1, length);
                    return startDecoding(coding);
                }
            }
        }
        if (m_decoder) {
            m_trace.WriteBytes(piece, 1, length);
            return decode(piece, length);
        }
        const bool ok = passPiece(piece, length, bodyStart);
        if (piece != chunk)
            m_body.buffer.clear();
        return ok;
    }

    /// Passes a piece of the response (its header first when bodyStart is past it) on
    /// to the client, through the chain when the response is scanned; false ends the
    /// relay.
    bool passPiece(const char* piece, size_t length, size_t bodyStart)
    {
        // The client gets at most DownloadSize body bytes (for a tunnel: bytes from the server).
        const bool last =
            m_data.DownloadSize > 0 && m_bodyOut + static_cast<int64_t>(length - bodyStart) >= m_data.DownloadSize;
        if (last)
            length = bodyStart + static_cast<size_t>(m_data.DownloadSize - m_bodyOut);
        m_bodyOut += static_cast<int64_t>(length - bodyStart);
        m_trace.WriteBytes(piece, 1, length);

        bool ok = true;
        if (m_body.policy.filterResponse && m_body.response.isText) {
            m_response.chain->Write(piece, length);
            logMatches(m_response.replaceFilters);
            if (logMatches(m_response.blockFilters) && m_body.policy.doBlock) {
                // Nothing of the response has reached the client when the block came in
                // its first piece or while the chain held the response back.
                if ((m_firstPiece || m_data.FilteringSize != 0) && m_data.MessageFlag)
                    m_body.SendPage(901, blockStatus());
                m_body.policy.filterResponse = false;
                return false;
            }
            ok = !m_response.chain->SinkFailed();
        } else if (length > 0) {
            ok = platform::SendAll(m_body.clientSocket, piece, length, m_limits.sendWaitMs, m_stop);
        }
        m_firstPiece = false;
        return ok && !last;
    }

    /// Starts decoding a compressed response that is going to be scanned: the client
    /// gets the decoded body, so the header loses its coding and its length (the
    /// connection's end delimits the body). False ends the relay.
    bool startDecoding(BodyEncoding coding)
    {
        std::string& buffer = m_body.buffer;
        uint32_t headerLength = m_body.response.headerLength;
        removeHeaderField(buffer, headerLength, "Content-Encoding:");
        removeHeaderField(buffer, headerLength, "Content-Length:");
        // The header waits for the first decoded bytes, so that a block in them still
        // finds nothing sent.
        m_pendingHeader.assign(buffer, 0, headerLength);
        uint64_t bound = m_limits.maxDecodedBytes;
        if (m_data.FilteringSize > 0)
            bound = std::min(bound, static_cast<uint64_t>(m_data.FilteringSize));
        m_decoder = std::make_unique<BodyDecoder>(coding, bound);
        const bool ok = decode(buffer.data() + headerLength, buffer.size() - headerLength);
        buffer.clear();
        return ok;
    }

    /// Decodes a piece of a compressed body and passes what comes out on; false ends
    /// the relay.
    bool decode(const char* bytes, size_t length)
    {
        bool blocked = false;
        const BodyDecoder::Result result = m_decoder->Feed(
            bytes, length, [this, &blocked](const char* out, size_t n) { return passDecoded(out, n, blocked); });
        switch (result) {
        case BodyDecoder::Result::Ok:
            return true;
        case BodyDecoder::Result::Stopped:
            if (blocked)
                refuse(901);
            return false;
        case BodyDecoder::Result::TooLarge:
            // A bomb, or a page larger than the group scans: it is not passed on
            // unscanned. The client gets page 906 when nothing has gone out yet.
            refuse(906);
            return false;
        case BodyDecoder::Result::Corrupt:
            refuseUnreadable();
            return false;
        }
        return false;
    }

    /// Passes decoded body bytes on as a piece from the server would go; false stops
    /// the decoding (a block, a failed send, or DownloadSize reached).
    bool passDecoded(const char* out, size_t n, bool& blocked)
    {
        const bool last = m_data.DownloadSize > 0 && m_bodyOut + static_cast<int64_t>(n) >= m_data.DownloadSize;
        if (last)
            n = static_cast<size_t>(m_data.DownloadSize - m_bodyOut);
        m_bodyOut += static_cast<int64_t>(n);
        std::string joined;
        if (!m_pendingHeader.empty()) {
            joined = std::move(m_pendingHeader);
            m_pendingHeader.clear();
            joined.append(out, n);
            out = joined.data();
            n = joined.size();
        }
        bool ok = true;
        if (m_body.policy.filterResponse) {
            m_response.chain->Write(out, n);
            logMatches(m_response.replaceFilters);
            if (logMatches(m_response.blockFilters) && m_body.policy.doBlock) {
                blocked = true;
                return false;
            }
            ok = !m_response.chain->SinkFailed();
        } else {
            ok = !m_clientSink.Write(out, n);
        }
        return ok && !last;
    }

    /// A scanned response whose body cannot be read (a coding not decoded here, or
    /// damaged data) is refused like a phrase block, and logged as one.
    void refuseUnreadable()
    {
        if (m_body.policy.doBlockLog)
            AccessLogger::getInstance().WriteAccess(m_body.ClientAddress(), m_body.request.url, "(Encoding Block)", {},
                                                    m_body.policy.group, true, true, &m_trace);
        refuse(901);
    }

    /// Ends a response that may not go out as it is: page `page` when nothing of it has
    /// reached the client yet, and what the chain still holds is dropped.
    void refuse(int page)
    {
        if (m_clientSink.Sent() == 0 && m_data.MessageFlag)
            m_body.SendPage(page, blockStatus());
        m_pendingHeader.clear();
        m_body.policy.filterResponse = false;
    }

    /// Gathers the response header into buffer, starting with the first piece.
    bool collectHeader(const char* first, size_t length)
    {
        m_trace.Printf("[%3d] Server to zpf\r\n", m_body.clientSocket);
        std::string& buffer = m_body.buffer;
        buffer.assign(first, length);
        char chunk[kPieceSize];
        while (!m_body.AnalyzeResponseHeader(buffer)) {
            if (buffer.size() > m_limits.maxResponseHeaderBytes)
                return false;
            if (platform::WaitReadable(m_server, m_limits.relayWaitMs, m_stop) != platform::WaitStatus::Ready)
                return false;
            long n = platform::Receive(m_server, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_received += n;
            buffer.append(chunk, static_cast<size_t>(n));
        }
        return true;
    }

    void logAccess()
    {
        AccessLogger::getInstance().WriteAccess(m_body.ClientAddress(), m_body.request.url, "", {}, m_body.policy.group,
                                                true, true, &m_trace);
    }

    /// One receive from the client, passed on to the server; false ends the relay.
    bool fromClient()
    {
        // A tunnel's bytes go through untouched; a request body is cut where it ends,
        // which needs the bytes in hand.
        if (m_body.request.scheme == Scheme::Https && !m_body.policy.filterRequest && splicing(m_toServer)) {
            const long n = m_toServer.Take(m_body.clientSocket, kSplicePieceSize);
            if (n == platform::kNothingYet)
                return true;
            m_body.clientQuiet = false;
            return n > 0 && m_toServer.Give(m_server, m_limits.sendWaitMs, m_stop);
        }
        char small[kPieceSize];
        const bool scanned = m_body.policy.filterRequest;
        char* const chunk = scanned ? small : largePiece();
        long n = platform::Receive(m_body.clientSocket, chunk, scanned ? kPieceSize : kRelayPieceSize);
        m_body.clientQuiet = false;
        if (n <= 0)
            return false;
        if (m_body.request.scheme != Scheme::Https) {
            // Only the rest of the checked request's body; a next request is dropped.
            n = static_cast<long>(std::min<uint64_t>(static_cast<uint64_t>(n), m_bodyLeft));
            m_bodyLeft -= static_cast<uint64_t>(n);
            if (n == 0)
                return true;
        }
        if (m_body.policy.filterRequest) {
            m_request.chain->Write(chunk, static_cast<size_t>(n));
            logMatches(m_request.blockFilters);
            logMatches(m_request.replaceFilters);
            return !m_request.chain->Flush();
        }
        return platform::SendAll(m_server, chunk, static_cast<size_t>(n), m_limits.sendWaitMs, m_stop);
    }

    HTTPServiceBody& m_body;
    TraceLog& m_trace;
    const ConfigrationFileSigleton& m_cnf;
    const ConfigrationFileData& m_data;
    const EngineLimits& m_limits;
    platform::Event* m_stop;
    platform::SocketHandle m_server = platform::kInvalidSocket;
    bool m_viaProxy = false;
    SocketSink m_serverSink;
    SocketSink m_clientSink;
    PhraseChain m_request;
    PhraseChain m_response;
    int64_t m_received = 0; // bytes from the server
    int64_t m_bodyOut = 0; // body bytes passed on to the client (decoded ones when decoding)
    std::unique_ptr<BodyDecoder> m_decoder; // set for a compressed response that is scanned
    std::string m_pendingHeader; // a decoded response's header, until its first body bytes
    std::unique_ptr<char[]> m_largePiece; // see largePiece()
    platform::SocketSplice m_toClient; // bytes nobody scans, server to client
    platform::SocketSplice m_toServer; // tunnel bytes, client to server
    uint64_t m_bodyLeft = 0; // request body bytes the client has still to send
    bool m_headerDone = false;
    bool m_firstPiece = true;
};
} // namespace

void HTTPServiceBody::Relay(TraceLog& traceLog)
{
    RelayRun run(*this, traceLog);
    run.Run();
}
