// Packet bytes of every screen-upload form, read by a scripted console (or relay) on loopback that
// frames packets with its own codec: thumbnails, sequenced and small live images, the one
// "[PC00004]" before the first live image, relay envelopes, the back-pressure rule, H.264 frames,
// images that cannot be encoded, and a stalled link that keeps at most two images unsent.
#include "support/CaptureFixture.h"
#include "support/ConsolePeer.h"
#include "support/PeerBodies.h"
#include "support/RelayPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <turbojpeg.h>
#include <unistd.h>

namespace streaming::test {
namespace {

using testsupport::Bytes;
using testsupport::PeerPacket;

constexpr std::uint8_t kScreenImageType = 7;
constexpr std::uint8_t kEnvelopeType = 13;
constexpr std::uint8_t kH264Type = 17;

std::uint32_t u32At(const Bytes& body, std::size_t offset) {
    return static_cast<std::uint32_t>(body.at(offset)) |
           static_cast<std::uint32_t>(body.at(offset + 1)) << 8 |
           static_cast<std::uint32_t>(body.at(offset + 2)) << 16 |
           static_cast<std::uint32_t>(body.at(offset + 3)) << 24;
}

bool zeros(const Bytes& body, std::size_t from, std::size_t to) {
    return std::all_of(body.begin() + static_cast<std::ptrdiff_t>(from),
                       body.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
}

struct JpegSize {
    int width = 0;
    int height = 0;
};

JpegSize jpegSize(const std::uint8_t* data, std::size_t size) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    const int status = tjDecompressHeader3(handle, data, static_cast<unsigned long>(size), &width, &height,
                                           &subsampling, &colorspace);
    tjDestroy(handle);
    return status == 0 ? JpegSize{width, height} : JpegSize{};
}

// The screen-image body as laid out on the wire: type 7, 20 zero bytes, sequence, 12 zero bytes,
// width, height, the size twice, then the JPEG.
void expectScreenImage(const Bytes& body, std::uint32_t seq, std::uint32_t width, std::uint32_t height) {
    ASSERT_GE(body.size(), 53u);
    EXPECT_EQ(body[0], kScreenImageType);
    EXPECT_TRUE(zeros(body, 1, 21));
    EXPECT_EQ(u32At(body, 21), seq);
    EXPECT_TRUE(zeros(body, 25, 37));
    EXPECT_EQ(u32At(body, 37), width);
    EXPECT_EQ(u32At(body, 41), height);
    const std::uint32_t size = u32At(body, 45);
    EXPECT_EQ(u32At(body, 49), size);
    ASSERT_EQ(body.size(), 53u + size);
    ASSERT_GE(size, 2u);
    EXPECT_EQ(body[53], 0xFF);
    EXPECT_EQ(body[54], 0xD8);
    const JpegSize decoded = jpegSize(body.data() + 53, size);
    EXPECT_EQ(decoded.width, static_cast<int>(width));
    EXPECT_EQ(decoded.height, static_cast<int>(height));
}

class UploadWireTest : public CaptureFixture {
protected:
    void TearDown() override {
        CaptureFixture::TearDown();
        m_console.reset();
        m_relay.reset();
    }

    // A direct session with a console of the given version ("[MV00094]"), logged in.
    void startDirectSession(const std::string& version, bool daemon = false) {
        m_console = std::make_unique<testsupport::ConsolePeer>();
        m_console->setVersion(version);
        m_console->setFreeSlots(std::nullopt); // the slot check waits on the main clock; not under test here
        ASSERT_TRUE(m_console->start());
        useDirectConsole(m_console->port());
        ASSERT_NO_FATAL_FAILURE(daemon ? startDaemon() : startProcessor());
        login();
        ASSERT_TRUE(m_console->waitForLinks(1));
        m_client = client::gStudentClient();
        ASSERT_TRUE(m_client);
        if (version > "2011056") {
            ASSERT_TRUE(eventually([&] { return m_client->getRemoteSeqProcess(); }));
        }
    }

