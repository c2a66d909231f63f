#include "netkit/Socks.h"

#include "platform/NetworkInterfaces.h"

#include <algorithm>
#include <vector>

namespace NetKit {
namespace Socks {

int get_loc_ips(std::array<std::uint32_t, 20>& ips) {
    std::vector<std::uint32_t> outside;
    std::vector<std::uint32_t> loopback;
    for (const platform::Ipv4Interface& i : platform::UpIpv4Interfaces()) {
        auto& group = i.loopback ? loopback : outside;
        if (i.address != 0 && std::find(group.begin(), group.end(), i.address) == group.end())
            group.push_back(i.address);
    }
    outside.insert(outside.end(), loopback.begin(), loopback.end());
    const std::size_t n = std::min(outside.size(), ips.size());
    std::copy_n(outside.begin(), n, ips.begin());
    return static_cast<int>(n);
}

} // namespace Socks
} // namespace NetKit
