// Socket helpers over the POSIX socket calls.
#include "platform/Socket.h"

#include <sys/socket.h>

#include <cstring>

namespace platform {

bool PeerAddress(int socket, in_addr* out)
{
    sockaddr_storage addr;
    socklen_t len = sizeof addr;
    std::memset(&addr, 0, sizeof addr);
    if (!out || ::getpeername(socket, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    if (addr.ss_family == AF_INET && len >= sizeof(sockaddr_in)) {
        *out = reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr;
        return true;
    }
    if (addr.ss_family == AF_INET6 && len >= sizeof(sockaddr_in6)) {
        const in6_addr& a6 = reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a6)) {
            std::memcpy(&out->s_addr, a6.s6_addr + 12, 4);
            return true;
        }
    }
    return false;
}

} // namespace platform
