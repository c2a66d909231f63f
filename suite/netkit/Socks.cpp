#include "netkit/Socks.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <vector>

namespace NetKit {
namespace Socks {

int get_loc_ips(std::array<std::uint32_t, 20>& ips) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return 0;
    std::vector<std::uint32_t> outside;
    std::vector<std::uint32_t> loopback;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        const std::uint32_t ip = ntohl(in->sin_addr.s_addr);
        auto& group = (a->ifa_flags & IFF_LOOPBACK) ? loopback : outside;
        if (ip != 0 && std::find(group.begin(), group.end(), ip) == group.end())
            group.push_back(ip);
    }
    ::freeifaddrs(list);
    outside.insert(outside.end(), loopback.begin(), loopback.end());
    const std::size_t n = std::min(outside.size(), ips.size());
    std::copy_n(outside.begin(), n, ips.begin());
    return static_cast<int>(n);
}

} // namespace Socks
} // namespace NetKit
