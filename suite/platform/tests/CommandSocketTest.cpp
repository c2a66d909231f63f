#include "platform/CommandSocket.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <thread>
#include <unistd.h>

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
