// The other process in the platform tests: it opens the shared objects by name and does one
// thing with them, so the tests see what really crosses between two processes.
#include "platform/CommandSocket.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

using namespace platform;

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string verb = argv[1];
    const std::string name = argv[2];
    std::string error;
    if (verb == "shm-read") { // prints the text stored at the start of the object
        SharedMemory m;
        if (!m.open(name, 64, SharedMemory::Mode::OpenExisting, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("%s", static_cast<const char*>(m.data()));
        return 0;
    }
    if (verb == "shm-write" && argc == 4) {
        SharedMemory m;
        if (!m.open(name, 64, SharedMemory::Mode::OpenOrCreate, error))
            return 1;
        std::strncpy(static_cast<char*>(m.data()), argv[3], 63);
        return 0;
    }
    if (verb == "event-set" && argc == 4) { // sets the event after a delay in milliseconds
        NamedEvent e;
        if (!e.open(name, SharedMemory::Mode::OpenExisting, error))
            return 1;
        ::usleep(static_cast<useconds_t>(std::atoi(argv[3])) * 1000);
        e.set();
        return 0;
    }
    if (verb == "event-wait" && argc == 4) { // exit 0 when set within the time-out, 3 otherwise
        NamedEvent e;
        if (!e.open(name, SharedMemory::Mode::OpenOrCreate, error))
            return 1;
        return e.wait(std::atoi(argv[3])) ? 0 : 3;
    }
    if (verb == "serve" && argc == 4) { // answers N commands with code * 10, then ends
        CommandServer server;
        if (!server.listen(name, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("listening\n");
        std::fflush(stdout);
        int left = std::atoi(argv[3]);
        const time_t deadline = ::time(nullptr) + 10;
        while (left > 0 && ::time(nullptr) < deadline)
            if (server.serveOne([](const CommandRecord& r) { return static_cast<std::int32_t>(r.code * 10); },
                                1000))
                --left; // a probe that only connects is no command
        return left == 0 ? 0 : 4;
    }
    if (verb == "send" && argc == 4) { // prints the reply to one command
        std::int32_t reply = 0;
        if (!SendCommand(name, CommandRecord{static_cast<std::uint32_t>(std::atoi(argv[3])), ::getpid()},
                         reply, 5000, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        std::printf("%d", reply);
        return 0;
    }
    return 2;
}
