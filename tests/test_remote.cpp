// The messages between velmora-server and its clients: decoding what a client may send,
// framing over a socket, and a client facing a server that misbehaves.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "remote/client.h"
#include "remote/message.h"
#include "remote/socket.h"

namespace {

bool Decodes(const std::string& m, Request* r = nullptr, std::string* why = nullptr) {
    Request ignored;
    std::string error;
    bool ok = DecodeRequest(m.data(), m.size(), r ? r : &ignored, &error);
    if (why) *why = error;
    EXPECT_EQ(ok, error.empty());
    return ok;
}

TEST(Messages, RequestsRoundTrip) {
    Request r;
    ASSERT_TRUE(Decodes(EncodeHello("secret"), &r));
    EXPECT_EQ(r.type, MessageType::kHello);
    EXPECT_EQ(r.version, kProtocolVersion);
    EXPECT_EQ(r.token, "secret");
    ASSERT_TRUE(Decodes(EncodeIso(fieldMomentum, -2.5), &r));
    EXPECT_EQ(r.type, MessageType::kIso);
    EXPECT_EQ(r.field, fieldMomentum);
    EXPECT_EQ(r.value, -2.5);
    std::vector<Seed> seeds = {{1, 2, 3}, {-4, 5.5, 1e300}};
    ASSERT_TRUE(Decodes(EncodeLines(seeds), &r));
    EXPECT_EQ(r.seeds, seeds);
    ASSERT_TRUE(Decodes(EncodeLines({}), &r));
    EXPECT_TRUE(r.seeds.empty());
}

TEST(Messages, MalformedRequestsAreRefusedWithAReason) {
    std::string why;
    EXPECT_FALSE(Decodes("", nullptr, &why));
    EXPECT_EQ(why, "empty message");
    EXPECT_FALSE(Decodes("\x63", nullptr, &why));
    EXPECT_NE(why.find("unknown request type 99"), std::string::npos);
    EXPECT_FALSE(Decodes(EncodeError("x"), nullptr, &why));  // a reply is no request
    // Every cut and every extra byte of a good request.
    for (const std::string& good :
         {EncodeHello("tok"), EncodeIso(fieldEnergy, 1), EncodeLines({{1, 2, 3}})}) {
        for (size_t n = 1; n < good.size(); ++n) EXPECT_FALSE(Decodes(good.substr(0, n))) << n;
        EXPECT_FALSE(Decodes(good + "x"));
    }
    EXPECT_FALSE(Decodes(EncodeIso((FieldVar)3, 1), nullptr, &why));
    EXPECT_NE(why.find("unknown field 3"), std::string::npos);
    std::string many = EncodeLines({});
    const uint32_t count = kMaxSeeds + 1;
    memcpy(&many[1], &count, 4);
    EXPECT_FALSE(Decodes(many, nullptr, &why));
    EXPECT_NE(why.find("too many seeds"), std::string::npos);
    // A count larger than the seeds that follow.
    std::string short_ = EncodeLines({{1, 2, 3}});
    const uint32_t two = 2;
    memcpy(&short_[1], &two, 4);
    EXPECT_FALSE(Decodes(short_));
    EXPECT_FALSE(Decodes(EncodeHello(std::string(257, 't'))));
}

struct SocketPair {
    int fd[2];
    SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
    ~SocketPair() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
};

TEST(Framing, MessagesArriveWholeAndLimitsHold) {
    SocketPair s;
    std::string got;
    ASSERT_TRUE(SendMessage(s.fd[0], "hello"));
    ASSERT_TRUE(SendMessage(s.fd[0], ""));
    EXPECT_EQ(ReceiveMessage(s.fd[1], 100, 1000, &got), ReceiveStatus::kOk);
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(ReceiveMessage(s.fd[1], 100, 1000, &got), ReceiveStatus::kOk);
    EXPECT_EQ(got, "");
    // Longer than allowed: refused before any of it is read or allocated.
    ASSERT_TRUE(SendMessage(s.fd[0], std::string(101, 'x')));
    EXPECT_EQ(ReceiveMessage(s.fd[1], 100, 1000, &got), ReceiveStatus::kTooLong);
    // A message that stops half-way.
    SocketPair t;
    const uint32_t size = 10;
    ASSERT_EQ(write(t.fd[0], &size, 4), 4);
    ASSERT_EQ(write(t.fd[0], "abc", 3), 3);
    EXPECT_EQ(ReceiveMessage(t.fd[1], 100, 50, &got), ReceiveStatus::kStalled);
    close(t.fd[0]);
    t.fd[0] = -1;
    EXPECT_EQ(ReceiveMessage(t.fd[1], 100, 50, &got), ReceiveStatus::kClosed);
}

TEST(Framing, OnlyThePlainLoopbackGoesWithoutAToken) {
    EXPECT_TRUE(IsPlainLoopback("127.0.0.1"));
    EXPECT_TRUE(IsPlainLoopback("::1"));
    EXPECT_TRUE(IsPlainLoopback("localhost"));
    EXPECT_FALSE(IsPlainLoopback("127.0.0.2"));
    EXPECT_FALSE(IsPlainLoopback("0.0.0.0"));
    EXPECT_FALSE(IsPlainLoopback("::"));
    EXPECT_FALSE(IsPlainLoopback("192.168.1.4"));
}

// A server on loopback that answers the greeting, then the first request with `replies`;
// then it hangs up, or with `holdOpen` waits for the client to.
class FakeServer {
public:
    explicit FakeServer(std::vector<std::string> replies, bool holdOpen = false) {
        std::string error;
        listener = ListenOn("127.0.0.1", 0, &port, &error);
        EXPECT_GE(listener, 0) << error;
        thread = std::thread([this, replies, holdOpen] {
            int fd = accept(listener, nullptr, nullptr);
            std::string m;
            ReceiveMessage(fd, kMaxRequestBytes, 1000, &m);
            MessageWriter welcome(MessageType::kWelcome);
            welcome.U32(2);
            welcome.U64(100);
            Vertex v{};
            welcome.Raw(&v, sizeof v);
            welcome.Raw(&v, sizeof v);
            welcome.String("loading\n");
            SendMessage(fd, welcome.Take());
            ReceiveMessage(fd, kMaxRequestBytes, 1000, &m);
            for (const std::string& r : replies) SendMessage(fd, r);
            if (holdOpen)
                closedByClient =
                    ReceiveMessage(fd, kMaxRequestBytes, -1, &m) == ReceiveStatus::kClosed;
            close(fd);
        });
    }
    ~FakeServer() {
        if (thread.joinable()) thread.join();
        close(listener);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
    // Waits for the server to end: whether the client hung up.
    bool ClosedByClient() {
        if (thread.joinable()) thread.join();
        return closedByClient;
    }

private:
    bool closedByClient = false;
    int listener = -1;
    int port = 0;
    std::thread thread;
};

std::string Block(uint32_t b, const std::vector<Triangle>& triangles) {
    MessageWriter m(MessageType::kIsoBlock);
    m.U32(b);
    m.U32((uint32_t)triangles.size());
    m.Raw(triangles.data(), triangles.size() * sizeof(Triangle));
    return m.Take();
}

TEST(Client, ReceivesBlocksInOrderAndPrintsTheirLines) {
    Triangle t{};
    t.point[1][0] = 1;
    t.normal[2] = 1;
    FakeServer server({Block(0, {t, t}), Block(1, {}), MessageWriter(MessageType::kIsoEnd).Take()});
    RemoteVolume remote(server.Address(), "");
    TriangleStore store;
    std::string text, error;
    Progress progress;
    ASSERT_TRUE(
        remote.ExtractIsosurface(fieldDensity, 1, &store, Console(&text), &progress, &error))
        << error;
    EXPECT_EQ(remote.GetLoadingText(), "loading\n");
    EXPECT_EQ(remote.GetTetraCount(), 100u);
    EXPECT_EQ(text,
              "Block 1 processed.. 2 triangles added.\nBlock 2 processed.. 0 triangles added.\n");
    ASSERT_EQ(store.Size(), 2u);
    EXPECT_EQ(memcmp(&store[1], &t, sizeof t), 0);
    EXPECT_EQ(progress.done.load(), 2u);
    EXPECT_EQ(progress.total.load(), 2u);
}

TEST(Client, MalformedOrMissingRepliesFailWithAReason) {
    std::string bad = Block(0, {Triangle{}});
    bad.pop_back();  // a triangle cut short
    const std::vector<std::vector<std::string>> cases = {
        {bad}, {EncodeError("no such thing")}, {}, {"\x55"}};
    const char* expected[] = {"malformed isosurface block", "the server says: no such thing",
                              "stopped answering", "malformed isosurface block"};
    for (size_t i = 0; i < cases.size(); ++i) {
        FakeServer server(cases[i]);
        RemoteVolume remote(server.Address(), "");
        TriangleStore store;
        std::string text, error;
        EXPECT_FALSE(
            remote.ExtractIsosurface(fieldDensity, 1, &store, Console(&text), nullptr, &error));
        EXPECT_NE(error.find(expected[i]), std::string::npos) << error;
    }
    // Lines out of order.
    MessageWriter line(MessageType::kLine);
    line.U32(1);
    line.String("");
    line.U32(0);
    FakeServer server({line.Take()});
    RemoteVolume remote(server.Address(), "");
    std::vector<PathLine> lines;
    std::string text, error;
    EXPECT_FALSE(
        remote.TracePathLines({{0, 0, 0}, {1, 1, 1}}, &lines, Console(&text), nullptr, &error));
    EXPECT_NE(error.find("malformed path line"), std::string::npos) << error;
}

TEST(Client, ACancellationHangsUpAndKeepsTheBlocksReceived) {
    Triangle t{};
    FakeServer server({Block(0, {t})}, true);  // and then nothing more
    RemoteVolume remote(server.Address(), "");
    TriangleStore store;
    std::string text, error = "untouched";
    Progress progress;
    std::thread canceller([&] {
        while (progress.done < 1) std::this_thread::yield();
        progress.cancelled = true;
    });
    EXPECT_FALSE(
        remote.ExtractIsosurface(fieldDensity, 1, &store, Console(&text), &progress, &error));
    canceller.join();
    EXPECT_EQ(error, "");
    EXPECT_EQ(store.Size(), 1u);
    EXPECT_EQ(text, "Block 1 processed.. 1 triangles added.\n");
    EXPECT_TRUE(server.ClosedByClient());
}

TEST(Client, NoServerAndNoTokenFileAreClearErrors) {
    std::string error;
    int port = 0;
    int fd = ListenOn("127.0.0.1", 0, &port, &error);
    close(fd);  // a port that nobody listens on now
    RemoteVolume none("127.0.0.1:" + std::to_string(port), "");
    EXPECT_FALSE(none.Connect(&error));
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
    RemoteVolume noToken("127.0.0.1:1", "/nonexistent/token");
    EXPECT_FALSE(noToken.Connect(&error));
    EXPECT_NE(error.find("cannot read the token file"), std::string::npos) << error;
    RemoteVolume badAddress("no-port-here", "");
    EXPECT_FALSE(badAddress.Connect(&error));
    EXPECT_NE(error.find("is not HOST:PORT"), std::string::npos) << error;
}

}  // namespace
