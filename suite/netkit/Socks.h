#pragma once

#include <array>
#include <cstdint>

namespace NetKit {
namespace Socks {

// Fills the list (20 entries, all zero on entry) with the machine's own IPv4 addresses, in
// host byte order (a.b.c.d is a<<24|b<<16|c<<8|d), from the start; returns how many.
// Addresses of interfaces that are up come first, loopback addresses last, each address once.
int get_loc_ips(std::array<std::uint32_t, 20>& ips);

} // namespace Socks
} // namespace NetKit
