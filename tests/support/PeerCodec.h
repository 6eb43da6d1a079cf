// The wire codec of the scripted test peers: frames, text commands and relay envelopes, written
// independently of transport/ so tests check the agent's bytes against a second implementation.
// Pure functions and small value types; any thread may call them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// Body types, the first byte of every body.
constexpr std::uint8_t kBodyText = 1;
constexpr std::uint8_t kBodyScreenFormat = 2;
constexpr std::uint8_t kBodyKey = 4;
constexpr std::uint8_t kBodyMouse = 5;
constexpr std::uint8_t kBodyImage = 7;
constexpr std::uint8_t kBodyFile = 9;
constexpr std::uint8_t kBodyCompression = 10;
constexpr std::uint8_t kBodyTiles = 12;
constexpr std::uint8_t kBodyEnvelope = 13;
constexpr std::uint8_t kBodyStroke = 14;
constexpr std::uint8_t kBodyH264 = 17;

// Sync word (4 bytes) and the length word that counts itself but not the sync word.
constexpr std::size_t kSyncSize = 4;
constexpr std::size_t kLengthSize = 4;
constexpr std::size_t kFrameHeaderSize = kSyncSize + kLengthSize;
// The peers refuse bodies above this size, as the agent does.
constexpr std::uint64_t kMaxBodySize = 64ULL * 1024 * 1024;

// A text command's digest is always 32 hexadecimal digits, one UTF-16 unit each.
constexpr std::uint32_t kDigestUnits = 32;
// Type byte, digest length, digest, text length.
constexpr std::size_t kTextHeaderSize = 1 + 4 + 2 * kDigestUnits + 4;
// Every text command starts with a nine-byte bracketed code such as "[PC00003]".
constexpr std::size_t kCodeSize = 9;
// Envelope: type byte, teacher connection id, student connection id, inner length.
constexpr std::size_t kEnvelopeHeaderSize = 13;

// Little-endian helpers; the readers answer false when the bytes are not all there.
void putU16(Bytes& out, std::uint16_t v);
void putU32(Bytes& out, std::uint32_t v);
bool readU16(const Bytes& in, std::uint64_t offset, std::uint16_t& v);
bool readU32(const Bytes& in, std::uint64_t offset, std::uint32_t& v);

// ---- Frame -------------------------------------------------------------------------------------

// The sync word for the low byte t of the sender's clock in seconds.
std::array<std::uint8_t, kSyncSize> syncWord(std::uint8_t t);
bool syncWordValid(const std::uint8_t* word);

// Frames a body with the sync word of t, or of the current time.
Bytes frame(const Bytes& body, std::uint8_t t);
Bytes frame(const Bytes& body);

enum class FrameStatus { Complete, NeedMore, BadSync, BadLength, TooLarge };

struct FrameParse {
    FrameStatus status = FrameStatus::NeedMore;
    std::size_t consumed = 0; // bytes of the stream that the frame took (Complete only)
    std::array<std::uint8_t, kSyncSize> sync{};
    Bytes body; // the whole body, type byte first; empty for a frame of L = 4
};

// Parses the first frame of a received stream. Never reads past size.
FrameParse parseFrame(const std::uint8_t* data, std::size_t size);

// ---- Digest and cipher -------------------------------------------------------------------------

using Digest = std::array<std::uint8_t, 16>;
Digest md5(const std::uint8_t* data, std::size_t size);
std::string hexLower(const std::uint8_t* data, std::size_t size);

// RC4 as published: key scheduling over 256 state bytes, then the output generator.
class Rc4 {
public:
    Rc4(const std::uint8_t* key, std::size_t keySize);
    void apply(std::uint8_t* data, std::size_t size);

private:
    std::array<std::uint8_t, 256> m_state{};
    std::uint8_t m_i = 0;
    std::uint8_t m_j = 0;
};

// The fixed text key every link uses: the MD5 of the pass phrase as UTF-16LE.
const Digest& textKey();

// ---- Text --------------------------------------------------------------------------------------

// UTF-8 <-> UTF-16 with surrogate pairs; answer nullopt on malformed input.
std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);
std::optional<std::string> utf16ToUtf8(std::u16string_view units);

// A complete type-1 body for a UTF-8 text (surrogate pairs above U+FFFF), or for raw units.
std::optional<Bytes> textBody(std::string_view utf8);
Bytes textBodyFromUnits(std::u16string_view units);

struct TextCommand {
    std::string text;   // the whole UTF-8 text
    std::string code;   // its first nine bytes
    std::string params; // the rest
    bool digestMatches = false;
};

// Parses a whole type-1 body (type byte first); nullopt when a count runs past the body or
// the text is not valid UTF-16.
std::optional<TextCommand> parseTextBody(const Bytes& body);

// ---- Relay envelope ----------------------------------------------------------------------------

struct Envelope {
    std::uint32_t teacherConnId = 0;
    std::uint32_t connId = 0;
    Bytes inner; // the inner body, type byte first
};

Bytes envelopeBody(std::uint32_t teacherConnId, std::uint32_t connId, const Bytes& inner);
std::optional<Envelope> parseEnvelope(const Bytes& body);

} // namespace testsupport
