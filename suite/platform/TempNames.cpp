#include "platform/TempNames.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

namespace platform {
namespace {

// More than any run has in use at once: one per file being written.
constexpr int kSlots = 256;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    pid_t owner = 0; // a child between fork and exec shares the slots, not the files' fate
    int folderFd = -1;
    char name[64] = {};
};

Slot g_slots[kSlots];
struct sigaction g_previous[3];
std::mutex g_installing;

void RemoveLiveNames() {
    const pid_t self = ::getpid();
    for (Slot& slot : g_slots)
        if (slot.state.load() == kLive && slot.owner == self)
            ::unlinkat(slot.folderFd, slot.name, 0);
}

bool IsDefault(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_DFL;
}

void OnSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    int index = 0;
    while (index < 2 && kSignals[index] != signal)
        ++index;
    const struct sigaction& previous = g_previous[index];
    if (IsDefault(previous)) {
        RemoveLiveNames();
        // Ends the process as the default action would, once this handler returns.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        ::sigaction(signal, &fallback, nullptr);
        ::raise(signal);
        errno = savedErrno;
        return;
    }
    if (previous.sa_flags & SA_SIGINFO)
        previous.sa_sigaction(signal, info, context);
    else
        previous.sa_handler(signal);
    struct sigaction now {};
    if (::sigaction(signal, nullptr, &now) == 0 && IsDefault(now))
        RemoveLiveNames();
    errno = savedErrno;
}

bool IsOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == OnSignal;
}

// Puts the handler in front of whatever the program has installed by now; a program that set its
// own handler after ours gets it wrapped again with the next registration.
void InstallHandlers() {
    const std::lock_guard<std::mutex> lock(g_installing);
    for (int i = 0; i < 3; ++i) {
        struct sigaction previous {};
        if (::sigaction(kSignals[i], nullptr, &previous) != 0 || IsOurs(previous))
            continue;
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN)
            continue; // nothing ends the process through this signal
        g_previous[i] = previous;
        struct sigaction action {};
        action.sa_sigaction = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int s : kSignals)
            sigaddset(&action.sa_mask, s);
        // A program handler that relies on interrupted calls (keeper's stop) keeps them.
        action.sa_flags = SA_SIGINFO | (IsDefault(previous) ? SA_RESTART : (previous.sa_flags & SA_RESTART));
        ::sigaction(kSignals[i], &action, nullptr);
    }
}

} // namespace

std::string ShortTempName() {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[8];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Without the kernel's generator: time, process and a counter still make clashes rare, and
        // every creation is exclusive anyway.
        static std::atomic<unsigned> counter{0};
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::uint64_t mix = std::uint64_t(now.tv_nsec) ^ (std::uint64_t(now.tv_sec) << 30) ^
                            (std::uint64_t(::getpid()) << 17) ^
                            (std::uint64_t(++counter) * 0x9E3779B97F4A7C15ull);
        for (unsigned char& byte : random) {
            mix = mix * 6364136223846793005ull + 1442695040888963407ull;
            byte = static_cast<unsigned char>(mix >> 56);
        }
    }
    std::string name = ".qm";
    for (unsigned char byte : random)
        name += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return name;
}

int RegisterTempName(int folderFd, const std::string& name) {
    InstallHandlers();
    if (name.size() >= sizeof(Slot::name))
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling))
            continue;
        g_slots[i].owner = ::getpid();
        g_slots[i].folderFd = folderFd;
        std::memcpy(g_slots[i].name, name.c_str(), name.size() + 1);
        g_slots[i].state.store(kLive);
        return i;
    }
    return -1;
}

void ReleaseTempName(int slot) {
    if (slot >= 0 && slot < kSlots)
        g_slots[slot].state.store(kFree);
}

int CreateTempFile(int folderFd, mode_t mode, std::string& name, int& slot) {
    slot = -1;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ShortTempName();
        const SignalHold hold;
        const int fd =
            ::openat(folderFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            slot = RegisterTempName(folderFd, name);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

SignalHold::SignalHold() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : kSignals)
        sigaddset(&held, s);
    ::pthread_sigmask(SIG_BLOCK, &held, &m_saved);
}

SignalHold::~SignalHold() {
    ::pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
}

} // namespace platform
