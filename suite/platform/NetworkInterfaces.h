#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct Ipv4Interface {
    std::uint32_t address = 0; // in host byte order
    bool loopback = false;
};

// The IPv4 addresses of the network interfaces that are up, in the system's order; empty when
// they cannot be listed.
std::vector<Ipv4Interface> UpIpv4Interfaces();

} // namespace platform
