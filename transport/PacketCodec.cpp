#include "transport/PacketCodec.h"

#include "platform/Log.h"
#include "transport/CUtil.h"
#include "transport/TCPServerInterface.h"
#include "transport/WireBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace transport {
namespace {

constexpr std::uint8_t kSyncHigh = 0xA0;
constexpr int kSyncShift0 = 5;
constexpr int kSyncShift1 = 6;
constexpr int kSyncShift2 = 4;
// A frame gets up to 92 failed writes (91 counted, the 92nd gives up) before the socket is
// marked disconnected; a broken pipe gives up at once.
constexpr int kMaxWriteErrors = 91;
constexpr std::size_t kRc4StateBytes = 256;
constexpr char kHexDigits[] = "0123456789abcdef";

// The fixed pass phrase from which the text key is derived, as the peers hold it: 15 characters
// of UTF-16LE text (30 bytes).
constexpr char kPassPhrase[] = "wqbzjtrapmu##&&";
constexpr std::size_t kPassPhraseChars = sizeof(kPassPhrase) - 1;

// A peer can send empty frames without end: their line has a limit of its own, so a flood of them
// neither fills the log nor hides the lines of other drops.
constexpr int kEmptyFrameLinesPerSecond = 3;

platform::LogRateLimit& emptyFrameLog() {
    static platform::LogRateLimit limit(kEmptyFrameLinesPerSecond);
    return limit;
}

} // namespace

std::array<std::uint8_t, 4> MakeSyncWord(std::uint8_t t) {
    return {static_cast<std::uint8_t>(kSyncHigh | (t >> kSyncShift0)),
            static_cast<std::uint8_t>(kSyncHigh | (t >> kSyncShift1)),
            static_cast<std::uint8_t>(kSyncHigh | (t >> kSyncShift2)), t};
}

bool IsValidSyncWord(const std::uint8_t sync[4]) {
    const auto expected = MakeSyncWord(sync[3]);
    return sync[0] == expected[0] && sync[1] == expected[1] && sync[2] == expected[2];
}

std::vector<std::uint8_t> BuildFrame(const SRequestData& request, std::uint8_t t) {
    const std::size_t bodyLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(request.nLength, request.pBuffer.size()));
    std::vector<std::uint8_t> frame(bodyLength + kFrameHeaderBytes);
    const auto sync = MakeSyncWord(t);
    std::copy(sync.begin(), sync.end(), frame.begin());
    wire::PutU32(frame.data() + 4, static_cast<std::uint32_t>(bodyLength + 4));
    if (bodyLength > 0)
        std::memcpy(frame.data() + kFrameHeaderBytes, request.pBuffer.data(), bodyLength);
    return frame;
}

std::array<std::uint8_t, kMd5Bytes> md5Digest(const void* data, std::size_t length) {
    std::array<std::uint8_t, kMd5Bytes> digest{};
    unsigned int digestLength = 0;
    if (EVP_Digest(data, length, digest.data(), &digestLength, EVP_md5(), nullptr) != 1 ||
        digestLength != kMd5Bytes) {
        platform::logf("[ZQ]md5Digest failed");
        digest.fill(0);
    }
    return digest;
}

void releaseThreadDigestState() {
    OPENSSL_thread_stop();
}

const std::array<std::uint8_t, kMd5Bytes>& TextKey() {
    static const std::array<std::uint8_t, kMd5Bytes> key = [] {
        std::uint8_t phrase[2 * kPassPhraseChars];
        for (std::size_t i = 0; i < kPassPhraseChars; ++i)
            wire::PutU16(phrase + 2 * i, static_cast<std::uint8_t>(kPassPhrase[i]));
        return md5Digest(phrase, sizeof(phrase));
    }();
    return key;
}

void Rc4Apply(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length) {
    if (keyLength == 0)
        return;
    std::uint8_t s[kRc4StateBytes];
    for (std::size_t i = 0; i < kRc4StateBytes; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < kRc4StateBytes; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % keyLength]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t n = 0; n < length; ++n) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        data[n] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

