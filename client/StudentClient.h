// The protocol client of one login: owns the direct link to the teacher console or the client
// relay link (never both), answers the console's commands, keeps the state they set (read by
// capture and upload through the accessors), turns the windows' chat, mouse and keyboard events
// into packets, and is the one writer of the session's packets: its typed sends (file pieces,
// strokes, screen images, H.264 frames, heartbeats, text commands) pick the link and build the
// packet for it (StudentClientSends.cpp). Created on the main thread after login (create()); handlers run on
// the receiving link's thread, window events on the main thread, accessors from any thread (all fields atomic
// or locked).
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "transport/PacketData.h"
#include "transport/ScreenUpdateLimits.h"
#include "transport/TCPServerClient.h"
#include "transport/TCP_RelayServerConn.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace streaming {
class H264Encoder;
}

namespace client {

class StudentClient : public std::enable_shared_from_this<StudentClient> {
public:
    // Which link a command goes out on: the direct link, the relay link wrapped in an envelope,
    // or the one the global configuration's relay mode chooses.
    // RelayUnwrapped is the relay link without an envelope (only the relay's "[US00001]" answer).
    enum class Link { Direct, Relay, RelayUnwrapped, ByConfiguration };

    // Request sizes: a text command takes 73 + 2 bytes per UTF-16 unit of its text.
    static constexpr std::size_t kCommandRequestBytes = 512;
    static constexpr std::size_t kTextFieldOverheadBytes = 73;
    // The chat window lets through lines of up to 511 UTF-16 units; each "," of the line goes out
    // widened to the seven units of "&comma;", and a line feed follows it. The chat command adds
    // "[PC00015]" before the line and ",5000" after it.
    static constexpr std::size_t kLongestChatLineUnits = 511;
    static constexpr std::size_t kWidenedCommaUnits = 7;
    static constexpr std::size_t kChatCommandFrameUnits = 9 + 1 + 5; // code, line feed, ",5000"
    static constexpr std::size_t kLongestChatCommandUnits =
        kLongestChatLineUnits * kWidenedCommaUnits + kChatCommandFrameUnits;
    // Sized for the longest line of nothing but commas, the worst case in units and in UTF-8 bytes
    // alike (a comma is one byte and seven once widened; any other unit is at most three bytes).
    static constexpr std::size_t kChatRequestBytes = kTextFieldOverheadBytes + 2 * kLongestChatCommandUnits;
    // Local text buffers of the chat line and the keyboard text (terminating zero included).
    static constexpr std::size_t kChatTextBufferBytes = kLongestChatCommandUnits + 1;
    static constexpr std::size_t kKeyboardTextBufferBytes = 1024;

    static constexpr int kDirectConnectTimeoutSeconds = 7;
    static constexpr int kRelayConnectTimeoutSeconds = 4;
    static constexpr std::int32_t kInitialRefreshDelayMs = 300;
    static constexpr float kInitialQuality = 0.4f;
    // Consoles above this version acknowledge uploaded frames by sequence.
    static constexpr std::int32_t kSequencedUploadMinVersion = 2011056;
    static constexpr std::int32_t kColorDepthBits = 32;
    static constexpr int kMouseWheelEvent = 522;

