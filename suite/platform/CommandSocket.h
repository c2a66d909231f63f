#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// The local endpoint that the scheduler host listens on; a socket of this name in the runtime
// folder.
inline constexpr const char* kSessionManagerEndpoint = "QuillmarkSessionManager";

// One command: the code and the sender's process id. On the wire it is a fixed 16-byte record
// ("QMC1", code, pid, 0; little-endian) and the reply an 8-byte record ("QMR1", result).
struct CommandRecord {
    std::uint32_t code = 0;
    std::int32_t senderPid = 0;
};
inline constexpr std::size_t kCommandRecordSize = 16;
inline constexpr std::size_t kCommandReplySize = 8;

std::array<std::uint8_t, kCommandRecordSize> EncodeCommand(const CommandRecord& record);
// Reads a record that came from another process; false with a reason for anything malformed.
bool DecodeCommand(const std::uint8_t* data, std::size_t size, CommandRecord& record, std::string& error);
std::array<std::uint8_t, kCommandReplySize> EncodeReply(std::int32_t result);
bool DecodeReply(const std::uint8_t* data, std::size_t size, std::int32_t& result, std::string& error);

// The server side: one instance per endpoint and user. listen() fails when another live server
// holds the endpoint. Connections from other users are refused.
class CommandServer {
public:
    using Handler = std::function<std::int32_t(const CommandRecord&)>;

    CommandServer() = default;
    ~CommandServer();
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;

    bool listen(const std::string& endpoint, std::string& error);
    void close();
    bool isListening() const { return m_fd >= 0; }
    // The listening socket, for a caller that polls several things at once.
    int fd() const { return m_fd; }

    // Waits up to `timeoutMs` (negative: no limit) for one client, reads its command, calls the
    // handler and sends the handler's result back. True when a command was handled.
    bool serveOne(const Handler& handler, int timeoutMs);

private:
    int m_fd = -1;
    int m_lockFd = -1;
    std::string m_path;
};

// Sends one command and waits for the reply (at most `timeoutMs`). False with a reason when no
// server listens, the server did not answer in time, or the reply was malformed.
bool SendCommand(const std::string& endpoint, const CommandRecord& record, std::int32_t& reply, int timeoutMs,
                 std::string& error);
// True when a server accepts connections on the endpoint.
bool IsEndpointAlive(const std::string& endpoint);

} // namespace platform
