#pragma once

#include <cstddef>
#include <cstdint>

// The commands that the suite's programs send to keeper over its command socket
// (platform::kSessionManagerEndpoint, one platform::CommandRecord per command). keeper answers
// each with a 32-bit result. The codes 1 to 6 are those of the schedule link; 4 is kept free.
namespace keeperproto {

inline constexpr std::uint32_t CMD_START_SCHEDULER = 1;     // run the stored schedule
inline constexpr std::uint32_t CMD_SCHEDULE_CHANGED = 2;    // re-read the stored schedule
inline constexpr std::uint32_t CMD_STOP_SCHEDULER = 3;      // stop running the schedule
inline constexpr std::uint32_t CMD_SESSION_KEY_SET = 5;     // create the session key store
inline constexpr std::uint32_t CMD_SESSION_KEY_CLEARED = 6; // the session key was cleared

// Asks for keeper's state. The reply is a set of the kState* bits below (0: keeper runs, but
// neither the scheduler nor a key store); a negative reply means keeper does not know the code.
inline constexpr std::uint32_t CMD_QUERY_STATE = 7;
inline constexpr std::int32_t kStateSchedulerRunning = 1 << 0;
inline constexpr std::int32_t kStateSessionKeyStore = 1 << 1;

// How long a caller waits for keeper's reply to a query, in milliseconds.
inline constexpr int kQueryTimeoutMs = 3000;

// The shared object of the schedule-changed flag, which keeper creates. Its first 32-bit word
// is the flag of the schedule link. Behind it keeper publishes its state, so that callers learn
// it even while keeper runs a task and answers no command: the kState* bits at
// kPublishedStateOffset (kStateBusy while a task runs) and the running task's id at
// kPublishedTaskOffset, both 32-bit words written and read atomically.
inline constexpr const char* kScheduleRunningName = "qmschedrunning";
inline constexpr std::size_t kScheduleRunningSize = 4096;
inline constexpr std::size_t kPublishedStateOffset = 4;
inline constexpr std::size_t kPublishedTaskOffset = 8;
inline constexpr std::int32_t kStateBusy = 1 << 2;

} // namespace keeperproto
