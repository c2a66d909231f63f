#include "platform/CommandSocket.h"

#include "TestSupport.h"
#include "platform/RuntimeFolder.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform;

TEST(CommandRecord, RoundTripsAndRejectsMalformedRecords) {
    const auto bytes = EncodeCommand(CommandRecord{5, 4242});
    CommandRecord r;
    std::string error;
    ASSERT_TRUE(DecodeCommand(bytes.data(), bytes.size(), r, error));
    EXPECT_EQ(r.code, 5u);
    EXPECT_EQ(r.senderPid, 4242);

    EXPECT_FALSE(DecodeCommand(bytes.data(), bytes.size() - 1, r, error));
    auto bad = bytes;
    bad[0] = 'X';
    EXPECT_FALSE(DecodeCommand(bad.data(), bad.size(), r, error));
    bad = bytes;
    bad[12] = 1;
    EXPECT_FALSE(DecodeCommand(bad.data(), bad.size(), r, error));
    EXPECT_FALSE(DecodeCommand(nullptr, 0, r, error));
}

TEST(CommandSocket, ClientInOneProcessGetsTheServerProcessReply) {
    QProcess server;
    server.start(PLATFORM_PEER, {"serve", kSessionManagerEndpoint, "2"});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    ASSERT_EQ(server.readLine().trimmed(), "listening");
    EXPECT_TRUE(IsEndpointAlive(kSessionManagerEndpoint));

    std::int32_t reply = 0;
    std::string error;
    ASSERT_TRUE(SendCommand(kSessionManagerEndpoint, CommandRecord{3, ::getpid()}, reply, 5000, error))
        << error;
    EXPECT_EQ(reply, 30);
    ASSERT_TRUE(SendCommand(kSessionManagerEndpoint, CommandRecord{6, ::getpid()}, reply, 5000, error))
        << error;
    EXPECT_EQ(reply, 60);
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0);
    // The server removes its socket when it ends.
    EXPECT_FALSE(IsEndpointAlive(kSessionManagerEndpoint));
}

TEST(CommandSocket, NoServerGivesAnErrorAtOnce) {
    std::int32_t reply = 0;
    std::string error;
    EXPECT_FALSE(SendCommand("Nobody", CommandRecord{1, 1}, reply, 5000, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(IsEndpointAlive("Nobody"));
}

TEST(CommandSocket, SecondServerIsRefusedWhileTheFirstLives) {
    CommandServer first, second;
    std::string error;
    ASSERT_TRUE(first.listen("Single", error)) << error;
    EXPECT_FALSE(second.listen("Single", error));
    EXPECT_EQ(error, "Another instance is already running.");
    // Served in this process: the reply path works without a second process too.
    std::thread client([] {
        std::int32_t reply = 0;
        std::string e;
        SendCommand("Single", CommandRecord{2, 1}, reply, 5000, e);
    });
    std::uint32_t seen = 0;
    EXPECT_TRUE(first.serveOne(
        [&](const CommandRecord& r) {
            seen = r.code;
            return 0;
        },
        5000));
    client.join();
    EXPECT_EQ(seen, 2u);
    first.close();
    EXPECT_TRUE(second.listen("Single", error)) << error;
}

TEST(CommandSocket, ServerThatDoesNotAnswerTimesOut) {
    CommandServer server;
    std::string error;
    ASSERT_TRUE(server.listen("Silent", error));
    std::int32_t reply = 0;
    EXPECT_FALSE(SendCommand("Silent", CommandRecord{1, 1}, reply, 200, error));
    EXPECT_EQ(error, "No answer in time.");
}

namespace {

// A raw client of the endpoint that sends only what it is told to.
int ConnectRaw(const std::string& endpoint) {
    std::string folder, error;
    EXPECT_TRUE(GetRuntimeFolder(folder, error)) << error;
    const std::string path = folder + "/" + endpoint;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return fd;
}

// Serves on a thread of its own, replying code * 10, until it is destroyed.
class ServingThread {
public:
    explicit ServingThread(const std::string& endpoint) {
        std::string error;
        EXPECT_TRUE(m_server.listen(endpoint, error)) << error;
        m_thread = std::thread([this] {
            while (!m_stop)
                m_server.serveOne(
                    [](const CommandRecord& r) { return static_cast<std::int32_t>(r.code * 10); }, 20);
        });
    }
    ~ServingThread() {
        m_stop = true;
        m_thread.join();
    }
    ServingThread(const ServingThread&) = delete;
    ServingThread& operator=(const ServingThread&) = delete;

private:
    CommandServer m_server;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(CommandSocket, ASilentClientHoldsUpNobodyElse) {
    ServingThread server("Shared");
    const int silent = ConnectRaw("Shared");
    // Another sends half a command and stops.
    const auto record = EncodeCommand(CommandRecord{4, 1});
    const int halting = ConnectRaw("Shared");
    ASSERT_EQ(::send(halting, record.data(), 8, MSG_NOSIGNAL), 8);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // both are taken in first
    for (std::uint32_t code : {1u, 2u, 3u}) {
        std::int32_t reply = 0;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(SendCommand("Shared", CommandRecord{code, ::getpid()}, reply, 1000, error)) << error;
        EXPECT_EQ(reply, static_cast<std::int32_t>(code * 10));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    // The halting client finishes its command and is answered as well.
    ASSERT_EQ(::send(halting, record.data() + 8, 8, MSG_NOSIGNAL), 8);
    std::uint8_t in[kCommandReplySize];
    pollfd p{halting, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    ASSERT_EQ(::recv(halting, in, sizeof in, 0), static_cast<ssize_t>(sizeof in));
    std::int32_t reply = 0;
    std::string error;
    ASSERT_TRUE(DecodeReply(in, sizeof in, reply, error)) << error;
    EXPECT_EQ(reply, 40);
    ::close(halting);
    ::close(silent);
}

TEST(CommandSocket, AServerTooBusyToAcceptIsStillAlive) {
    CommandServer server;
    std::string error;
    ASSERT_TRUE(server.listen("Busy", error)) << error;
    // Nobody serves: connections pile up until the queue is full.
    std::vector<int> waiting;
    for (int i = 0; i < 40; ++i)
        waiting.push_back(ConnectRaw("Busy"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(IsEndpointAlive("Busy"));
    std::int32_t reply = 0;
    EXPECT_FALSE(SendCommand("Busy", CommandRecord{1, 1}, reply, 200, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    for (int fd : waiting)
        ::close(fd);
}