    // Thumbnails at w x h with every frame accepted (refresh 0) and quality 40.
    void askThumbnails(int w, int h) {
        m_console->sendText("[MV00001]" + std::to_string(w) + "," + std::to_string(h) + ",0,40");
        ASSERT_TRUE(eventually([&] {
            return client::gStudentSessionInfo().m_nThumbWidth.load() == w &&
                   m_client->getRefreshDelay() == 0;
        }));
    }

    void startLiveView() {
        m_console->sendText("[MV00004]");
        // The link handles commands in order: once the next one took effect, the live-view start
        // (which resets the draw sequence after a pause) has finished.
        m_console->sendText("[MV00014]" + std::to_string(++m_marker));
        ASSERT_TRUE(eventually([&] {
            return m_client->getRemoteView() &&
                   m_client->getfQuality() == static_cast<float>(m_marker / 100.0);
        }));
    }

    // Delivers ten ticks (live images at ticks 3, 6 and 9 of the 100 ms live interval, or one
    // later after a frame at tick 1), expects them sequenced 0, 1 and 2, and answers what the
    // console has then and where its first "[PC00004]" lies.
    void expectLiveImagesFromZero(std::vector<PeerPacket>& all, std::size_t& notice) {
        ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(10));
        for (std::uint32_t seq = 0; seq < 3; ++seq) {
            auto image = m_console->waitForBody(kScreenImageType);
            ASSERT_TRUE(image);
            expectScreenImage(image->body, seq, kScreenWidth, kScreenHeight);
        }
        all = m_console->received();
        const auto found =
            std::find_if(all.begin(), all.end(), [](const PeerPacket& p) { return p.code() == "[PC00004]"; });
        ASSERT_NE(found, all.end());
        notice = static_cast<std::size_t>(found - all.begin());
    }

    // Packets of one body type, in arrival order.
    std::vector<PeerPacket> bodies(testsupport::ScriptedPeer& peer, std::uint8_t type) {
        std::vector<PeerPacket> out;
        for (PeerPacket& p : peer.received())
            if (p.payloadType() == type && !p.text)
                out.push_back(std::move(p));
        return out;
    }

    std::unique_ptr<testsupport::ConsolePeer> m_console;
    std::unique_ptr<testsupport::RelayPeer> m_relay;
    std::shared_ptr<client::StudentClient> m_client;
    int m_marker = 40;
};

TEST_F(UploadWireTest, ThumbnailCarriesTheAskedSizeAndTheGrowingDrawSequence) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    deliverTicks(2);
    auto first = m_console->waitForBody(kScreenImageType);
    auto second = m_console->waitForBody(kScreenImageType);
    ASSERT_TRUE(first && second);
    expectScreenImage(first->body, 0, 160, 120);
    expectScreenImage(second->body, 1, 160, 120);
    EXPECT_EQ(m_client->getDrawSeq(), 2);
    EXPECT_EQ(m_client, m_handedOver);
}

// A thumbnail asked larger than the captured screen is made at most at the screen's size, on
// each axis; the packet carries the size actually sent.
TEST_F(UploadWireTest, ThumbnailLargerThanTheScreenIsClampedToIt) {
    struct Case {
        int askedWidth;
        int askedHeight;
        std::uint32_t sentWidth;
        std::uint32_t sentHeight;
    };
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    std::uint32_t seq = 0;
    for (const Case& c : {Case{16384, 16384, kScreenWidth, kScreenHeight}, Case{4000, 600, kScreenWidth, 600},
                          Case{320, 9000, 320, kScreenHeight}}) {
        ASSERT_NO_FATAL_FAILURE(askThumbnails(c.askedWidth, c.askedHeight));
        deliverTicks(1);
        auto image = m_console->waitForBody(kScreenImageType);
        ASSERT_TRUE(image);
        expectScreenImage(image->body, seq++, c.sentWidth, c.sentHeight);
    }
}

