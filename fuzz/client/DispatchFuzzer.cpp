// A received record's whole road on the receive side: body parser, the link's code table, and the
// teacher-command handlers of a real client object, on the direct and on the relay link.
//
// Input: a sequence of chunks, each a mode byte, a 16-bit little-endian length and that many bytes
// (the last chunk takes what is left). Mode bit 0: the relay link (else the direct link); bit 1:
// the bytes are a command text, encoded as the console would before it is parsed (else they are a
// raw body); bit 2, with bit 1: the text arrives inside a relay envelope.
//
// The two clients live on across inputs, as a session receives packet after packet (making them
// costs more than handling a packet); they are made anew every kInputsPerSession inputs. To replay
// a crash that needs an earlier input's state, run with -runs over the saved corpus.
#include "client/GlobalConfig.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "transport/PacketBuilder.h"
#include "transport/PacketCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr std::uint8_t kModeRelay = 1;
constexpr std::uint8_t kModeText = 2;
constexpr std::uint8_t kModeEnvelope = 4;
constexpr std::size_t kChunkHeaderBytes = 3;
// Timers and delayed blocks the handlers arm fall due within this much virtual time.
constexpr double kSettleSeconds = 5.0;
constexpr int kInputsPerSession = 4096;

std::string g_configHome;

void removeConfigHome() {
    std::error_code ignored;
    std::filesystem::remove_all(g_configHome, ignored);
}

platform::ManualRunLoop& loop() {
    static platform::ManualRunLoop runLoop;
    return runLoop;
}

// Builds the record the link's receive thread would post for one chunk; null when the chunk is
// not a packet the link posts.
std::shared_ptr<transport::SReceiveData> recordOf(std::uint8_t mode, const std::uint8_t* bytes,
                                                  std::size_t size, transport::ReceiveBuffers& buffers) {
    transport::SRequestData request;
    const std::uint8_t* body = bytes;
    std::size_t bodySize = size;
    if (mode & kModeText) {
        const std::string text(reinterpret_cast<const char*>(bytes), size);
        const bool built = (mode & kModeEnvelope)
                               ? transport::builder::MakeRelayPacket(request, text, {17, 4})
                               : transport::builder::MakeSendPacket(request, text);
        if (!built)
            return nullptr;
        body = request.pBuffer.data();
        bodySize = static_cast<std::size_t>(request.nLength);
    }
    if (bodySize == 0)
        return nullptr;
    auto record = std::make_shared<transport::SReceiveData>();
    if (transport::ParseBody(body, bodySize, *record, buffers) != transport::ParseResult::kParsed)
        return nullptr;
    return record;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Settings go to a private folder in memory-backed storage when there is one.
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/olvex-dispatch-fuzz-XXXXXX";
        if (mkdtemp(pattern.data())) {
            g_configHome = pattern;
            break;
        }
    }
    setenv("XDG_CONFIG_HOME", g_configHome.c_str(), 1);
    std::atexit(removeConfigHome);
    // The handlers' settings stay in memory: writing the file on each command would cost more
    // than everything else here, and the settings file has a target of its own.
    namespace keys = client::settings;
    for (const char* key : {keys::kTeacherId,
                            keys::kSlot,
                            keys::kAlias,
                            keys::kServerIp,
                            keys::kServerPort,
                            keys::kDataFileOverwrite,
                            keys::kArchivedFileData,
                            keys::kDataFileSended,
                            keys::kEvent,
                            keys::kTransferPath,
                            keys::kDataFileReceived,
                            keys::kDataSended,
                            keys::kMacDataFileSended,
                            keys::kBroadcast,
                            keys::kServerWidth,
                            keys::kServerHeight,
                            keys::kCanvasWidth,
                            keys::kCanvasHeight,
                            keys::kScreenInit,
                            keys::kServerEncodeWidth,
                            keys::kServerEncodeHeight,
                            keys::kScreenH264Init})
        platform::UserDefaults::markMemoryOnly(key);
    platform::setLogSink([](const std::string&) {});
    platform::setWorkspaceHandlers(
        {[](const std::string&) { return true; }, [](const std::string&) { return true; }});
    platform::ScreenInfo screen;
    screen.width = 1440;
    screen.height = 900;
    screen.scales = {1.0};
    platform::screens::setInfo(screen);
    loop().install();
    return 0;
}

// A direct-link client and a relay-link client, each on a notification centre of its own.
struct Session {
    Session() {
        client::gStudentSessionInfo().resetForTesting();
        client::GlobalConfig::shared().setIsRelayEnabled(false);
        direct = client::StudentClient::create(directCenter);
        client::GlobalConfig::shared().setIsRelayEnabled(true);
        relay = client::StudentClient::create(relayCenter);
    }
    ~Session() {
        direct->teardown();
        relay->teardown();
        loop().advance(kSettleSeconds);
    }
    platform::NotificationCenter directCenter;
    platform::NotificationCenter relayCenter;
    std::shared_ptr<client::StudentClient> direct;
    std::shared_ptr<client::StudentClient> relay;
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static transport::ReceiveBuffers buffers;
    static std::unique_ptr<Session> session;
    static int inputs = 0;
    if (!session || ++inputs % kInputsPerSession == 0) {
        session.reset();
        session = std::make_unique<Session>();
    }
    const auto& direct = session->direct;
    const auto& relay = session->relay;

    std::size_t at = 0;
    while (size - at >= kChunkHeaderBytes) {
        const std::uint8_t mode = data[at];
        const std::size_t length = data[at + 1] | (data[at + 2] << 8);
        at += kChunkHeaderBytes;
        const std::size_t take = std::min(length, size - at);
        auto record = recordOf(mode, data + at, take, buffers);
        at += take;
        if (!record)
            continue;
        if (mode & kModeRelay) {
            if (auto link = relay->getRelayConn())
                link->ReceiveCallBack(std::move(record));
        } else if (auto link = direct->getMVConn()) {
            link->ReceiveCallBack(std::move(record));
        }
        loop().runUntilIdle();
    }
    loop().advance(kSettleSeconds);
    return 0;
}
