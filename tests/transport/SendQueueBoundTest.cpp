// A link whose peer accepts and then never reads: its send queue stops at a bound on the memory its
// requests hold and the link ends as lost, reported once, on either link class.
#include "LoopbackPeer.h"
#include "platform/NotificationCenter.h"
#include "transport/TCPServerClient.h"
#include "transport/TCP_RelayServerConn.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace transport {
namespace {

constexpr std::size_t kPieceBytes = 1024 * 1024;
// Far more than the bound and every socket buffer between the link and the peer together.
constexpr int kMaxPieces = 256;

class DisconnectCounter {
public:
    explicit DisconnectCounter(platform::NotificationCenter& center) : m_set(center) {
        m_set.add("READ_MSG_DISCONNECT", nullptr, [this](const platform::Notification&) {
            std::lock_guard lock(m_mutex);
            ++m_count;
            m_cond.notify_all();
        });
    }
    bool WaitForFirst() {
        std::unique_lock lock(m_mutex);
        return m_cond.wait_for(lock, std::chrono::seconds(10), [this] { return m_count > 0; });
    }
    int Count() {
        std::lock_guard lock(m_mutex);
        return m_count;
    }

private:
    platform::ObserverSet m_set;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    int m_count = 0;
};

std::unique_ptr<SRequestData> Piece() {
    auto request = std::make_unique<SRequestData>();
    request->pBuffer.assign(kPieceBytes, 0x42);
    request->pBuffer[0] = kBodyH264;
    request->nLength = kPieceBytes;
    return request;
}

template <typename Link>
void ExpectQueueStopsAndLinkEnds() {
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = Link::create(center);
    ASSERT_TRUE(link->Open());
    ASSERT_TRUE(link->Connect("127.0.0.1", peer.port()));
    ASSERT_TRUE(peer.Accept()); // and never reads
    DisconnectCounter disconnects(center);
    ASSERT_TRUE(link->StartReceiveThread());
    ASSERT_TRUE(link->StartRequestThread());

    int accepted = 0;
    std::uint64_t mostPending = 0;
    while (accepted < kMaxPieces && link->Send(Piece())) {
        ++accepted;
        mostPending = std::max(mostPending, link->PendingBytes());
    }
    EXPECT_LT(accepted, kMaxPieces) << "the queue never stopped growing";
    EXPECT_LE(mostPending, kMaxQueuedBytes);
    ASSERT_TRUE(disconnects.WaitForFirst());
    EXPECT_FALSE(link->Send(Piece())); // a lost link takes nothing more
    link->Close();
    link->JoinThreads();
    EXPECT_EQ(disconnects.Count(), 1);
    EXPECT_EQ(link->PendingBytes(), 0u);
}

// The bound is on what waits unsent, never on what was written in total: a peer that reads takes
// more than the bound over the link's life, the link stays up and its queue empties.
template <typename Link>
void ExpectQueueDrainsWhileThePeerReads() {
    constexpr int kPieces = static_cast<int>(kMaxQueuedBytes / kPieceBytes) + 16;
    // The sender lets the queue drain below this before it adds the next piece.
    constexpr std::uint64_t kHeadroom = kMaxQueuedBytes / 4;
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = Link::create(center);
    ASSERT_TRUE(link->Open());
    ASSERT_TRUE(link->Connect("127.0.0.1", peer.port()));
    ASSERT_TRUE(peer.Accept());
    DisconnectCounter disconnects(center);
    ASSERT_TRUE(link->StartReceiveThread());
    ASSERT_TRUE(link->StartRequestThread());
    std::atomic<int> read{0};
    std::thread reader([&] {
        while (read.load() < kPieces && peer.ReadFrameBody().size() == kPieceBytes)
            ++read;
    });
    for (int i = 0; i < kPieces; ++i) {
        for (int spin = 0; link->PendingBytes() > kHeadroom && spin < 100000; ++spin)
            std::this_thread::yield();
        ASSERT_TRUE(link->Send(Piece())) << "piece " << i;
    }
    reader.join();
    EXPECT_EQ(read.load(), kPieces);
    // The count drops once the write returns, which may be just after the peer read the bytes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (link->PendingBytes() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(link->PendingBytes(), 0u);
    EXPECT_EQ(disconnects.Count(), 0);
    link->Close();
    link->JoinThreads();
}

// A console whose every command draws a reply (as "[MV00264]" draws the H.264 answers) and which
// never reads: each reply waits in a 512-byte request for its 65 body bytes. The link ends when
// the memory those requests hold reaches the bound, not when their body bytes would (eight times
// as many requests).
TEST(SendQueueBoundTest, RepliesToACommandFloodEndTheLinkWhenTheirMemoryReachesTheBound) {
    constexpr std::size_t kReplyRequestBytes = 512;
    constexpr const char* kReply = "[PC00607]true";
    // Twice the requests whose buffers alone fill the bound: the link must end well before.
    constexpr std::size_t kMaxCommands = 2 * kMaxQueuedBytes / kReplyRequestBytes;
    platform::NotificationCenter center;
    golden::LoopbackPeer peer;
    auto link = TCPServerClient::create(center);
    ASSERT_TRUE(link->Open());
    ASSERT_TRUE(link->Connect("127.0.0.1", peer.port()));
    ASSERT_TRUE(peer.Accept());
    DisconnectCounter disconnects(center);
    std::size_t accepted = 0;
    std::size_t mostRequests = 0;
    std::uint64_t mostHeld = 0;
    platform::ObserverSet replies(center);
    replies.add("READ_MSG_MV00264", nullptr, [&](const platform::Notification&) {
        auto request = newRequestData(static_cast<int>(kReplyRequestBytes));
        ASSERT_TRUE(TCPServerClient::MakeSendPacket(*request, kReply));
        if (!link->Send(std::move(request)))
            return;
        ++accepted;
        mostRequests = std::max(mostRequests, link->PendingRequests());
        mostHeld = std::max(mostHeld, link->PendingBytes());
    });
    ASSERT_TRUE(link->StartReceiveThread());
    ASSERT_TRUE(link->StartRequestThread());
    const golden::Bytes command = golden::Frame(golden::TextBody("[MV00264]true"));
    std::size_t written = 0;
    while (written < kMaxCommands && peer.Write(command))
        ++written;
    EXPECT_LT(written, kMaxCommands) << "the link never ended";
    ASSERT_TRUE(disconnects.WaitForFirst());
    link->Close();
    link->JoinThreads();
    EXPECT_EQ(disconnects.Count(), 1);
    EXPECT_GT(accepted, 0u);
    EXPECT_LE(mostRequests * kReplyRequestBytes, kMaxQueuedBytes);
    EXPECT_LE(mostHeld, kMaxQueuedBytes);
    // It ended at the bound, not long before: the buffers alone came to most of it.
    EXPECT_GT(mostRequests * kReplyRequestBytes, kMaxQueuedBytes / 2);
    EXPECT_EQ(link->PendingBytes(), 0u);
}

TEST(SendQueueBoundTest, ALinkWhosePeerReadsOutlivesMoreThanTheBoundInTotal) {
    ExpectQueueDrainsWhileThePeerReads<TCPServerClient>();
    ExpectQueueDrainsWhileThePeerReads<TCP_RelayServerConn>();
}

TEST(SendQueueBoundTest, DirectLinkEndsWhenThePeerStopsReading) {
    ExpectQueueStopsAndLinkEnds<TCPServerClient>();
}

TEST(SendQueueBoundTest, RelayLinkEndsWhenThePeerStopsReading) {
    ExpectQueueStopsAndLinkEnds<TCP_RelayServerConn>();
}

} // namespace
} // namespace transport