TEST_F(UploadWireTest, LiveImagesAreSequencedAndTheFirstIsAnnouncedOnce) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    std::vector<PeerPacket> all;
    std::size_t at = 0;
    ASSERT_NO_FATAL_FAILURE(expectLiveImagesFromZero(all, at));
    const auto notice = all.begin() + static_cast<std::ptrdiff_t>(at);
    const auto image = std::find_if(all.begin(), all.end(),
                                    [](const PeerPacket& p) { return p.type() == kScreenImageType; });
    EXPECT_EQ(notice->params(), "1440,900");
    EXPECT_LT(notice - all.begin(), image - all.begin());
    EXPECT_EQ(m_console->count("[PC00004]"), 1u);
    EXPECT_EQ(logCount("[ZQ]PC00004 Sended"), 1u);
}

// "[MV00004]" arrives while a thumbnail is being encoded (the frame is held in its painting): the
// thumbnail is dropped, and the console sees one "[PC00004]" and then live images 0, 1, 2, never a
// thumbnail after the notice.
TEST_F(UploadWireTest, LiveViewStartDuringAThumbnailKeepsTheLiveNumbering) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    deliverTicks(1);
    auto thumb = m_console->waitForBody(kScreenImageType);
    ASSERT_TRUE(thumb);
    expectScreenImage(thumb->body, 0, 160, 120);

    std::promise<void> held;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> once{false};
    setPaintHook([&](std::uint64_t) {
        if (!once.exchange(true)) {
            held.set_value();
            released.wait();
        }
    });
    std::thread ticker([this] { deliverTicks(1); });
    held.get_future().wait();
    startLiveView(); // whatever it finds, the held frame is let go before the case may end
    release.set_value();
    ticker.join();
    setPaintHook({});
    ASSERT_FALSE(HasFatalFailure());

    std::vector<PeerPacket> all;
    std::size_t notice = 0;
    ASSERT_NO_FATAL_FAILURE(expectLiveImagesFromZero(all, notice));
    for (auto it = all.begin() + static_cast<std::ptrdiff_t>(notice); it != all.end(); ++it) {
        if (it->type() == kScreenImageType) {
            EXPECT_EQ(u32At(it->body, 37), static_cast<std::uint32_t>(kScreenWidth))
                << "thumbnail after the notice";
        }
    }
    EXPECT_EQ(m_console->count("[PC00004]"), 1u);
}

// A thumbnail size that makes an empty image (negative, or one point halved on a high-density
// screen) is refused once when it arrives; many frames later the log has grown by a few lines.
TEST_F(UploadWireTest, EmptyThumbnailSizesLogABoundedNumberOfLines) {
    struct SizeCase {
        const char* size;
        double scale;
    };
    constexpr int kFrames = 60;
    constexpr std::size_t kMostLines = 3;
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    for (const SizeCase& c :
         {SizeCase{"0,0", 1.0}, SizeCase{"-1,-1", 1.0}, SizeCase{"-3,120", 1.0}, SizeCase{"1,1", 2.0}}) {
        SCOPED_TRACE(c.size);
        platform::ScreenInfo screen;
        screen.width = kScreenWidth;
        screen.height = kScreenHeight;
        screen.scales = {c.scale};
        platform::screens::setInfo(screen);
        m_console->sendText(std::string("[MV00003]") + c.size);
        m_console->sendText("[MV00014]" + std::to_string(++m_marker));
        ASSERT_TRUE(
            eventually([&] { return m_client->getfQuality() == static_cast<float>(m_marker / 100.0); }));
        const std::size_t before = logLines().size();
        deliverTicks(kFrames);
        EXPECT_LE(logLines().size() - before, kMostLines);
        EXPECT_LE(logCount("[ZQ]Invalid Image"), 1u);
    }
}

