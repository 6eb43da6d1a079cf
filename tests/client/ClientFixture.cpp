#include "ClientFixture.h"

#include "client/CommandText.h"
#include "platform/MainQueue.h"
#include "support/ClientTeardown.h"
#include "support/PeerBodies.h"

namespace clienttest {
namespace {

const char* const kAllSettingsKeys[] = {
    client::settings::kTeacherId,
    client::settings::kSlot,
    client::settings::kAlias,
    client::settings::kServerIp,
    client::settings::kServerPort,
    client::settings::kDataFileOverwrite,
    client::settings::kArchivedFileData,
    client::settings::kDataFileSended,
    client::settings::kEvent,
    client::settings::kTransferPath,
    client::settings::kDataFileReceived,
    client::settings::kDataSended,
    client::settings::kMacDataFileSended,
    client::settings::kBroadcast,
    client::settings::kServerWidth,
    client::settings::kServerHeight,
    client::settings::kCanvasWidth,
    client::settings::kCanvasHeight,
    client::settings::kScreenInit,
    client::settings::kServerEncodeWidth,
    client::settings::kServerEncodeHeight,
    client::settings::kScreenH264Init,
};

const char* const kObservedEvents[] = {
    client::events::kScreenUploadEnable,
    client::events::kScreenShareHide,
    client::events::kScreenShareShow,
    client::events::kScreenUploadStatus,
    client::events::kShareScreenStatus,
    client::events::kBroadcast,
    client::events::kBroadcastStop,
    client::events::kScreenShareInit,
    client::events::kScreenData,
    client::events::kScreenH264Data,
    client::events::kScreenLock,
    client::events::kDisabledX,
    client::events::kEnabledX,
    client::events::kForbiddanceWeb,
    client::events::kForbiddanceList,
    client::events::kTeacherChat,
    client::events::kAnotherDevice,
    client::events::kFileData,
    client::events::kShareNoteToolStatus,
    client::events::kNoteToolShowHide,
    client::events::kNoteToolLock,
    client::events::kNoteSaveMode,
};

// The agent connects at once; a loaded machine gets a few seconds to hand the link over.
constexpr std::chrono::milliseconds kAcceptWait{5000};

std::string joined(std::initializer_list<std::int64_t> fields) {
    std::string out;
    for (std::int64_t field : fields)
        out += (out.empty() ? "" : ",") + std::to_string(field);
    return out;
}

} // namespace

Bytes textBody(const std::string& text) {
    return testsupport::textBody(text).value();
}

std::string describe(const Bytes& body) {
    if (body.empty())
        return "empty";
    const std::string type = "type" + std::to_string(body[0]);
    switch (body[0]) {
    case testsupport::kBodyText:
        if (auto text = testsupport::parseTextBody(body))
            return text->text;
        break;
    case testsupport::kBodyScreenFormat:
        if (auto format = testsupport::parseScreenFormat(body))
            return type + ":" + joined({format->width, format->height, format->colorBits});
        break;
    case testsupport::kBodyMouse:
        if (auto events = testsupport::parseMouse(body); events && !events->empty()) {
            const testsupport::MouseEntry& first = events->front();
            return type + ":" + joined({first.event, first.x, first.y, first.wheel});
        }
        break;
    case testsupport::kBodyCompression:
        if (auto setting = testsupport::parseCompression(body))
            return type + ":" + joined({setting->compThreads, setting->repeated});
        break;
    case testsupport::kBodyEnvelope:
        if (auto envelope = testsupport::parseEnvelope(body))
            return "relay(" + joined({envelope->teacherConnId, envelope->connId}) +
                   "):" + describe(envelope->inner);
        break;
    default:
        break;
    }
    return type;
}

void ClientFixture::SetUp() {
    m_loop.install();
    client::GlobalConfig::shared().resetForTesting();
    client::gStudentSessionInfo().resetForTesting();
    m_settings = platform::UserDefaults::suite();
    for (const char* key : kAllSettingsKeys)
        m_settings->remove(key);
    platform::ScreenInfo screen;
    screen.width = kScreenWidthPoints;
    screen.height = kScreenHeightPoints;
    screen.scales = {1.0};
    platform::screens::setInfo(screen);
    platform::setLogSink([this](const std::string& line) {
        std::lock_guard lock(m_lock);
        m_log.push_back(line);
    });
    platform::setWorkspaceHandlers({[this](const std::string& url) {
                                        std::lock_guard lock(m_lock);
                                        m_urls.push_back(url);
                                        return true;
                                    },
                                    nullptr});
    observeEvents();
}

void ClientFixture::TearDown() {
    // The links' threads post on m_center: they end before it does.
    testsupport::endClient(m_client);
    m_console.reset();
    for (auto token : m_tokens)
        m_center.removeObserver(token);
    platform::setLogSink({});
    platform::setWorkspaceHandlers({});
}

void ClientFixture::observeEvents() {
    for (const char* name : kObservedEvents)
        m_tokens.push_back(m_center.addObserver(name, nullptr, [this](const platform::Notification& note) {
            Posted item{note.name, {}, note.sender};
            if (const platform::Dictionary* dictionary = note.dictionary())
                item.dictionary = *dictionary;
            std::lock_guard lock(m_lock);
            m_posted.push_back(std::move(item));
        }));
    m_tokens.push_back(
        m_center.addObserver(client::events::kDisconnect, nullptr, [this](const platform::Notification&) {
            std::lock_guard lock(m_lock);
            ++m_disconnects;
        }));
}

void ClientFixture::startConsole() {
    m_console = std::make_unique<testsupport::ScriptedPeer>("console");
    m_console->setClock(platform::monotonicNow);
    ASSERT_TRUE(m_console->start());
}

void ClientFixture::startDirect(const std::string& slot, const std::string& alias) {
    startConsole();
    m_settings->setString(client::settings::kServerIp, "127.0.0.1");
    m_settings->setString(client::settings::kServerPort, std::to_string(m_console->port()));
    m_settings->setString(client::settings::kSlot, slot);
    m_settings->setString(client::settings::kAlias, alias);
    m_client = client::StudentClient::create(m_center);
    ASSERT_TRUE(m_client->connectToServer());
    ASSERT_TRUE(m_console->waitForLinks(1, kAcceptWait));
}

void ClientFixture::startRelay(const std::string& slot, const std::string& alias, bool completeHandshake) {
    startConsole();
    m_settings->setString(client::settings::kSlot, slot);
    m_settings->setString(client::settings::kAlias, alias);
    client::GlobalConfig& config = client::GlobalConfig::shared();
    config.setIsRelayEnabled(true);
    config.setStrTeacherId("teacher01");
    config.setStrRelayIp("127.0.0.1");
    config.setStrRelayPort(std::to_string(m_console->port()));
    // Login identified the student and recorded the typed slot before the relay session starts.
    client::fillStudentIdentity(client::gStudentSessionInfo());
    client::gStudentSessionInfo().m_nInputSlot.store(client::parseInt32(slot));
    m_client = client::StudentClient::create(m_center);
    ASSERT_TRUE(m_client->connectToRelayServer());
    ASSERT_TRUE(m_console->waitForLinks(1, kAcceptWait));
    if (!completeHandshake)
        return;
    ASSERT_TRUE(m_console->sendText("[FR00002]17,4"));
    ASSERT_TRUE(m_console->waitForCount(1));
    ASSERT_EQ(sentToConsole().back(), std::string(kRelayPrefix) + "[PC_CONN]");
}

const void* ClientFixture::sender(Link link) const {
    if (link == Link::Direct)
        return static_cast<const transport::TCPConnection*>(m_client->getMVConn().get());
    return static_cast<const transport::TCPConnection*>(m_client->getRelayConn().get());
}

void ClientFixture::deliver(const std::string& name, Link link,
                            const std::shared_ptr<transport::SReceiveData>& record) {
    m_center.post(name, sender(link), std::any(record));
}

void ClientFixture::deliverText(const std::string& name, Link link, const std::string& params) {
    auto record = std::make_shared<transport::SReceiveData>();
    record->nType = 1;
    record->strParams = params;
    deliver(name, link, record);
}

std::vector<std::string> ClientFixture::sentToConsole() const {
    std::vector<std::string> out;
    if (m_console)
        for (const testsupport::PeerPacket& packet : m_console->received())
            out.push_back(describe(packet.body));
    return out;
}

std::vector<Posted> ClientFixture::posted() const {
    std::lock_guard lock(m_lock);
    return m_posted;
}

std::vector<std::string> ClientFixture::logLines() const {
    std::lock_guard lock(m_lock);
    return m_log;
}

std::vector<std::string> ClientFixture::openedURLs() const {
    std::lock_guard lock(m_lock);
    return m_urls;
}

std::size_t ClientFixture::disconnects() const {
    std::lock_guard lock(m_lock);
    return m_disconnects;
}

std::vector<std::string> ClientFixture::linesOfRepeats(int repeats, const std::function<void()>& oneOfEach) {
    m_loop.advance(1.0);
    oneOfEach();
    m_loop.advance(1.0);
    const std::size_t before = logLines().size();
    for (int i = 0; i < repeats; ++i)
        oneOfEach();
    m_loop.advance(1.0);
    oneOfEach();
    const auto all = logLines();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

} // namespace clienttest