    // Makes the client: initial values, settings suite, the link of the configured mode (not
    // connected) and the observers for that link and the window events.
    static std::shared_ptr<StudentClient>
    create(platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    // Construction goes through create(); the tag keeps it there.
    struct CreateTag {
        explicit CreateTag() = default;
    };
    StudentClient(CreateTag, platform::NotificationCenter& center);
    ~StudentClient();
    StudentClient(const StudentClient&) = delete;
    StudentClient& operator=(const StudentClient&) = delete;

    // Removes every observer and closes the links. Called before the client is replaced; safe from
    // any thread, also from inside one of its handlers; idempotent.
    void teardown();

    bool connectToServer();
    bool connectToRelayServer();
    // Why the last connect above failed, for the log ("" when it succeeded or none ran).
    std::string connectFailure() const;
    // Closes the direct link (its receive thread then reports the link down).
    void closeConnection();

    // Connects the session's link (sessionLink()): the relay link in a relay session, else the
    // direct link to the console.
    bool connectSession();

    // The typed sends below are the one writer of the session's packets: each builds its packet in
    // the form of the link it goes out on (plain on the direct link, in an envelope with this
    // session's ids on the relay link) and queues it there. The link is picked in one place: Link
    // names it, and ByConfiguration is sessionLink(). Any thread.

    // The link this session runs on: Relay when the global configuration's relay mode is on (the
    // login went through the relay), else Direct.
    Link sessionLink() const;
    // The connection of that link (empty when this session lacks it), for callers that pace
    // themselves on its queue (the screen upload's unsent-image gate).
    std::shared_ptr<transport::TCPConnection> sessionConnection() const;
    // Bytes waiting unsent on the session's link (0 without one): the file sender paces on it.
    std::uint64_t pendingBytes() const;
    // Whether sender is one of this client's links (they post with their connection as sender).
    bool isLinkSender(const void* sender) const;

    // How a packet meets its link: empty, straight onto it; otherwise through the caller's flow
    // control, which queues it on the link handed over and answers Send's result.
    using Queue = std::function<bool(const std::shared_ptr<transport::TCPConnection>&,
                                     std::unique_ptr<transport::SRequestData>)>;

    // Formats nothing: sends a complete command text on the chosen link in a request of
    // requestBytes. A text that does not fit the request, or a link this session lacks, sends
    // nothing (answers false; a too-long text is logged).
    bool sendCommand(const std::string& text, Link link, std::size_t requestBytes = kCommandRequestBytes,
                     const Queue& queue = {});
    // The heartbeat "[PC00003]" on the link its chain was armed for.
    bool sendHeartbeat(Link link);

    // One piece of a file the student sends, on the session's link. The bytes are borrowed for
    // the call.
    struct FilePiece {
        const std::uint8_t* data = nullptr;
        std::int32_t size = 0; // bytes behind data
        const std::string& name;
        std::int32_t total = 0; // pieces of the file
        std::int32_t seq = 0;
    };
    // False when the piece could not be queued (logged: no link, not built, or the link is down).
    bool sendFilePiece(const FilePiece& piece);

    // A share-board stroke goes out in requests of this size (the builder's header and 8 bytes a point).
    static constexpr std::size_t kStrokeRequestBytes = 102400;
    // Stroke packets, each in its own request, in order, on the direct link: the console draws what
    // the student draws over its screen, which a relay session never shows. Answers how many were
    // queued (a packet the builder refuses is left out, logged).
    std::size_t sendStrokePackets(const std::vector<transport::StrokeData>& packets);

    // Room for headers around a payload (a screen image, an H.264 frame).
    static constexpr std::size_t kPayloadRequestExtraBytes = 512;
    // A JPEG screen image. The bytes are borrowed for the call.
    struct ScreenImage {
        const std::uint8_t* jpeg = nullptr;
        std::size_t size = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        // Direct link: the sequenced form with this draw sequence, or the small form without one.
        // The relay carries no acknowledgements: its envelope's sequence is always 0.
        std::optional<std::int32_t> drawSeq;
    };
    bool sendScreenImage(const ScreenImage& image, const Queue& queue = {});
    // An encoded H.264 frame (empty for one the rate control skipped); the direct link only.
    bool sendH264Frame(const std::uint8_t* bytes, std::size_t size, std::int32_t drawSeq,
                       const Queue& queue = {});

    // Accessors (any thread).
    std::shared_ptr<transport::TCPServerClient> getMVConn() const;
    std::shared_ptr<transport::TCP_RelayServerConn> getRelayConn() const;
    transport::RelayConnData getRelayConnData() const { return m_relayConnData.load(); }
    bool getRemoteView() const { return (m_remoteViewState.load() & kRemoteViewOn) != 0; }
    // The live view as the capture queue takes it for one frame: whether it is on. A start by
    // "[MV00004]" since the last take sets the draw sequence back to 0 here, on the capture queue,
    // so a thumbnail in flight on that queue can neither take nor undo the reset. Capture queue.
    bool takeRemoteView();
    // Whether a live view is on or began after the last take: a thumbnail encoded meanwhile is
    // stale and must not follow the live view's "[PC00004]".
    bool liveViewBegan() const { return m_remoteViewState.load() != 0; }
    std::int32_t getRefreshDelay() const { return m_nRefreshDelay.load(); }
    float getfQuality() const { return m_fQuality.load(); }
    bool getRemoteViewFirst() const { return m_bRemoteViewFirst.load(); }
    void setRemoteViewFirst(bool value) { m_bRemoteViewFirst.store(value); }
    bool getH264RemoteScreen() const { return m_bH264RemoteScreen.load(); }
    bool getH264Init() const { return m_bH264Init.load(); }
    void setH264Init(bool value) { m_bH264Init.store(value); }
    // The session's encoder, made by the installed factory the first time it is asked for (empty
    // while no factory is installed).
    std::shared_ptr<streaming::H264Encoder> getEncoder();
    std::int32_t getH264DrawSeq() const { return m_nH264DrawSeq.load(); }
    void setH264DrawSeq(std::int32_t value) { m_nH264DrawSeq.store(value); }
    // The sequence the next image takes: 0 while a live-view start's reset waits for the capture
    // queue.
    std::int32_t getDrawSeq() const;
    // An explicit value replaces a pending reset.
    void setDrawSeq(std::int32_t value);
    // The uploader moves the sequence on past the image it sent; a reset that arrived meanwhile
    // stays pending. Capture queue.
    void advanceDrawSeq(std::int32_t sent);
    std::int32_t getServerDrawSeq() const { return m_nServerDrawSeq.load(); }
    bool getRemoteSeqProcess() const { return m_bRemoteSeqProcess.load(); }
    std::int32_t getHeartBeatFailureCnt() const { return m_nHeartBeatFailureCnt.load(); }
    void setHeartBeatFailureCnt(std::int32_t value) { m_nHeartBeatFailureCnt.store(value); }
    // Adds one to the failure count in one step and answers the new value (the heartbeat tick).
    std::int32_t incrementHeartBeatFailureCnt() { return m_nHeartBeatFailureCnt.fetch_add(1) + 1; }
    bool getPreventApp() const { return m_bPreventApp.load(); }
    bool getScreenShared() const { return m_bScreenShared.load(); }
    bool getAnswer() const { return m_bAnswer.load(); }
    std::int32_t getScreenUploadStatus() const { return m_nScreenUploadStatus.load(); }
    std::int32_t getShareScreenStatus() const { return m_nShareScreenStatus.load(); }
    std::string getRemoteMVVersion() const;

    // The student's main screen size in points, truncated toward zero.
    static std::int32_t getClientWidth();
    static std::int32_t getClientHeight();
    // MD5 of the bytes as 32 lower-case hexadecimal digits.
    static std::string md5HashForBytes(const std::uint8_t* bytes, std::size_t length);

    // The streaming library installs how the encoder is made; client/ does not link it.
    using EncoderFactory = std::function<std::shared_ptr<streaming::H264Encoder>()>;
    static void setEncoderFactory(EncoderFactory factory);

private:
    void init();
    void connectionInit();
    void connectionRelayInit();
    void registerObservers();
    void registerHandlers();  // StudentClientHandlers.cpp
    void registerHandshake(); // StudentClientHandshake.cpp

    using Record = transport::SReceiveData;
    // Observes a link notification: the handler runs only for posts of that link, and keeps the
    // client alive while it runs.
    void observeLink(const std::string& name, Link link, void (StudentClient::*handler)(Record&, Link));
    const void* linkSender(Link link) const;
    // The one place a packet meets a link: Link resolved (ByConfiguration is sessionLink()), the
    // connection taken, the packet built in that link's form and queued. A form left empty does not
    // exist on that link; RelayUnwrapped takes the direct form on the relay link.
    struct Forms {
        std::size_t directBytes = 0;
        std::function<bool(transport::SRequestData&)> direct;
        std::size_t relayBytes = 0;
        std::function<bool(transport::SRequestData&, transport::RelayConnData)> relay;
    };
    enum class Sent { Queued, NotBuilt, LinkDown }; // NotBuilt: no such link, form, or the builder refused
    Sent send(Link link, const Forms& forms, const Queue& queue = {});
    void post(const char* name, platform::Dictionary dictionary = {}) const;
    // Posts a one-entry dictionary, shared, so an observer may keep a large value (a screen
    // update's archive) without copying it.
    void postShared(const char* name, const char* key, std::string value) const;
    void postStatus(const char* name, const char* key, std::int32_t value) const;
    bool sendScreenFormat();
    void synchronizeSettings();

    // Window events (main thread).
    void onReceivedStudentChat(const platform::Notification& note);
    void onReceivedMouseData(const platform::Notification& note);
    void onReceivedKeyboardData(const platform::Notification& note);

    // Teacher commands (receive thread of the link); Link says which link it came from.
    void onThumbnailRequest(Record& r, Link link);    // [MV00001]
    void onScreenFormatRequest(Record& r, Link link); // [MV00002]
    void onThumbnailSize(Record& r, Link link);       // [MV00003]
    void onRemoteViewStart(Record& r, Link link);     // [MV00004]
    void onRemoteViewStop(Record& r, Link link);      // [MV00005]
    void onRefreshDelay(Record& r, Link link);        // [MV00006]
    void onQuality(Record& r, Link link);             // [MV00014]
    void onServerDrawSeq(Record& r, Link link);       // [MV00079]
    void onRemoteViewResume(Record& r, Link link);    // [MV00080]
    void onScreenUploadStatus(Record& r, Link link);  // [MV00124]
    void onScreenUploadState(Record& r, Link link);   // [MV00126]
    void onShareScreenStatus(Record& r, Link link);   // [MV00127]
    void onH264Mode(Record& r, Link link);            // [MV00264]
    void onH264StreamSize(Record& r, Link link);      // [MV00265]
    void onBroadcast(Record& r, Link link);           // [MV00102]
    void onScreenShareInit(Record& r, Link link);     // [MV00103]
    void onAnswerModeStart(Record& r, Link link);     // [AN00001]
    void onAnswerMode(Record& r, Link link);          // [MV00107]
    void onCombinedDib(Record& r, Link link);         // type 12
    void onH264Frame(Record& r, Link link);           // type 17
    void onAlias(Record& r, Link link);               // [MV00009]
    void onOverwriteMode(Record& r, Link link);       // [MV00013]
    void onTransferPath(Record& r, Link link);        // [MV00030]
    void onScreenLock(Record& r, Link link);          // [MV00050]
    void onCloseButton(Record& r, Link link);         // [MV00052]
    void onForbiddenWeb(Record& r, Link link);        // [MV00061]
    void onPreventApp(Record& r, Link link);          // [MV00074]
    void onForbiddenList(Record& r, Link link);       // [MV00075]
    void onTeacherChat(Record& r, Link link);         // [MV00072]
    void onFileReceivedReset(Record& r, Link link);   // [MV00105]
    void onOpenURL(Record& r, Link link);             // [MV00143]
    void onAnotherDevice(Record& r, Link link);       // [MV10000]
    void onFileChunk(Record& r, Link link);           // type 9
    void onKeyPacket(Record& r, Link link);           // type 4
    void onShareNoteTool(Record& r, Link link);       // [MV00230]
    void onNoteToolShowHide(Record& r, Link link);    // [MV00231]
    void onNoteToolEnable(Record& r, Link link);      // [MV00232]
    void onNoteToolLock(Record& r, Link link);        // [MV00259]
    void onNoteSaveMode(Record& r, Link link);        // [MV00304]
    // Slot registration and relay session handshake.
    void onSlotList(Record& r, Link link);         // [MV00007]
    void onConsoleVersion(Record& r, Link link);   // [MV00094]
    void onRelayAsksTeacher(Record& r, Link link); // [FR00001]
    void onRelayConnIds(Record& r, Link link);     // [FR00002]
    void onLinkClose(Record& r, Link link);        // [MV10001]
    void onHeartbeatAnswer(Record& r, Link link);  // [MV10002]
    void onRelayDisconnect(Record& r, Link link);  // [MV00100]
    // Records why a connect failed (empty: it did not) and answers false.
    bool failConnect(std::string reason);
    // Counts one URL opening against the current window; false when the window has had its share.
    bool takeURLOpening();

    platform::NotificationCenter& m_pNotificationCenter;
    std::shared_ptr<platform::UserDefaults> m_shared;
    platform::ObserverSet m_observers;
    std::atomic<bool> m_bTornDown{false};

    mutable std::mutex m_linkLock; // guards the two link pointers and the connect failure
    std::string m_connectFailure;
    std::shared_ptr<transport::TCPServerClient> m_pMVConn;
    std::shared_ptr<transport::TCP_RelayServerConn> m_pRelayConn;
    // What the console announced about its screen, bounding the strips and frames both links
    // parse; set by the canvas and encode-size handlers.
    const std::shared_ptr<transport::ScreenUpdateLimits> m_screenLimits =
        std::make_shared<transport::ScreenUpdateLimits>();

    std::atomic<std::int32_t> m_nRefreshDelay{kInitialRefreshDelayMs};
    std::atomic<float> m_fQuality{kInitialQuality};
    // The live-view flag and its pending draw-sequence reset in one word, set together by
    // "[MV00004]", so the capture queue never sees the one without the other.
    static constexpr std::uint8_t kRemoteViewOn = 1;
    static constexpr std::uint8_t kDrawSeqResetPending = 2;
    std::atomic<std::uint8_t> m_remoteViewState{0};
    std::atomic<bool> m_bRemoteViewFirst{true};
    std::atomic<bool> m_bScreenShared{false};
    std::atomic<bool> m_bAnswer{false};
    std::atomic<bool> m_bRemoteSeqProcess{false};
    std::atomic<std::int32_t> m_nServerDrawSeq{0};
    std::atomic<std::int32_t> m_nDrawSeq{0};
    std::atomic<std::int32_t> m_nScreenUploadStatus{0};
    std::atomic<std::int32_t> m_nShareScreenStatus{0};
    std::atomic<std::int32_t> m_nHeartBeatFailureCnt{0};
    std::atomic<bool> m_bPreventApp{false};
    std::atomic<bool> m_bH264RemoteScreen{false};
    std::atomic<bool> m_bH264Init{false};
    std::atomic<std::int32_t> m_nH264DrawSeq{0};
    std::mutex m_encoderLock;
    std::shared_ptr<streaming::H264Encoder> m_h264Encoder;
    // Read and written as one 8-byte value, so a relay sender never sees half of a new pair.
    std::atomic<transport::RelayConnData> m_relayConnData{transport::RelayConnData{}};
    mutable std::mutex m_versionLock;
    std::string m_strRemoveMVVersion;
    // The console's URL openings in the current window of the main clock (StudentClientHandlers.cpp).
    std::mutex m_urlOpenLock;
    bool m_bURLWindowStarted = false; // guarded by m_urlOpenLock
    double m_fURLWindowStart = 0.0;   // guarded by m_urlOpenLock
    int m_nURLOpensInWindow = 0;      // guarded by m_urlOpenLock
};

// The process-wide client of the current login (empty until the first login success). Capture,
// upload, heartbeat and receive threads take a copy.
std::shared_ptr<StudentClient> gStudentClient();
// Stores the client of a new login; an earlier client is torn down first (observers removed,
// links closed) so no packet is handled twice. Passing nullptr only tears down.
void setGStudentClient(std::shared_ptr<StudentClient> client);

} // namespace client