bool EncodeTextCommand(SRequestData& request, const std::string& text) {
    std::vector<std::uint16_t> units;
    if (!Utf8ToWireUnits(text, units)) {
        platform::logf("[ZQ]EncodeTextCommand: text is not valid UTF-8, nothing sent");
        request.nLength = 0;
        return false;
    }
    const std::size_t textBytes = 2 * units.size();
    std::vector<std::uint8_t> plain(textBytes);
    for (std::size_t i = 0; i < units.size(); ++i)
        wire::PutU16(plain.data() + 2 * i, units[i]);

    const std::size_t bodyLength = kTextFieldHeaderBytes + textBytes;
    request.pBuffer.assign(bodyLength, 0);
    std::uint8_t* out = request.pBuffer.data();
    out[0] = kBodyTextCommand;
    wire::PutU32(out + 1, kTextDigestUnits);
    const auto digest = md5Digest(plain.data(), plain.size());
    for (std::size_t i = 0; i < kMd5Bytes; ++i) {
        wire::PutU16(out + 5 + 4 * i, static_cast<std::uint8_t>(kHexDigits[digest[i] >> 4]));
        wire::PutU16(out + 7 + 4 * i, static_cast<std::uint8_t>(kHexDigits[digest[i] & 0x0F]));
    }
    wire::PutU32(out + 69, static_cast<std::uint32_t>(textBytes));
    const auto& key = TextKey();
    Rc4Apply(key.data(), key.size(), plain.data(), plain.size());
    if (textBytes > 0)
        std::memcpy(out + kTextFieldHeaderBytes, plain.data(), textBytes);
    request.nLength = bodyLength;
    return true;
}

bool SendPacket(TCPServerInterface& server, const SRequestData& request) {
    const std::size_t bodyLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(request.nLength, request.pBuffer.size()));
    // The frame header goes out in the same call as the body, without joining them in a new
    // buffer: the bytes on the wire are those of one frame.
    std::uint8_t header[kFrameHeaderBytes];
    const auto sync = MakeSyncWord(static_cast<std::uint8_t>(std::time(nullptr) & 0xFF));
    std::copy(sync.begin(), sync.end(), header);
    wire::PutU32(header + 4, static_cast<std::uint32_t>(bodyLength + 4));
    const std::uint8_t* body = request.pBuffer.data();
    CInStreamSocket& socket = server.m_socket;
    std::size_t done = 0;
    const std::size_t total = kFrameHeaderBytes + bodyLength;
    int errors = 0;
    while (done < total) {
        if (!socket.IsConnected())
            return false;
        ssize_t rc;
        if (done < kFrameHeaderBytes)
            rc = socket.Write(header + done, kFrameHeaderBytes - done, body, bodyLength);
        else
            rc = socket.Write(body + (done - kFrameHeaderBytes), total - done);
        if (rc > 0) {
            done += static_cast<std::size_t>(rc);
            continue;
        }
        // A zero-byte write is counted as an error too, so a stuck socket cannot spin forever.
        if ((rc < 0 && errno == EPIPE) || errors >= kMaxWriteErrors) {
            socket.SetConnected(false);
            return false;
        }
        ++errors;
    }
    return true;
}

void ReceivePacket(TCPServerInterface& server, SReceiveData& record, ReceiveBuffers& buffers) {
    record.nStatus = -1;
    CInStreamSocket& socket = server.m_socket;
    if (socket.GetSockId() < 0 || !socket.IsConnected())
        return;
    std::uint8_t header[kFrameHeaderBytes];
    if (socket.Read(header, 4) != 4)
        return;
    if (!IsValidSyncWord(header)) {
        platform::logf("[ZQ]bad sync word %02X %02X %02X %02X, link ends", header[0], header[1], header[2],
                       header[3]);
        return;
    }
    if (socket.Read(header + 4, 4) != 4)
        return;
    const auto length = static_cast<std::int32_t>(wire::GetU32(header + 4));
    if (length < 1) {
        platform::logf("[ZQ]bad frame length %d, link ends", length);
        return;
    }
    const std::int64_t bodyLength = static_cast<std::int64_t>(length) - 4;
    if (bodyLength > static_cast<std::int64_t>(kMaxBodyBytes)) {
        platform::logf("[ZQ]frame body of %lld bytes is over the limit, link ends",
                       static_cast<long long>(bodyLength));
        return;
    }
    if (bodyLength < 1) {
        // No body byte: nothing to dispatch on (never a type byte left from an earlier packet).
        emptyFrameLog().logf("[ZQ]empty frame (length %d) dropped", length);
        record = SReceiveData{};
        return;
    }
    const auto bodySize = static_cast<std::size_t>(bodyLength);
    if (buffers.body.size() < bodySize)
        buffers.body.resize(bodySize);
    if (socket.Read(buffers.body.data(), bodySize) != static_cast<ssize_t>(bodySize))
        return;
    ParseBody(buffers.body.data(), bodySize, record, buffers);
    record.nStatus = 0;
}

} // namespace transport

namespace transport {

std::unique_ptr<SRequestData> newRequestData(int size) {
    auto request = std::make_unique<SRequestData>();
    if (size > 0)
        request->pBuffer.assign(static_cast<std::size_t>(size), 0);
    return request;
}

} // namespace transport
