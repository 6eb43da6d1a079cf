#include "client/StudentClient.h"

#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/GlobalConfig.h"
#include "client/PeerAddress.h"
#include "client/SettingsKeys.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "transport/PacketBuilder.h"
#include "transport/PacketCodec.h"

#include <cstdio>
#include <utility>

namespace client {
namespace {

std::mutex& encoderFactoryLock() {
    static std::mutex lock;
    return lock;
}
StudentClient::EncoderFactory& encoderFactory() {
    static StudentClient::EncoderFactory factory;
    return factory;
}

} // namespace

std::shared_ptr<StudentClient> StudentClient::create(platform::NotificationCenter& center) {
    auto client = std::make_shared<StudentClient>(CreateTag{}, center);
    client->init();
    return client;
}

StudentClient::StudentClient(CreateTag, platform::NotificationCenter& center)
    : m_pNotificationCenter(center), m_shared(platform::UserDefaults::suite()), m_observers(center) {}

StudentClient::~StudentClient() {
    teardown();
}

void StudentClient::init() {
    settings::registerMemoryOnlyKeys();
    if (sessionLink() == Link::Relay)
        connectionRelayInit();
    else
        connectionInit();
    // Observers come after the link exists: each link handler listens to its own link only, so a
    // packet of another link (a login-time link still winding down) is never handled here.
    registerObservers();
}

void StudentClient::teardown() {
    if (m_bTornDown.exchange(true))
        return;
    m_observers.removeAll();
    std::shared_ptr<transport::TCPServerClient> direct;
    std::shared_ptr<transport::TCP_RelayServerConn> relay;
    {
        std::lock_guard lock(m_linkLock);
        direct = m_pMVConn;
        relay = m_pRelayConn;
    }
    if (direct)
        direct->Close();
    if (relay)
        relay->Close();
}

void StudentClient::connectionInit() {
    auto link = transport::TCPServerClient::create(m_pNotificationCenter);
    link->Open();
    link->SetScreenLimits(m_screenLimits);
    {
        std::lock_guard lock(m_linkLock);
        m_pMVConn = link;
    }
    StudentSessionInfo& info = gStudentSessionInfo();
    fillStudentIdentity(info);
    info.m_szServerIp.set(m_shared->string(settings::kServerIp).value_or(settings::kDefaultServerIp));
    info.m_szServerPort.set(m_shared->string(settings::kServerPort).value_or(settings::kDefaultServerPort));
    info.m_szAlias.set(m_shared->string(settings::kAlias).value_or(settings::kDefaultAlias));
    info.m_nInputSlot.store(parseInt32(m_shared->stringValue(settings::kSlot)));
    info.m_szConnectPort.set(info.m_szServerPort.get());
    link->SetConnectTimeout(kDirectConnectTimeoutSeconds);
}

void StudentClient::connectionRelayInit() {
    auto link = transport::TCP_RelayServerConn::create(m_pNotificationCenter);
    link->Open();
    link->SetScreenLimits(m_screenLimits);
    {
        std::lock_guard lock(m_linkLock);
        m_pRelayConn = link;
    }
    link->SetConnectTimeout(kRelayConnectTimeoutSeconds);
    link->setTeacherId(GlobalConfig::shared().strTeacherId());
}

bool StudentClient::connectToServer() {
    auto link = getMVConn();
    if (!link)
        return failConnect("this session has no direct link");
    auto host = m_shared->string(settings::kServerIp);
    int port = gStudentSessionInfo().m_szConnectPort.intValue();
    if (!host) {
        platform::logf("[ZQ]No teacher address stored; not connecting");
        link->Close();
        return failConnect("no teacher address stored");
    }
    if (!isConnectableAddress(*host, port)) {
        link->Close();
        return failConnect("teacher address " + *host + ":" + std::to_string(port) + " refused");
    }
    if (!link->Connect(*host, port)) {
        link->Close();
        return failConnect("connect to " + *host + ":" + std::to_string(port) + " failed");
    }
    failConnect({});
    link->StartReceiveThread();
    link->StartRequestThread();
    return true;
}

bool StudentClient::connectToRelayServer() {
    auto link = getRelayConn();
    if (!link)
        return failConnect("this session has no relay link");
    std::string host = GlobalConfig::shared().strRelayIp();
    int port = parseInt32(GlobalConfig::shared().strRelayPort());
    if (!isConnectableAddress(host, port, "relay"))
        return failConnect("relay address " + host + ":" + std::to_string(port) + " refused");
    if (!link->Connect(host, port))
        return failConnect("relay connect to " + host + ":" + std::to_string(port) + " failed");
    failConnect({});
    link->StartRequestThread();
    link->StartReceiveThread();
    return true;
}

bool StudentClient::takeRemoteView() {
    const std::uint8_t state = m_remoteViewState.fetch_and(static_cast<std::uint8_t>(~kDrawSeqResetPending));
    if ((state & kDrawSeqResetPending) != 0)
        m_nDrawSeq.store(0);
    return (state & kRemoteViewOn) != 0;
}

std::int32_t StudentClient::getDrawSeq() const {
    return (m_remoteViewState.load() & kDrawSeqResetPending) != 0 ? 0 : m_nDrawSeq.load();
}

void StudentClient::setDrawSeq(std::int32_t value) {
    m_nDrawSeq.store(value);
    m_remoteViewState.fetch_and(static_cast<std::uint8_t>(~kDrawSeqResetPending));
}

void StudentClient::advanceDrawSeq(std::int32_t sent) {
    // Wraps as the console's unsigned counter does.
    m_nDrawSeq.store(static_cast<std::int32_t>(static_cast<std::uint32_t>(sent) + 1u));
}

bool StudentClient::failConnect(std::string reason) {
    std::lock_guard lock(m_linkLock);
    m_connectFailure = std::move(reason);
    return false;
}

std::string StudentClient::connectFailure() const {
    std::lock_guard lock(m_linkLock);
    return m_connectFailure;
}

void StudentClient::closeConnection() {
    if (auto link = getMVConn())
        link->Close();
}

std::shared_ptr<transport::TCPServerClient> StudentClient::getMVConn() const {
    std::lock_guard lock(m_linkLock);
    return m_pMVConn;
}

std::shared_ptr<transport::TCP_RelayServerConn> StudentClient::getRelayConn() const {
    std::lock_guard lock(m_linkLock);
    return m_pRelayConn;
}

std::shared_ptr<streaming::H264Encoder> StudentClient::getEncoder() {
    std::lock_guard lock(m_encoderLock);
    if (!m_h264Encoder) {
        EncoderFactory factory;
        {
            std::lock_guard factoryLock(encoderFactoryLock());
            factory = encoderFactory();
        }
        if (factory)
            m_h264Encoder = factory();
    }
    return m_h264Encoder;
}

void StudentClient::setEncoderFactory(EncoderFactory factory) {
    std::lock_guard lock(encoderFactoryLock());
    encoderFactory() = std::move(factory);
}

std::string StudentClient::getRemoteMVVersion() const {
    std::lock_guard lock(m_versionLock);
    return m_strRemoveMVVersion;
}

std::int32_t StudentClient::getClientWidth() {
    return platform::screens::clientWidth();
}
std::int32_t StudentClient::getClientHeight() {
    return platform::screens::clientHeight();
}

std::string StudentClient::md5HashForBytes(const std::uint8_t* bytes, std::size_t length) {
    auto digest = transport::md5Digest(bytes, bytes == nullptr ? 0 : length);
    std::string hex;
    hex.reserve(2 * digest.size());
    for (std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

void StudentClient::registerObservers() {
    auto weak = weak_from_this();
    auto forward = [weak](void (StudentClient::*handler)(const platform::Notification&)) {
        return [weak, handler](const platform::Notification& note) {
            if (auto self = weak.lock())
                ((*self).*handler)(note);
        };
    };
    registerHandlers();
    registerHandshake();
    m_observers.add(events::kMouseData, nullptr, forward(&StudentClient::onReceivedMouseData));
    m_observers.add(events::kKeyboardData, nullptr, forward(&StudentClient::onReceivedKeyboardData));
    m_observers.add(events::kStudentChat, nullptr, forward(&StudentClient::onReceivedStudentChat));
}

void StudentClient::observeLink(const std::string& name, Link link,
                                void (StudentClient::*handler)(Record&, Link)) {
    const void* sender = linkSender(link);
    if (sender == nullptr)
        return; // this session has no such link
    auto weak = weak_from_this();
    m_observers.add(name, sender, [weak, link, handler, name](const platform::Notification& note) {
        auto self = weak.lock();
        if (!self)
            return;
        auto record = note.shared<Record>();
        if (!record) {
            platform::logf("[ZQ]%s without a packet record", name.c_str());
            return;
        }
        ((*self).*handler)(*record, link);
    });
}

const void* StudentClient::linkSender(Link link) const {
    // The links post with their connection object as sender.
    if (link == Link::Direct) {
        auto conn = getMVConn();
        return static_cast<const transport::TCPConnection*>(conn.get());
    }
    auto conn = getRelayConn();
    return static_cast<const transport::TCPConnection*>(conn.get());
}

void StudentClient::post(const char* name, platform::Dictionary dictionary) const {
    if (dictionary.empty())
        m_pNotificationCenter.post(name, this);
    else
        m_pNotificationCenter.post(name, this, std::move(dictionary));
}

void StudentClient::postShared(const char* name, const char* key, std::string value) const {
    auto dictionary = std::make_shared<platform::Dictionary>();
    dictionary->emplace(key, std::move(value));
    m_pNotificationCenter.post(name, this,
                               std::shared_ptr<const platform::Dictionary>(std::move(dictionary)));
}

void StudentClient::postStatus(const char* name, const char* key, std::int32_t value) const {
    post(name, {{key, std::to_string(value)}});
}

bool StudentClient::sendScreenFormat() {
    Forms forms;
    forms.directBytes = transport::builder::kScreenFormatBytes;
    forms.direct = [](transport::SRequestData& request) {
        return transport::builder::MakeSendPacket(request, getClientWidth(), getClientHeight(),
                                                  kColorDepthBits);
    };
    return send(Link::Direct, forms) == Sent::Queued;
}

void StudentClient::synchronizeSettings() {
    m_shared->synchronize();
}

void StudentClient::onReceivedStudentChat(const platform::Notification& note) {
    const platform::Dictionary* dictionary = note.dictionary();
    if (dictionary == nullptr || !dictionary->contains(events::kKeyChat))
        return;
    std::string text = command::studentChat(dictionary->at(events::kKeyChat));
    if (text.size() + 1 > kChatTextBufferBytes) {
        platform::logf("[ZQ]Chat line of %zu bytes too long; not sent", text.size());
        return;
    }
    sendCommand(text, Link::ByConfiguration, kChatRequestBytes);
}

void StudentClient::onReceivedMouseData(const platform::Notification& note) {
    const platform::Dictionary* dictionary = note.dictionary();
    if (dictionary == nullptr || !dictionary->contains(events::kKeyMouseData))
        return;
    auto fields = splitFields(dictionary->at(events::kKeyMouseData));
    constexpr std::size_t kMouseFields = 3;
    if (fields.size() < kMouseFields) {
        platform::logf("[ZQ]Mouse data with %zu fields dropped", fields.size());
        return;
    }
    int x = parseInt32(fields[0]);
    int y = parseInt32(fields[1]);
    int msg = parseInt32(fields[2]);
    // Input goes to the console on the direct link only; a relay session has none and sends nothing.
    Forms forms;
    forms.directBytes = kCommandRequestBytes;
    forms.direct = [x, y, msg](transport::SRequestData& request) {
        if (msg == kMouseWheelEvent)
            return transport::builder::MakeSendPacketMouseWheelEvent(request, kMouseWheelEvent, x, y);
        return transport::builder::MakeSendPacketMouseEvent(request, msg, x, y);
    };
    send(Link::Direct, forms);
}

void StudentClient::onReceivedKeyboardData(const platform::Notification& note) {
    const platform::Dictionary* dictionary = note.dictionary();
    if (dictionary == nullptr || !dictionary->contains(events::kKeyKeyboardData))
        return;
    const std::string& text = dictionary->at(events::kKeyKeyboardData);
    if (text.size() + 1 > kKeyboardTextBufferBytes) {
        platform::logf("[ZQ]Keyboard text of %zu bytes too long; not sent", text.size());
        return;
    }
    sendCommand(text, Link::Direct);
}

namespace {
std::mutex& globalClientLock() {
    static std::mutex lock;
    return lock;
}
std::shared_ptr<StudentClient>& globalClientSlot() {
    static std::shared_ptr<StudentClient> slot;
    return slot;
}
} // namespace

std::shared_ptr<StudentClient> gStudentClient() {
    std::lock_guard lock(globalClientLock());
    return globalClientSlot();
}

void setGStudentClient(std::shared_ptr<StudentClient> client) {
    std::shared_ptr<StudentClient> previous;
    const StudentClient* const stored = client.get();
    {
        std::lock_guard lock(globalClientLock());
        previous = std::exchange(globalClientSlot(), std::move(client));
    }
    // Outside the lock: teardown waits for running deliveries, which may themselves read the slot.
    // Storing the client that is already stored replaces nothing, so it stays up.
    if (previous && previous.get() != stored)
        previous->teardown();
}

} // namespace client
