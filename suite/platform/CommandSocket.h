#pragma once

#include "platform/FileLock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
// holds the endpoint. Connections from other users are refused. Clients are served side by
// side: one that connects and says nothing (or sends half a command) holds up nobody else and
// is dropped when its own time is up.
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

    // Serves clients for up to `timeoutMs` (negative: no limit): accepts them, reads their
    // commands, calls the handler and sends its result back. Returns once a command was handled
    // (true), when the time is up, when a signal interrupted the wait, or when `wakeFd` (when not
    // negative) is readable (false); a signal handler that writes to a pipe thus ends the wait
    // whenever the signal comes. Clients whose command is not complete yet stay connected until a
    // later call, each until kClientDeadlineMs after it connected.
    bool serveOne(const Handler& handler, int timeoutMs, int wakeFd = -1);

    // How long a client may take to send its command.
    static constexpr int kClientDeadlineMs = 5000;
    // Clients waiting at once; beyond that the one connected longest is dropped.
    static constexpr std::size_t kMaxClients = 64;

private:
    struct Client {
        int fd = -1;
        std::int64_t deadlineMs = 0; // on the steady clock
        std::array<std::uint8_t, kCommandRecordSize> bytes{};
        std::size_t received = 0;
    };
    enum class ReadResult { Waiting, Handled, Done };
    void Accept();
    ReadResult ReadFrom(Client& client, const Handler& handler);
    void DropClient(std::size_t index);

    int m_fd = -1;
    FileLock m_lock;
    std::string m_path;
    std::vector<Client> m_clients;
};

// Sends one command and waits for the reply (at most `timeoutMs`). False with a reason when no
// server listens, the server did not answer in time, or the reply was malformed.
bool SendCommand(const std::string& endpoint, const CommandRecord& record, std::int32_t& reply, int timeoutMs,
                 std::string& error);
// True when a server accepts connections on the endpoint.
bool IsEndpointAlive(const std::string& endpoint);

} // namespace platform
