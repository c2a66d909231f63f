#include "misckit/Keeper.h"

#include "misckit/KeeperProtocol.h"
#include "platform/CommandSocket.h"
#include "platform/SharedMemory.h"
#include "uikit/ShellInfo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace misckit {
namespace {

std::string& KeeperOverride() {
    static std::string path;
    return path;
}

int Fail(char* errorText, int errorTextSize, const std::string& text) {
    if (errorText && errorTextSize > 0) {
        const std::size_t n = std::min(text.size(), static_cast<std::size_t>(errorTextSize - 1));
        std::memcpy(errorText, text.data(), n);
        errorText[n] = '\0';
    }
    return 0;
}

bool ReadFully(int fd, void* data, std::size_t size) {
    auto* p = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// In the second child: only calls that are safe after fork() in a threaded program.
[[noreturn]] void ExecKeeper(const char* program, const char* argument, int reportFd) {
    const int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        if (devnull > STDERR_FILENO)
            ::close(devnull);
    }
    // keeper must not hold on to what the caller had open (sockets, locks, files being written).
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    ::execve(program, argv, environ);
    const int err = errno;
    ssize_t ignored = ::write(reportFd, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}

// What keeper last published; false when no keeper made the object.
bool ReadPublishedState(std::int32_t& state, std::uint32_t& task) {
    platform::SharedMemory memory;
    std::string error;
    if (!memory.open(keeperproto::kScheduleRunningName, keeperproto::kPublishedTaskOffset + 4,
                     platform::SharedMemory::Mode::OpenExisting, error))
        return false;
    auto* base = static_cast<std::uint8_t*>(memory.data());
    state = std::atomic_ref(*reinterpret_cast<std::int32_t*>(base + keeperproto::kPublishedStateOffset))
                .load(std::memory_order_acquire);
    task = std::atomic_ref(*reinterpret_cast<std::uint32_t*>(base + keeperproto::kPublishedTaskOffset))
               .load(std::memory_order_acquire);
    return true;
}

bool QueryState(std::int32_t& state) {
    platform::CommandRecord record;
    record.code = keeperproto::CMD_QUERY_STATE;
    record.senderPid = static_cast<std::int32_t>(::getpid());
    std::string error;
    return platform::SendCommand(platform::kSessionManagerEndpoint, record, state,
                                 keeperproto::kQueryTimeoutMs, error) &&
           state >= 0;
}

} // namespace

std::string KeeperProgramPath() {
    if (!KeeperOverride().empty())
        return KeeperOverride();
    return uikit::GetProgramFolder() + "keeper";
}

void SetKeeperProgramForTesting(const std::string& path) {
    KeeperOverride() = path;
}

int StartKeeper(const char* argument, char* errorText, int errorTextSize) {
    const std::string program = KeeperProgramPath();
    if (!argument || !*argument)
        return Fail(errorText, errorTextSize, "Cannot start keeper: no mode given.");
    if (::access(program.c_str(), X_OK) != 0)
        return Fail(errorText, errorTextSize,
                    "Cannot start keeper (" + program + "): " + std::strerror(errno) + ".");
    // The grandchild reports a failed exec through this pipe; it closes on a successful exec.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return Fail(errorText, errorTextSize,
                    std::string("Cannot start keeper: ") + std::strerror(errno) + ".");
    const pid_t child = ::fork();
    if (child < 0) {
        const int err = errno;
        ::close(report[0]);
        ::close(report[1]);
        return Fail(errorText, errorTextSize,
                    std::string("Cannot start keeper: ") + std::strerror(err) + ".");
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        // Leave the caller's signal dispositions behind: keeper sets its own.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int err = errno;
            ssize_t ignored = ::write(report[1], &err, sizeof err);
            (void)ignored;
            ::_exit(1);
        }
        if (grandchild == 0) {
            if (::chdir("/") != 0) {
                // keeper works with absolute paths; any folder will do
            }
            ExecKeeper(program.c_str(), argument, report[1]);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    const bool failed = ReadFully(report[0], &err, sizeof err);
    ::close(report[0]);
    if (failed)
        return Fail(errorText, errorTextSize,
                    "Cannot start keeper (" + program + "): " + std::strerror(err) + ".");
    if (errorText && errorTextSize > 0)
        errorText[0] = '\0';
    return 1;
}

int IsKeeperRunning() {
    return platform::IsEndpointAlive(platform::kSessionManagerEndpoint) ? 1 : 0;
}

int IsSchedulerRunning() {
    return GetKeeperStatus().scheduler ? 1 : 0;
}

KeeperStatus GetKeeperStatus() {
    KeeperStatus status;
    status.running = IsKeeperRunning() != 0;
    if (!status.running)
        return status;
    std::int32_t state = 0;
    std::uint32_t task = 0;
    const bool published = ReadPublishedState(state, task);
    // A busy keeper would answer only when its task is done; what it published is its answer.
    if (!(published && (state & keeperproto::kStateBusy))) {
        status.answered = QueryState(state);
        task = 0;
        // No answer in time: keeper may have become busy since.
        if (!status.answered && !ReadPublishedState(state, task))
            return status;
    }
    status.scheduler = (state & keeperproto::kStateSchedulerRunning) != 0;
    status.sessionKeyStore = (state & keeperproto::kStateSessionKeyStore) != 0;
    status.busyTask = (state & keeperproto::kStateBusy) ? task : 0;
    return status;
}

} // namespace misckit
