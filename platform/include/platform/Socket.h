#pragma once

#include <netinet/in.h>

namespace platform {

/// The IPv4 address of the peer of a connected socket, in network byte order. A peer
/// seen through an IPv6 socket as an IPv4-mapped address gives its IPv4 address.
/// Returns false when there is no such peer (not a socket, not connected, or another
/// address family); *out is then unchanged. Any thread.
bool PeerAddress(int socket, in_addr* out);

} // namespace platform
