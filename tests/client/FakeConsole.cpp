#include "FakeConsole.h"

#include "platform/MainQueue.h"

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace clienttest {
namespace {

constexpr std::uint8_t kStampByte = 0x5C;
constexpr std::array<std::uint8_t, 4> kStampSync = {0xA2, 0xA1, 0xA5, 0x5C};
constexpr int kAcceptWaitMs = 5000;

void putU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t getU32(const Bytes& in, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(in.at(at + i)) << (8 * i);
    return v;
}

std::array<std::uint8_t, 16> md5(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, 16> digest{};
    unsigned int length = 0;
    EVP_Digest(data, size, digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

// The fixed text key: MD5 of the pass phrase "wqbzjtrapmu##&&" as 30 bytes of UTF-16LE.
std::array<std::uint8_t, 16> textKey() {
    const std::string phrase = "wqbzjtrapmu##&&";
    Bytes units;
    for (char c : phrase) {
        units.push_back(static_cast<std::uint8_t>(c));
        units.push_back(0);
    }
    return md5(units.data(), units.size());
}

void rc4(Bytes& data) {
    auto key = textKey();
    std::array<std::uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0, b = 0;
    for (auto& byte : data) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        byte ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

Bytes utf16le(const std::string& utf8) {
    Bytes out;
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = c;
        std::size_t n = 1;
        if (c >= 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            n = 2;
        }
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out.push_back(static_cast<std::uint8_t>(cp));
        out.push_back(static_cast<std::uint8_t>(cp >> 8));
        i += n;
    }
    return out;
}

std::string utf8FromUtf16le(const Bytes& units) {
    std::string out;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        std::uint32_t cp = units[i] | (units[i + 1] << 8);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string describe(const Bytes& body) {
    if (body.empty())
        return "empty";
    switch (body[0]) {
    case 1: {
        std::uint32_t digestUnits = getU32(body, 1);
        std::size_t at = 5 + 2 * static_cast<std::size_t>(digestUnits);
        std::uint32_t textBytes = getU32(body, at);
        Bytes text(body.begin() + static_cast<long>(at + 4),
                   body.begin() + static_cast<long>(at + 4 + textBytes));
        rc4(text);
        return utf8FromUtf16le(text);
    }
    case 2:
        return "type2:" + std::to_string(getU32(body, 1)) + "," + std::to_string(getU32(body, 5)) + "," +
               std::to_string(getU32(body, 9));
    case 5:
        return "type5:" + std::to_string(static_cast<std::int16_t>(body.at(5) | (body.at(6) << 8))) + "," +
               std::to_string(static_cast<std::int32_t>(getU32(body, 11))) + "," +
               std::to_string(static_cast<std::int32_t>(getU32(body, 15))) + "," +
               std::to_string(static_cast<std::int16_t>(body.at(19) | (body.at(20) << 8)));
    case 10:
        return "type10:" + std::to_string(getU32(body, 1)) + "," + std::to_string(getU32(body, 5));
    case 13: {
        std::uint32_t innerLength = getU32(body, 9);
        Bytes inner(body.begin() + 13, body.begin() + 13 + innerLength);
        return "relay(" + std::to_string(getU32(body, 1)) + "," + std::to_string(getU32(body, 5)) +
               "):" + describe(inner);
    }
    default:
        return "type" + std::to_string(body[0]);
    }
}

bool readAll(int fd, std::uint8_t* out, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::recv(fd, out, size, 0);
        if (n <= 0)
            return false;
        out += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

Bytes textBody(const std::string& text) {
    Bytes units = utf16le(text);
    auto digest = md5(units.data(), units.size());
    Bytes body{1};
    putU32(body, 32);
    static const char* kHex = "0123456789abcdef";
    for (std::uint8_t byte : digest) {
        body.push_back(static_cast<std::uint8_t>(kHex[byte >> 4]));
        body.push_back(0);
        body.push_back(static_cast<std::uint8_t>(kHex[byte & 0xF]));
        body.push_back(0);
    }
    putU32(body, static_cast<std::uint32_t>(units.size()));
    rc4(units);
    body.insert(body.end(), units.begin(), units.end());
    return body;
}

Bytes envelopeBody(std::uint32_t teacherConnId, std::uint32_t connId, const Bytes& inner) {
    Bytes body{13};
    putU32(body, teacherConnId);
    putU32(body, connId);
    putU32(body, static_cast<std::uint32_t>(inner.size()));
    body.insert(body.end(), inner.begin(), inner.end());
    return body;
}

Bytes frame(const Bytes& body) {
    Bytes out(kStampSync.begin(), kStampSync.end());
    static_assert(kStampByte == 0x5C);
    putU32(out, static_cast<std::uint32_t>(body.size() + 4));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

FakeConsole::FakeConsole() {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listenFd, 4);
    socklen_t length = sizeof address;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

FakeConsole::~FakeConsole() {
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
    if (m_reader.joinable())
        m_reader.join();
    if (m_fd >= 0)
        ::close(m_fd);
    ::close(m_listenFd);
}

bool FakeConsole::accept() {
    pollfd p{m_listenFd, POLLIN, 0};
    if (::poll(&p, 1, kAcceptWaitMs) != 1)
        return false;
    m_fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_reader = std::thread([this] { readLoop(); });
    return true;
}

void FakeConsole::send(const Bytes& body) {
    Bytes bytes = frame(body);
    ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void FakeConsole::closeLink() {
    ::shutdown(m_fd, SHUT_RDWR);
}

void FakeConsole::readLoop() {
    while (true) {
        std::uint8_t header[8];
        if (!readAll(m_fd, header, sizeof header))
            break;
        std::uint32_t length =
            header[4] | (header[5] << 8) | (header[6] << 16) | (static_cast<std::uint32_t>(header[7]) << 24);
        if (length < 4)
            break;
        Bytes body(length - 4);
        if (!readAll(m_fd, body.data(), body.size()))
            break;
        Received item{describe(body), body, platform::monotonicNow()};
        std::lock_guard lock(m_lock);
        m_received.push_back(std::move(item));
        m_changed.notify_all();
    }
    std::lock_guard lock(m_lock);
    m_peerClosed = true;
    m_changed.notify_all();
}

bool FakeConsole::waitForCount(std::size_t count, double wallSeconds) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::duration<double>(wallSeconds),
                              [&] { return m_received.size() >= count; });
}

bool FakeConsole::waitForClose(double wallSeconds) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::duration<double>(wallSeconds), [&] { return m_peerClosed; });
}

std::vector<Received> FakeConsole::received() const {
    std::lock_guard lock(m_lock);
    return m_received;
}

std::vector<std::string> FakeConsole::descriptions() const {
    std::vector<std::string> out;
    for (const auto& item : received())
        out.push_back(item.description);
    return out;
}

} // namespace clienttest
