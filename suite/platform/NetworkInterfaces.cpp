#include "platform/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform {

std::vector<Ipv4Interface> UpIpv4Interfaces() {
    std::vector<Ipv4Interface> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        out.push_back({ntohl(in->sin_addr.s_addr), (a->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(list);
    return out;
}

} // namespace platform
