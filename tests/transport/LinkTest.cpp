// Connection objects end to end on loopback against a scripted peer that frames golden bytes.
#include "LinkCodes.h"
#include "LoopbackPeer.h"
#include "platform/NotificationCenter.h"
#include "support/PeerSocket.h"
#include "transport/TCPServerClient.h"
#include "transport/TCP_RelayServerConn.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <zlib.h>

namespace transport {
namespace {

using golden::Bytes;
constexpr auto kWait = std::chrono::seconds(10);
const char kLoopback[] = "127.0.0.1";

// Records posts of the names it watches, in order.
class Recorder {
public:
    struct Post {
        std::string name;
        const void* sender;
        std::shared_ptr<SReceiveData> record;
    };

    Recorder(platform::NotificationCenter& center, const std::vector<std::string>& names) : m_set(center) {
        for (const auto& name : names)
            m_set.add(name, nullptr, [this](const platform::Notification& n) {
                std::lock_guard lock(m_mutex);
                m_posts.push_back({n.name, n.sender, n.shared<SReceiveData>()});
                m_cond.notify_all();
            });
    }
    bool WaitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, kWait, [&] { return m_posts.size() >= count; });
    }
    std::vector<Post> Posts() {
        std::lock_guard lock(m_mutex);
        return m_posts;
    }
    std::size_t Count(const std::string& name) {
        std::lock_guard lock(m_mutex);
        std::size_t n = 0;
        for (const auto& p : m_posts)
            n += p.name == name ? 1 : 0;
        return n;
    }

private:
    platform::ObserverSet m_set;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::vector<Post> m_posts;
};

std::vector<std::string> AllNames(const RevCallBackTable& table) {
    std::vector<std::string> names{"READ_MSG_DISCONNECT"};
    for (const auto& row : table) {
        if (std::find(names.begin(), names.end(), row.strName) == names.end())
            names.push_back(row.strName); // one observer per name, as the agent's handlers do
    }
    return names;
}

Bytes DibBody() {
    Bytes payload;
    golden::PutU32(payload, 0);
    golden::PutU32(payload, 1);
    golden::PutU32(payload, 7);
    golden::PutU32(payload, 2);
    payload.insert(payload.end(), {0xAA, 0xBB});
    uLongf zLen = compressBound(payload.size());
    Bytes z(zLen);
    compress(z.data(), &zLen, payload.data(), payload.size());
    z.resize(zLen);
    Bytes body = {12};
    golden::PutU32(body, static_cast<std::uint32_t>(payload.size()));
    golden::PutU32(body, static_cast<std::uint32_t>(z.size()));
    golden::PutU32(body, 1);
    body.insert(body.end(), z.begin(), z.end());
    return body;
}

Bytes FileBody() {
    Bytes body = {9};
    for (std::uint32_t v : {3u, 1u, 0u, 1u})
        golden::PutU32(body, v);
    golden::PutU16(body, 'f');
    golden::PutU32(body, 2);
    body.insert(body.end(), {1, 2});
    return body;
}

Bytes MouseBody() {
    Bytes body = {5};
    golden::PutU32(body, 1);
    body.insert(body.end(), 16, 0);
    return body;
}

Bytes KeyBody() {
    Bytes body = {4};
    golden::PutU32(body, 1);
    body.insert(body.end(), 14, 0);
    return body;
}

Bytes H264Body(std::size_t size = 4) {
    Bytes body = {17};
    golden::PutU32(body, static_cast<std::uint32_t>(size));
    golden::PutU32(body, 3);
    golden::PutU32(body, 0);
    body.insert(body.end(), size, 0x42);
    return body;
}

template <typename Link>
std::shared_ptr<Link> ConnectTo(golden::LoopbackPeer& peer, platform::NotificationCenter& center) {
    auto link = Link::create(center);
    EXPECT_TRUE(link->Open());
    link->SetConnectTimeout(5);
    EXPECT_TRUE(link->Connect(kLoopback, peer.port()));
    EXPECT_TRUE(peer.Accept());
    return link;
}

void Start(TCPConnection& link) {
    EXPECT_TRUE(link.StartReceiveThread());
    EXPECT_TRUE(link.StartRequestThread());
}