// A size that makes no image asks for none: thumbnails stop until the console asks for a size that
// makes one, instead of going on at the size asked for before.
TEST_F(UploadWireTest, ASizeThatMakesNoImageStopsThumbnailsUntilAGoodSizeComes) {
    constexpr int kFrames = 10;
    startDirectSession("2011057");
    askThumbnails(160, 120);
    deliverTicks(1);
    ASSERT_TRUE(m_console->waitForBody(kScreenImageType));
    m_console->sendText("[MV00003]-3,120");
    m_console->sendText("[MV00014]" + std::to_string(++m_marker));
    ASSERT_TRUE(eventually([&] { return m_client->getfQuality() == static_cast<float>(m_marker / 100.0); }));
    deliverTicks(kFrames);
    EXPECT_FALSE(m_console->waitForBody(kScreenImageType, std::chrono::milliseconds(300)));
    askThumbnails(100, 80);
    deliverTicks(1);
    auto image = m_console->waitForBody(kScreenImageType);
    ASSERT_TRUE(image);
    EXPECT_EQ(u32At(image->body, 37), 100u);
    EXPECT_EQ(u32At(image->body, 41), 80u);
}

// A size that made an image when it came and makes none after the screen turned high-density: the
// capture queue says so once, not on each of many frames, and sends nothing.
TEST_F(UploadWireTest, ASizeThatTurnsEmptyAfterADisplayChangeIsLoggedOnce) {
    constexpr int kFrames = 60;
    startDirectSession("2011057");
    askThumbnails(1, 1);
    deliverTicks(1);
    ASSERT_TRUE(m_console->waitForBody(kScreenImageType));
    platform::ScreenInfo screen;
    screen.width = kScreenWidth;
    screen.height = kScreenHeight;
    screen.scales = {2.0};
    platform::screens::setInfo(screen);
    deliverTicks(kFrames);
    const auto lines = logLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find("is empty; nothing sent") != std::string::npos;
                            }),
              1);
    EXPECT_FALSE(m_console->waitForBody(kScreenImageType, std::chrono::milliseconds(300)));
}

TEST_F(UploadWireTest, OlderConsoleGetsTheSmallFormWithoutSequenceOrBackPressure) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011056"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    m_client->setDrawSeq(50); // far ahead of the console: no back-pressure for this form
    deliverTicks(7);
    for (int i = 0; i < 2; ++i) {
        auto image = m_console->waitForBody(kScreenImageType);
        ASSERT_TRUE(image);
        expectScreenImage(image->body, 0, kScreenWidth, kScreenHeight);
    }
    EXPECT_EQ(m_client->getDrawSeq(), 50);
}

TEST_F(UploadWireTest, UnacknowledgedLiveImagesHoldTheNextOneBack) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    m_console->sendText("[MV00079]10");
    ASSERT_TRUE(eventually([&] { return m_client->getServerDrawSeq() == 10; }));
    m_client->setDrawSeq(15);
    deliverTicks(4); // tick 3 accepted, held back
    EXPECT_EQ(logCount("[ZQ_CALLBACK]Network is unstable.. 10/15 pending"), 1u);
    EXPECT_EQ(m_client->getDrawSeq(), 15);

    m_client->setDrawSeq(14);
    deliverTicks(3); // tick 6 accepted and sent
    auto image = m_console->waitForBody(kScreenImageType);
    ASSERT_TRUE(image);
    expectScreenImage(image->body, 14, kScreenWidth, kScreenHeight);
    EXPECT_EQ(bodies(*m_console, kScreenImageType).size(), 1u);
}

