#include "platform/CommandSocket.h"

#include "platform/RuntimeFolder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::uint8_t kCommandMagic[4] = {'Q', 'M', 'C', '1'};
constexpr std::uint8_t kReplyMagic[4] = {'Q', 'M', 'R', '1'};

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

bool EndpointPath(const std::string& endpoint, std::string& path, std::string& error) {
    if (endpoint.empty() || endpoint.find('/') != std::string::npos) {
        error = "Invalid endpoint name \"" + endpoint + "\".";
        return false;
    }
    std::string folder;
    if (!GetRuntimeFolder(folder, error))
        return false;
    path = folder + "/" + endpoint;
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        error = "The endpoint path " + path + " is too long.";
        return false;
    }
    return true;
}

sockaddr_un Address(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

using Clock = std::chrono::steady_clock;

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads or writes exactly `size` bytes before the deadline.
bool Transfer(int fd, std::uint8_t* buf, std::size_t size, bool reading, Clock::time_point deadline,
              std::string& error) {
    std::size_t done = 0;
    while (done < size) {
        pollfd p{fd, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
        const int r = ::poll(&p, 1, MsLeft(deadline));
        if (r == 0) {
            error = "No answer in time.";
            return false;
        }
        if (r < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            return false;
        }
        const ssize_t n = reading ? ::recv(fd, buf + done, size - done, 0)
                                  : ::send(fd, buf + done, size - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            error = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            error = "The connection was closed early.";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int Connect(const std::string& path, std::string& error) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const sockaddr_un addr = Address(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
        // A full queue of waiting connections means a server that is there but busy.
        error = errno == EAGAIN ? std::string("The scheduler is busy and did not answer.")
                                : "The scheduler is not running (" + std::string(std::strerror(errno)) + ").";
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::array<std::uint8_t, kCommandRecordSize> EncodeCommand(const CommandRecord& record) {
    std::array<std::uint8_t, kCommandRecordSize> out{};
    std::memcpy(out.data(), kCommandMagic, 4);
    Put32(out.data() + 4, record.code);
    Put32(out.data() + 8, static_cast<std::uint32_t>(record.senderPid));
    return out;
}

bool DecodeCommand(const std::uint8_t* data, std::size_t size, CommandRecord& record, std::string& error) {
    if (!data || size != kCommandRecordSize) {
        error = "A command record has " + std::to_string(kCommandRecordSize) + " bytes, not " +
                std::to_string(size) + ".";
        return false;
    }
    if (std::memcmp(data, kCommandMagic, 4) != 0) {
        error = "Not a command record.";
        return false;
    }
    if (Get32(data + 12) != 0) {
        error = "Unknown command record version.";
        return false;
    }
    record.code = Get32(data + 4);
    record.senderPid = static_cast<std::int32_t>(Get32(data + 8));
    return true;
}

std::array<std::uint8_t, kCommandReplySize> EncodeReply(std::int32_t result) {
    std::array<std::uint8_t, kCommandReplySize> out{};
    std::memcpy(out.data(), kReplyMagic, 4);
    Put32(out.data() + 4, static_cast<std::uint32_t>(result));
    return out;
}

bool DecodeReply(const std::uint8_t* data, std::size_t size, std::int32_t& result, std::string& error) {
    if (!data || size != kCommandReplySize || std::memcmp(data, kReplyMagic, 4) != 0) {
        error = "Malformed reply.";
        return false;
    }
    result = static_cast<std::int32_t>(Get32(data + 4));
    return true;
}

CommandServer::~CommandServer() {
    close();
}

void CommandServer::close() {
    for (const Client& c : m_clients)
        ::close(c.fd);
    m_clients.clear();
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    m_lock.Release();
    m_fd = -1;
}

bool CommandServer::listen(const std::string& endpoint, std::string& error) {
    close();
    std::string path;
    if (!EndpointPath(endpoint, path, error))
        return false;
    // The lock decides which of two servers starting at once wins; the loser leaves the
    // winner's socket alone.
    const std::string lockPath = path + ".lock";
    bool busy = false;
    std::string reason;
    if (!m_lock.Lock(lockPath, FileLock::Wait::No, reason, &busy)) {
        error = busy ? "Another instance is already running." : "Cannot open " + lockPath + ": " + reason;
        return false;
    }
    ::unlink(path.c_str()); // a socket left behind by a server that died
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_un addr = Address(path);
    // The folder is private already; the socket itself is closed to others as well.
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
                       ::chmod(path.c_str(), 0600) == 0;
    if (!bound || ::listen(fd, 16) != 0) {
        error = "Cannot listen on " + path + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        m_lock.Release();
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

void CommandServer::DropClient(std::size_t index) {
    ::close(m_clients[index].fd);
    m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(index));
}

// Takes every waiting connection of this user; none of them is read here.
void CommandServer::Accept() {
    for (;;) {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return; // EAGAIN: no more waiting; anything else: try again at the next readiness
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
            ::close(client);
            continue;
        }
        if (m_clients.size() >= kMaxClients)
            DropClient(0);
        Client c;
        c.fd = client;
        c.deadlineMs = SteadyMs() + kClientDeadlineMs;
        m_clients.push_back(c);
    }
}

// Reads what the client sent so far; once its command is complete, handles it and replies.
CommandServer::ReadResult CommandServer::ReadFrom(Client& c, const Handler& handler) {
    const ssize_t n = ::recv(c.fd, c.bytes.data() + c.received, c.bytes.size() - c.received, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return ReadResult::Waiting;
    if (n <= 0)
        return ReadResult::Done; // closed or failed
    c.received += static_cast<std::size_t>(n);
    if (c.received < c.bytes.size())
        return ReadResult::Waiting;
    CommandRecord record;
    std::string error;
    if (!DecodeCommand(c.bytes.data(), c.bytes.size(), record, error))
        return ReadResult::Done;
    // The client waits for the reply with nothing else in its socket: 8 bytes go at once.
    const auto reply = EncodeReply(handler(record));
    ::send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return ReadResult::Handled;
}

bool CommandServer::serveOne(const Handler& handler, int timeoutMs, int wakeFd) {
    if (m_fd < 0)
        return false;
    const std::int64_t endMs = timeoutMs < 0 ? INT64_MAX : SteadyMs() + timeoutMs;
    for (;;) {
        const std::int64_t now = SteadyMs();
        for (std::size_t i = m_clients.size(); i-- > 0;)
            if (m_clients[i].deadlineMs <= now)
                DropClient(i);
        std::int64_t waitUntil = endMs;
        std::vector<pollfd> fds{{m_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        for (const Client& c : m_clients) {
            fds.push_back({c.fd, POLLIN, 0});
            waitUntil = std::min(waitUntil, c.deadlineMs);
        }
        const int waitMs =
            waitUntil == INT64_MAX ? -1 : static_cast<int>(std::max<std::int64_t>(waitUntil - now, 0));
        const int ready = ::poll(fds.data(), fds.size(), waitMs);
        if (ready < 0 || fds[1].revents)
            return false; // a signal or a wake-up: the caller looks at why
        bool handled = false;
        // Clients first, from the last, so that dropping one leaves the indices before it.
        for (std::size_t i = fds.size() - 1; i > 1 && !handled; --i) {
            if (!fds[i].revents)
                continue;
            const ReadResult result = ReadFrom(m_clients[i - 2], handler);
            handled = result == ReadResult::Handled;
            if (result != ReadResult::Waiting)
                DropClient(i - 2);
        }
        if (handled)
            return true;
        if (fds[0].revents & POLLIN)
            Accept();
        if (SteadyMs() >= endMs)
            return false;
    }
}

bool SendCommand(const std::string& endpoint, const CommandRecord& record, std::int32_t& reply, int timeoutMs,
                 std::string& error) {
    std::string path;
    if (!EndpointPath(endpoint, path, error))
        return false;
    const int fd = Connect(path, error);
    if (fd < 0)
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto out = EncodeCommand(record);
    std::uint8_t in[kCommandReplySize];
    const bool ok = Transfer(fd, out.data(), out.size(), false, deadline, error) &&
                    Transfer(fd, in, sizeof in, true, deadline, error) &&
                    DecodeReply(in, sizeof in, reply, error);
    ::close(fd);
    return ok;
}

bool IsEndpointAlive(const std::string& endpoint) {
    std::string path, error;
    if (!EndpointPath(endpoint, path, error))
        return false;
    // Not blocking: a busy server whose queue of waiting connections is full is alive all the same.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const sockaddr_un addr = Address(path);
    const bool ok =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 || errno == EAGAIN;
    ::close(fd);
    return ok;
}

} // namespace platform