TEST(DirectLinkTest, EveryRowIsPostedUnderItsNameAndOthersAreNot) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Recorder recorder(center, AllNames(TCPServerClientCodeTable()));
    Start(*link);

    std::vector<std::string> expected;
    // Not posted on the direct link: types 2, 3, 7, 8, 6, an unknown code, a relay-only code.
    for (const Bytes& body : {Bytes{2, 0}, Bytes{3}, Bytes{7, 0}, Bytes{8}, Bytes{6, 1}})
        ASSERT_TRUE(peer.Write(golden::Frame(body)));
    ASSERT_TRUE(peer.Write(golden::Frame(golden::TextBody("[MV00008]x"))));
    ASSERT_TRUE(peer.Write(golden::Frame(golden::TextBody("[FR00001]"))));
    for (const std::string& code : codes::kDirect) {
        ASSERT_TRUE(peer.Write(golden::Frame(golden::TextBody(code + "1,2"))));
        expected.push_back(codes::nameOf(code, ""));
    }
    const std::pair<Bytes, const char*> binary[] = {
        {Bytes{10, 4, 0, 0, 0, 4, 0, 0, 0}, "READ_MSG_COMPRESSION"},
        {DibBody(), "READ_MSG_COMBINED_DIB"},
        {FileBody(), "READ_MSG_FILE"},
        {MouseBody(), "READ_MSG_MOUSE"},
        {KeyBody(), "READ_MSG_KEY"},
        {H264Body(), "READ_MSG_H264"}};
    for (const auto& [body, name] : binary) {
        ASSERT_TRUE(peer.Write(golden::Frame(body)));
        expected.push_back(name);
    }
    ASSERT_TRUE(recorder.WaitFor(expected.size()));
    const auto posts = recorder.Posts();
    ASSERT_EQ(posts.size(), expected.size());
    for (std::size_t i = 0; i < posts.size(); ++i) {
        EXPECT_EQ(posts[i].name, expected[i]);
        EXPECT_EQ(posts[i].sender, link.get());
        ASSERT_TRUE(posts[i].record);
        if (posts[i].record->nType == 1) {
            EXPECT_EQ(posts[i].record->strParams, "1,2");
        }
    }
    link->Close();
    ASSERT_TRUE(recorder.WaitFor(expected.size() + 1));
    link->JoinThreads();
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 1u);
}

TEST(RelayLinkTest, EveryRowIsPostedWithRelaySuffix) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCP_RelayServerConn>(peer, center);
    link->setTeacherId("teacher");
    Recorder recorder(center, AllNames(TCP_RelayServerConnCodeTable()));
    Start(*link);

    for (const Bytes& body : {Bytes{2, 0}, Bytes{3}, KeyBody(), MouseBody(), Bytes{7, 0}, Bytes{8},
                              H264Body(), golden::Envelope({7, 0, 0})})
        ASSERT_TRUE(peer.Write(golden::Frame(body)));
    std::vector<std::string> expected;
    bool wrap = false;
    for (const std::string& code : codes::kRelay) {
        const Bytes text = golden::TextBody(code);
        ASSERT_TRUE(peer.Write(golden::Frame(wrap ? golden::Envelope(text) : text)));
        wrap = !wrap;
        expected.push_back(codes::nameOf(code, "_RELAY"));
    }
    ASSERT_TRUE(peer.Write(golden::Frame(golden::Envelope(FileBody()))));
    expected.push_back("READ_MSG_UFILE_RELAY");
    ASSERT_TRUE(peer.Write(golden::Frame({10, 1, 0, 0, 0, 1, 0, 0, 0})));
    expected.push_back("READ_MSG_UCOMPRESSION_RELAY");
    ASSERT_TRUE(peer.Write(golden::Frame(golden::Envelope(DibBody()))));
    expected.push_back("READ_MSG_UCOMBINED_DIB_RELAY");

    ASSERT_TRUE(recorder.WaitFor(expected.size()));
    const auto posts = recorder.Posts();
    ASSERT_EQ(posts.size(), expected.size());
    for (std::size_t i = 0; i < posts.size(); ++i)
        EXPECT_EQ(posts[i].name, expected[i]) << i;
    peer.CloseConnection();
    ASSERT_TRUE(recorder.WaitFor(expected.size() + 1));
    link->JoinThreads();
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 1u);
}

TEST(LinkLifecycleTest, PeerCloseGivesExactlyOneDisconnectFromTheLink) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Recorder recorder(center, {"READ_MSG_DISCONNECT"});
    Start(*link);
    peer.CloseConnection();
    ASSERT_TRUE(recorder.WaitFor(1));
    link->Close(); // a second end must not post again
    link->JoinThreads();
    const auto posts = recorder.Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].sender, link.get());
    EXPECT_FALSE(link->isConnect());
    auto late = newRequestData(512);
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(*late, "[PC00003]"));
    EXPECT_FALSE(link->Send(std::move(late)));
}

TEST(LinkLifecycleTest, LocalCloseWakesTheReadAndClosesTheSocket) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCP_RelayServerConn>(peer, center);
    Recorder recorder(center, {"READ_MSG_DISCONNECT"});
    Start(*link);
    link->Close();
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_TRUE(peer.SeesEndOfStream());
    link->JoinThreads();
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 1u);
}

TEST(LinkLifecycleTest, CloseFromAHandlerOnTheReceiveThread) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Recorder recorder(center, {"READ_MSG_DISCONNECT"});
    std::weak_ptr<TCPServerClient> weak = link;
    platform::ObserverSet handler(center);
    handler.add("READ_MSG_MV00050", nullptr, [weak](const platform::Notification&) {
        if (auto self = weak.lock())
            self->Close();
    });
    Start(*link);
    ASSERT_TRUE(peer.Write(golden::Frame(golden::TextBody("[MV00050]true"))));
    ASSERT_TRUE(recorder.WaitFor(1));
    link.reset(); // the threads keep the object alive until they are done
    EXPECT_TRUE(peer.SeesEndOfStream());
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 1u);
    // The centre dies with this test: wait until the link's threads (still inside their last post)
    // have let go of the object, which they do only after posting.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!weak.expired() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_TRUE(weak.expired());
}