TEST_F(UploadWireTest, RelaySessionWrapsImagesWithSequenceZero) {
    m_relay = std::make_unique<testsupport::RelayPeer>(testsupport::RelayPeer::Role::Session);
    ASSERT_TRUE(m_relay->start());
    useRelay(m_relay->port());
    ASSERT_NO_FATAL_FAILURE(startProcessor());
    login();
    m_client = client::gStudentClient();
    ASSERT_TRUE(m_client);
    ASSERT_TRUE(eventually([&] { return m_client->getRelayConnData().nConnId == 17; }));
    ASSERT_TRUE(m_relay->waitFor("[PC_CONN]"));

    m_relay->sendEnveloped("[MV00001]160,120,0,40");
    ASSERT_TRUE(eventually([] { return client::gStudentSessionInfo().m_nThumbHeight.load() == 120; }));
    deliverTicks(1);
    auto thumb = m_relay->waitForBody(kScreenImageType);
    ASSERT_TRUE(thumb);
    // Envelope: type 13, the teacher's connection, this student's, the inner length.
    const Bytes& body = thumb->body;
    ASSERT_GE(body.size(), 13u);
    EXPECT_EQ(body[0], kEnvelopeType);
    EXPECT_EQ(u32At(body, 1), 4u);
    EXPECT_EQ(u32At(body, 5), 17u);
    EXPECT_EQ(u32At(body, 9), body.size() - 13);
    expectScreenImage(Bytes(body.begin() + 13, body.end()), 0, 160, 120);
    EXPECT_EQ(m_client->getDrawSeq(), 0);

    // "[MV00001]" on the relay answers with the screen size, before the live view.
    ASSERT_TRUE(m_relay->waitFor("[PC00004]"));
    m_relay->sendEnveloped("[MV00004]");
    ASSERT_TRUE(eventually([&] { return m_client->getRemoteView(); }));
    deliverTicks(3); // tick 4 (next 100 ms after tick 1)
    auto notice = m_relay->waitFor("[PC00004]");
    ASSERT_TRUE(notice);
    EXPECT_TRUE(notice->envelope);
    EXPECT_EQ(notice->params(), "1440,900");
    auto live = m_relay->waitForBody(kScreenImageType);
    ASSERT_TRUE(live && live->envelope);
    expectScreenImage(live->envelope->inner, 0, kScreenWidth, kScreenHeight);
    EXPECT_EQ(logCount("[ZQ]PC00004 Sended"), 0u);
    // Later live images of the same view come without a notice of their own.
    deliverTicks(6);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(m_relay->waitForBody(kScreenImageType));
    EXPECT_EQ(m_relay->count("[PC00004]"), 2u);
}

TEST_F(UploadWireTest, H264LiveViewOnTheDirectLinkSendsAnnouncedSequencedFrames) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    m_console->sendText("[MV00264]true");
    ASSERT_TRUE(eventually([&] { return m_client->getH264RemoteScreen(); }));
    ASSERT_TRUE(m_console->waitFor("[PC00609]")); // the handler's own notice
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    ASSERT_NO_FATAL_FAILURE(deliverTicksAsTheLinksSend(10));
    auto announce = m_console->waitFor("[PC00609]");
    ASSERT_TRUE(announce);
    EXPECT_EQ(announce->params(), "1920,1080");
    for (std::uint32_t seq = 0; seq < 3; ++seq) {
        auto packet = m_console->waitForBody(kH264Type);
        ASSERT_TRUE(packet);
        auto frame = testsupport::parseH264(packet->body);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->drawSeq, seq);
        EXPECT_EQ(frame->extra, 0u);
        if (seq == 0) {
            ASSERT_GE(frame->data.size(), 4u);
            EXPECT_EQ(Bytes(frame->data.begin(), frame->data.begin() + 4), (Bytes{0, 0, 0, 1}));
        }
    }
    EXPECT_TRUE(bodies(*m_console, kScreenImageType).empty());
    EXPECT_EQ(m_client->getH264DrawSeq(), 3);
}

