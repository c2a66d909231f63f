#pragma once

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

} // namespace keeperproto
