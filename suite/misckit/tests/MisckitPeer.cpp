// The other process in the misckit tests: it writes and reads settings, or stands in for keeper's
// command socket, so that the tests see what really crosses between two processes.
#include "misckit/KeeperProtocol.h"
#include "misckit/Registry.h"
#include "platform/CommandSocket.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string verb = argv[1];
    const CQMRegistry reg;
    if (verb == "write" && argc == 4) // one text value
        return reg.WriteString(argv[2], argv[3]) ? 0 : 1;
    if (verb == "read" && argc == 3) { // prints one text value
        std::string value;
        if (!reg.ReadStringEx(argv[2], value))
            return 1;
        std::printf("%s", value.c_str());
        return 0;
    }
    if (verb == "write-many" && argc == 4) { // "<prefix><i>" = i for i below the count
        std::printf("writing\n");
        std::fflush(stdout);
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i)
            if (!reg.WriteDWORD(argv[2] + std::to_string(i), static_cast<std::uint32_t>(i)))
                return 1;
        return 0;
    }
    if (verb == "rewrite" && argc == 5) { // rounds of same-length rewrites of N values "<prefix><k>"
        std::printf("writing\n");
        std::fflush(stdout);
        const int rounds = std::atoi(argv[3]);
        const int count = std::atoi(argv[4]);
        char text[16];
        for (int r = 1; r <= rounds; ++r)
            for (int k = 0; k < count; ++k) {
                std::snprintf(text, sizeof text, "%06d", r);
                if (!reg.WriteString(argv[2] + std::to_string(k), text))
                    return 1;
            }
        return 0;
    }
    if (verb == "write-forever" && argc == 3) { // large values until killed; "n" after each
        std::string big(200000, 'x');
        for (unsigned n = 0;; ++n) {
            big[n % big.size()] = static_cast<char>('a' + n % 26);
            if (!reg.WriteString(argv[2], big))
                return 1;
            std::printf("%u\n", n);
            std::fflush(stdout);
        }
    }
    if (verb == "serve-state" && argc == 4) { // answers N state queries with the given reply
        platform::CommandServer server;
        std::string error;
        if (!server.listen(platform::kSessionManagerEndpoint, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("listening\n");
        std::fflush(stdout);
        const std::int32_t state = std::atoi(argv[2]);
        int left = std::atoi(argv[3]);
        const std::time_t deadline = std::time(nullptr) + 20;
        while (left > 0 && std::time(nullptr) < deadline)
            if (server.serveOne(
                    [&](const platform::CommandRecord& r) {
                        return r.code == keeperproto::CMD_QUERY_STATE ? state : -1;
                    },
                    1000))
                --left;
        return left == 0 ? 0 : 4;
    }
    return 2;
}