TEST_F(UploadWireTest, DaemonSetsTheEncoderUpAgainAfterAThumbnailFrame) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057", true));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    m_console->sendText("[MV00264]true");
    ASSERT_TRUE(eventually([&] { return m_client->getH264RemoteScreen(); }));
    ASSERT_TRUE(m_console->waitFor("[PC00609]"));
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    deliverTicks(4); // tick 3: first H.264 frame
    ASSERT_TRUE(m_console->waitFor("[PC00609]"));
    ASSERT_TRUE(m_console->waitForBody(kH264Type));
    m_console->sendText("[MV00005]");
    ASSERT_TRUE(eventually([&] { return !m_client->getRemoteView(); }));
    deliverTicks(1); // a thumbnail frame clears the set-up
    ASSERT_TRUE(m_console->waitForBody(kScreenImageType));
    EXPECT_FALSE(m_client->getH264Init());
    ASSERT_NO_FATAL_FAILURE(startLiveView());
    deliverTicks(3);
    ASSERT_TRUE(m_console->waitFor("[PC00609]"));
    auto packet = m_console->waitForBody(kH264Type);
    ASSERT_TRUE(packet);
    EXPECT_EQ(testsupport::parseH264(packet->body)->drawSeq, 1u);
}

TEST_F(UploadWireTest, AnImageThatCannotBeEncodedIsNotSentAndKeepsTheSequence) {
    platform::ScreenInfo retina;
    retina.width = kScreenWidth;
    retina.height = kScreenHeight;
    retina.scales = {2.0};
    platform::screens::setInfo(retina);
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    ASSERT_NO_FATAL_FAILURE(askThumbnails(160, 120));
    m_console->sendText("[MV00014]5"); // factor 0.05: below what a high-density display takes
    ASSERT_TRUE(eventually([&] { return m_client->getfQuality() < 0.1f; }));
    deliverTicks(3);
    EXPECT_EQ(m_client->getDrawSeq(), 0);
    m_console->sendText("[MV00014]40");
    ASSERT_TRUE(eventually([&] { return m_client->getfQuality() > 0.3f; }));
    deliverTicks(1);
    auto image = m_console->waitForBody(kScreenImageType);
    ASSERT_TRUE(image);
    expectScreenImage(image->body, 0, 160, 120); // the first image sent has sequence 0
    EXPECT_EQ(bodies(*m_console, kScreenImageType).size(), 1u);
}

TEST_F(UploadWireTest, DisplayChangeSendsTheNewScreenSize) {
    ASSERT_NO_FATAL_FAILURE(startDirectSession("2011057"));
    platform::ScreenInfo screen;
    screen.width = 1280.9;
    screen.height = 800.2;
    screen.scales = {1.0};
    platform::screens::setInfo(screen);
    platform::screens::notifyDisplayChanged();
    auto notice = m_console->waitFor("[PC00004]");
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->params(), "1280,800");
}

// A console that accepted nothing and reads nothing: the link's buffers fill and stay full.
class StalledListener {
public:
    StalledListener() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_fd, 4) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~StalledListener() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

TEST_F(UploadWireTest, AStalledLinkKeepsAtMostTwoImagesUnsentAndStillTakesCommands) {
    StalledListener listener;
    ASSERT_NE(listener.port(), 0);
    useDirectConsole(listener.port());
    ASSERT_NO_FATAL_FAILURE(startProcessor());
    login();
    m_client = client::gStudentClient();
    ASSERT_TRUE(m_client && m_client->getMVConn()->isConnect());
    m_noise = true;
    deliverDirect("READ_MSG_MV00003", "1440,900");
    deliverDirect("READ_MSG_MV00006", "0");
    deliverDirect("READ_MSG_MV00014", "100");

    constexpr int kFrames = 16; // megabytes each: far more than the socket buffers hold
    deliverTicks(kFrames);
    auto link = m_client->getMVConn();
    EXPECT_LE(link->PendingRequests(), kMaxUnsentScreenImages);
    EXPECT_LT(fetchedTicks().size(),
              static_cast<std::size_t>(kFrames)); // skipped frames are not even captured
    const auto lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("[ZQ_CALLBACK]Link is busy", 0) == 0;
    }));
    const std::size_t before = link->PendingRequests();
    EXPECT_TRUE(m_client->sendCommand("[PC00017]3.0.2.1008", client::StudentClient::Link::Direct));
    EXPECT_EQ(link->PendingRequests(), before + 1);
}

} // namespace
} // namespace streaming::test
