// The sessions by client address, and the ones still waiting for their header.
#include "engine/SessionTable.h"

#include <algorithm>
#include <cstring>

namespace {
uint32_t keyOf(const platform::Ipv4Address& address)
{
    uint32_t key = 0;
    std::memcpy(&key, address.data(), sizeof key);
    return key;
}
} // namespace

SessionTable::SessionTable(int perClient)
    : m_perClient(std::max(1, perClient))
{
}

bool SessionTable::Admit(const platform::Ipv4Address* client, platform::SocketHandle s, Ticket& ticket)
{
    const std::lock_guard guard(m_lock);
    ticket.socket = s;
    ticket.ended = false;
    if (client) {
        int& held = m_byClient[keyOf(*client)];
        if (held >= m_perClient)
            return false;
        ++held;
        ticket.client = keyOf(*client);
        ticket.counted = true;
    }
    ticket.position = m_waiting.insert(m_waiting.end(), &ticket);
    ticket.waiting = true;
    return true;
}

void SessionTable::HeaderArrived(Ticket& ticket)
{
    const std::lock_guard guard(m_lock);
    if (ticket.waiting) {
        m_waiting.erase(ticket.position);
        ticket.waiting = false;
    }
}

void SessionTable::Release(Ticket& ticket)
{
    const std::lock_guard guard(m_lock);
    if (ticket.waiting) {
        m_waiting.erase(ticket.position);
        ticket.waiting = false;
    }
    if (ticket.counted) {
        const auto it = m_byClient.find(ticket.client);
        if (it != m_byClient.end() && --it->second <= 0)
            m_byClient.erase(it);
        ticket.counted = false;
    }
    if (ticket.ended) {
        --m_ending;
        ticket.ended = false;
    }
    ticket.socket = platform::kInvalidSocket;
}

bool SessionTable::EndLongestWaiting(const Ticket* spare)
{
    const std::lock_guard guard(m_lock);
    for (Ticket* oldest : m_waiting) {
        if (oldest == spare)
            continue;
        m_waiting.erase(oldest->position);
        oldest->waiting = false;
        oldest->ended = true;
        ++m_ending;
        // Under the lock the socket is still open: its session closes it only after
        // Release, which waits for this lock.
        platform::ShutdownSocket(oldest->socket, platform::ShutdownHow::Receive);
        return true;
    }
    return false;
}

bool SessionTable::WasEnded(const Ticket& ticket) const
{
    const std::lock_guard guard(m_lock);
    return ticket.ended;
}

int SessionTable::Ending() const
{
    const std::lock_guard guard(m_lock);
    return m_ending;
}

int SessionTable::HeldBy(const platform::Ipv4Address& client) const
{
    const std::lock_guard guard(m_lock);
    const auto it = m_byClient.find(keyOf(client));
    return it == m_byClient.end() ? 0 : it->second;
}
