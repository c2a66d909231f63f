#include "netkit/Socks.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

std::uint32_t Parse(const std::string& dotted) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return 0;
    return a << 24 | b << 16 | c << 8 | d;
}

} // namespace

TEST(GetLocIps, FillsFromTheStartWithDistinctAddressesAndLeavesTheRestZero) {
    std::array<std::uint32_t, 20> ips{};
    const int n = NetKit::Socks::get_loc_ips(ips);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 20);
    std::set<std::uint32_t> seen;
    for (int i = 0; i < n; ++i) {
        EXPECT_NE(ips[static_cast<std::size_t>(i)], 0u);
        EXPECT_TRUE(seen.insert(ips[static_cast<std::size_t>(i)]).second) << "address listed twice";
    }
    for (std::size_t i = static_cast<std::size_t>(n); i < ips.size(); ++i)
        EXPECT_EQ(ips[i], 0u);
}

TEST(GetLocIps, ListsWhatTheIpToolReportsInHostOrderWithLoopbackLast) {
    const auto r = qmtest::RunProgram("/usr/sbin/ip", {"-o", "-4", "addr", "show", "up"});
    if (!r.started || r.exitCode != 0)
        GTEST_SKIP() << "the ip tool is not available";
    std::vector<std::uint32_t> expected;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find(" inet ");
        if (at == std::string::npos)
            continue;
        const std::string addr = line.substr(at + 6, line.find('/', at) - at - 6);
        expected.push_back(Parse(addr));
    }
    std::array<std::uint32_t, 20> ips{};
    const int n = NetKit::Socks::get_loc_ips(ips);
    for (std::uint32_t e : expected)
        EXPECT_NE(std::find(ips.begin(), ips.begin() + n, e), ips.begin() + n) << "missing address " << e;
    // 127.0.0.1 is 0x7F000001 in host order; it comes after every outside address.
    const auto loop = std::find(ips.begin(), ips.begin() + n, 0x7F000001u);
    if (loop != ips.begin() + n) {
        for (auto it = loop; it != ips.begin() + n; ++it)
            EXPECT_EQ(*it >> 24, 127u);
    }
}
