#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>

#include "platform/Socket.h"

/// Who holds the sessions: how many each client address holds, and which of them
/// still wait for their request header, oldest first. One client must not deny
/// everyone else: it holds at most its share, and when the whole table is full the
/// session that has waited longest for its header makes room for a new one.
/// Any thread; every operation takes the table's lock.
class SessionTable {
public:
    /// One admitted connection. Owned by its session and kept at one address from
    /// Admit to Release.
    class Ticket {
    public:
        Ticket() = default;
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

    private:
        friend class SessionTable;
        platform::SocketHandle socket = platform::kInvalidSocket;
        uint32_t client = 0;
        bool counted = false; // counted against the client's share
        bool waiting = false; // listed as waiting for its header
        bool ended = false; // told to end to make room
        std::list<Ticket*>::iterator position;
    };

    /// perClient: the sessions one address may hold (below 1 counts as 1).
    explicit SessionTable(int perClient = kDefaultPerClient);
    static constexpr int kDefaultPerClient = 256;
    SessionTable(const SessionTable&) = delete;
    SessionTable& operator=(const SessionTable&) = delete;

    /// Admits a connection on socket s from client (null: an address not known, which
    /// is not counted) as waiting for its header. False, admitting nothing, when that
    /// address holds its share already.
    bool Admit(const platform::Ipv4Address* client, platform::SocketHandle s, Ticket& ticket);
    /// The session's header has arrived: it is no longer a candidate to make room.
    void HeaderArrived(Ticket& ticket);
    /// The session ends (before its socket is closed). Admitted or not, any state.
    void Release(Ticket& ticket);
    /// Ends the session that has waited longest for its header, other than `spare`
    /// (may be null): its socket stops receiving, so its read ends at once. False
    /// when no other session waits.
    bool EndLongestWaiting(const Ticket* spare);
    /// Whether the session was ended to make room.
    bool WasEnded(const Ticket& ticket) const;
    /// Sessions ended to make room that have not been released yet.
    int Ending() const;
    /// Sessions the address holds now.
    int HeldBy(const platform::Ipv4Address& client) const;

private:
    mutable std::mutex m_lock;
    const int m_perClient;
    std::unordered_map<uint32_t, int> m_byClient;
    std::list<Ticket*> m_waiting; // oldest first
    int m_ending = 0;
};
