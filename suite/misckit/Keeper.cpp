#include "misckit/Keeper.h"

#include "misckit/KeeperProtocol.h"
#include "platform/CommandSocket.h"
#include "platform/DetachedProcess.h"
#include "platform/SharedMemory.h"
#include "uikit/ShellInfo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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
    std::string reason;
    if (!platform::StartDetached(program, {argument}, reason))
        return Fail(errorText, errorTextSize, "Cannot start keeper (" + program + "): " + reason + ".");
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