TEST(LinkLifecycleTest, FailedConnectStillReportsOneDisconnect) {
    const testsupport::RefusedPort refused;
    platform::NotificationCenter center;
    Recorder recorder(center, {"READ_MSG_DISCONNECT"});
    auto link = TCPServerClient::create(center);
    ASSERT_TRUE(link->Open());
    link->SetConnectTimeout(1);
    EXPECT_FALSE(link->Connect(kLoopback, refused.port()));
    auto request = newRequestData(512);
    ASSERT_TRUE(TCPServerClient::MakeSendPacket(*request, "[PC00003]"));
    EXPECT_FALSE(link->Send(std::move(request)));
    Start(*link);
    ASSERT_TRUE(recorder.WaitFor(1));
    link->JoinThreads();
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 1u);
}

TEST(LinkLifecycleTest, ThreadsWithoutSocketRecordPostNothing) {
    platform::NotificationCenter center;
    Recorder recorder(center, {"READ_MSG_DISCONNECT"});
    auto link = TCPServerClient::create(center);
    Start(*link);
    link->JoinThreads();
    EXPECT_EQ(recorder.Count("READ_MSG_DISCONNECT"), 0u);
}

TEST(LinkLifecycleTest, ThreadsStartOnlyOnceAndOnlyWhenShared) {
    platform::NotificationCenter center;
    TCPServerClient unshared(center);
    EXPECT_FALSE(unshared.StartReceiveThread());
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Start(*link);
    EXPECT_FALSE(link->StartReceiveThread());
    EXPECT_FALSE(link->StartRequestThread());
    link->Close();
    link->JoinThreads();
}

TEST(LinkSendTest, ThousandQueuedRequestsArriveInOrder) {
    constexpr int kRequests = 1000;
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    // Half queued before the send thread starts, half while it runs.
    auto queue = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            auto request = newRequestData(512);
            ASSERT_TRUE(TCPServerClient::MakeSendPacket(*request, "[PC00100]" + std::to_string(i)));
            ASSERT_TRUE(link->Send(std::move(request)));
        }
    };
    queue(0, kRequests / 2);
    Start(*link);
    queue(kRequests / 2, kRequests);
    for (int i = 0; i < kRequests; ++i) {
        const Bytes body = peer.ReadFrameBody();
        ASSERT_FALSE(body.empty()) << "frame " << i;
        ASSERT_EQ(golden::DecodeAsciiText(body), "[PC00100]" + std::to_string(i));
    }
    link->Close();
    link->JoinThreads();
}

TEST(LinkSendTest, HeartbeatGoesOutAsGoldenFrame) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCP_RelayServerConn>(peer, center);
    Start(*link);
    auto request = newRequestData(512);
    ASSERT_TRUE(TCP_RelayServerConn::MakeSendPacket(*request, "[PC00003]"));
    ASSERT_TRUE(link->Send(std::move(request)));
    EXPECT_EQ(peer.ReadFrameBody(), golden::kPC00003Body);
    link->Close();
    link->JoinThreads();
}

TEST(LinkSendTest, RequestsLeftWhenTheLinkEndsAreFreed) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    for (int i = 0; i < 50; ++i) {
        auto request = newRequestData(512);
        TCPServerClient::MakeSendPacket(*request, "[PC00003]");
        ASSERT_TRUE(link->Send(std::move(request)));
    }
    EXPECT_EQ(link->PendingRequests(), 50u);
    link->Close();
    Start(*link);
    link->JoinThreads();
    EXPECT_EQ(link->PendingRequests(), 0u);
}

TEST(LinkReceiveTest, BodyOverOneMebibyteGrowsTheBuffer) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Recorder recorder(center, {"READ_MSG_H264"});
    Start(*link);
    ASSERT_TRUE(peer.Write(golden::Frame(H264Body(2 * 1024 * 1024))));
    ASSERT_TRUE(peer.Write(golden::Frame(H264Body(10))));
    ASSERT_TRUE(recorder.WaitFor(2));
    const auto posts = recorder.Posts();
    EXPECT_EQ(posts[0].record->nH264Size, 2u * 1024 * 1024);
    EXPECT_EQ(posts[0].record->pH264Data.size(), 2u * 1024 * 1024);
    EXPECT_EQ(posts[1].record->nH264Size, 10u);
    link->Close();
    link->JoinThreads();
}

TEST(LinkReceiveTest, BadSyncWordEndsTheLink) {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = ConnectTo<TCPServerClient>(peer, center);
    Recorder recorder(center, {"READ_MSG_DISCONNECT", "READ_MSG_MV00050"});
    Start(*link);
    Bytes bad = golden::Frame(golden::TextBody("[MV00050]"), 0x00);
    bad[0] = 0xA1;
    ASSERT_TRUE(peer.Write(bad));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Posts()[0].name, "READ_MSG_DISCONNECT");
    link->JoinThreads();
}

} // namespace
} // namespace transport
