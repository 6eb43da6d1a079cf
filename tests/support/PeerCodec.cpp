// Frame, text-command and envelope codec of the test peers.
#include "support/PeerCodec.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <openssl/evp.h>
#include <utility>

namespace testsupport {

namespace {

// The pass phrase whose UTF-16LE bytes give the text key.
constexpr std::string_view kPassPhrase = "wqbzjtrapmu##&&";
constexpr std::uint8_t kSyncBase = 0xA0;
constexpr char16_t kHighSurrogateFirst = 0xD800;
constexpr char16_t kLowSurrogateFirst = 0xDC00;
constexpr char16_t kSurrogateEnd = 0xE000;
constexpr std::uint32_t kSupplementaryFirst = 0x10000;
constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;

} // namespace

void putU16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    }
}

bool readU16(const Bytes& in, std::uint64_t offset, std::uint16_t& v) {
    if (offset > in.size() || in.size() - offset < 2) {
        return false;
    }
    v = static_cast<std::uint16_t>(in[offset] | (in[offset + 1] << 8));
    return true;
}

bool readU32(const Bytes& in, std::uint64_t offset, std::uint32_t& v) {
    if (offset > in.size() || in.size() - offset < 4) {
        return false;
    }
    v = static_cast<std::uint32_t>(in[offset]) | (static_cast<std::uint32_t>(in[offset + 1]) << 8) |
        (static_cast<std::uint32_t>(in[offset + 2]) << 16) |
        (static_cast<std::uint32_t>(in[offset + 3]) << 24);
    return true;
}

// ---- Frame -------------------------------------------------------------------------------------

std::array<std::uint8_t, kSyncSize> syncWord(std::uint8_t t) {
    return {static_cast<std::uint8_t>(kSyncBase | (t >> 5)), static_cast<std::uint8_t>(kSyncBase | (t >> 6)),
            static_cast<std::uint8_t>(kSyncBase | (t >> 4)), t};
}

bool syncWordValid(const std::uint8_t* word) {
    const auto expected = syncWord(word[3]);
    return word[0] == expected[0] && word[1] == expected[1] && word[2] == expected[2];
}

Bytes frame(const Bytes& body, std::uint8_t t) {
    // Sized up front and filled by copy: GCC 12 misreads insert-after-reserve as an overflow.
    const auto sync = syncWord(t);
    Bytes out(sync.begin(), sync.end());
    putU32(out, static_cast<std::uint32_t>(body.size() + kLengthSize));
    const std::size_t head = out.size();
    out.resize(head + body.size());
    if (!body.empty())
        std::memcpy(out.data() + head, body.data(), body.size());
    return out;
}

Bytes frame(const Bytes& body) {
    return frame(body, static_cast<std::uint8_t>(std::time(nullptr) & 0xFF));
}

FrameParse parseFrame(const std::uint8_t* data, std::size_t size) {
    FrameParse result;
    if (size < kSyncSize) {
        return result;
    }
    if (!syncWordValid(data)) {
        result.status = FrameStatus::BadSync;
        return result;
    }
    if (size < kFrameHeaderSize) {
        return result;
    }
    const std::uint64_t length =
        static_cast<std::uint64_t>(data[4]) | (static_cast<std::uint64_t>(data[5]) << 8) |
        (static_cast<std::uint64_t>(data[6]) << 16) | (static_cast<std::uint64_t>(data[7]) << 24);
    // The length counts itself; anything below that carries no body at all.
    if (length < kLengthSize) {
        result.status = FrameStatus::BadLength;
        return result;
    }
    const std::uint64_t bodySize = length - kLengthSize;
    if (bodySize > kMaxBodySize) {
        result.status = FrameStatus::TooLarge;
        return result;
    }
    if (size - kFrameHeaderSize < bodySize) {
        return result;
    }
    result.status = FrameStatus::Complete;
    result.consumed = kFrameHeaderSize + static_cast<std::size_t>(bodySize);
    std::copy(data, data + kSyncSize, result.sync.begin());
    result.body.assign(data + kFrameHeaderSize, data + result.consumed);
    return result;
}

// ---- Digest and cipher -------------------------------------------------------------------------

Digest md5(const std::uint8_t* data, std::size_t size) {
    Digest digest{};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned int written = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data, size) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest.data(), &written) != 1) {
        digest.fill(0);
    }
    return digest;
}

std::string hexLower(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0x0F]);
    }
    return out;
}

Rc4::Rc4(const std::uint8_t* key, std::size_t keySize) {
    for (std::size_t i = 0; i < m_state.size(); ++i) {
        m_state[i] = static_cast<std::uint8_t>(i);
    }
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < m_state.size(); ++i) {
        j = static_cast<std::uint8_t>(j + m_state[i] + key[i % keySize]);
        std::swap(m_state[i], m_state[j]);
    }
}

void Rc4::apply(std::uint8_t* data, std::size_t size) {
    for (std::size_t n = 0; n < size; ++n) {
        m_i = static_cast<std::uint8_t>(m_i + 1);
        m_j = static_cast<std::uint8_t>(m_j + m_state[m_i]);
        std::swap(m_state[m_i], m_state[m_j]);
        data[n] ^= m_state[static_cast<std::uint8_t>(m_state[m_i] + m_state[m_j])];
    }
}

const Digest& textKey() {
    static const Digest key = [] {
        Bytes phrase;
        for (char c : kPassPhrase) {
            putU16(phrase, static_cast<std::uint16_t>(c));
        }
        return md5(phrase.data(), phrase.size());
    }();
    return key;
}

// ---- Text --------------------------------------------------------------------------------------

std::optional<std::u16string> utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07;
            minimum = kSupplementaryFirst;
        } else {
            return std::nullopt;
        }
        if (utf8.size() - i - 1 < extra) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<std::uint8_t>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > kMaxCodePoint || (cp >= kHighSurrogateFirst && cp < kSurrogateEnd)) {
            return std::nullopt;
        }
        if (cp >= kSupplementaryFirst) {
            cp -= kSupplementaryFirst;
            out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (cp >> 10)));
            out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return out;
}

std::optional<std::string> utf16ToUtf8(std::u16string_view units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (cp >= kHighSurrogateFirst && cp < kLowSurrogateFirst) {
            if (i + 1 >= units.size() || units[i + 1] < kLowSurrogateFirst || units[i + 1] >= kSurrogateEnd) {
                return std::nullopt;
            }
            cp = kSupplementaryFirst + ((cp - kHighSurrogateFirst) << 10) +
                 (units[i + 1] - kLowSurrogateFirst);
            ++i;
        } else if (cp >= kLowSurrogateFirst && cp < kSurrogateEnd) {
            return std::nullopt;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < kSupplementaryFirst) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

Bytes textBodyFromUnits(std::u16string_view units) {
    Bytes plain;
    plain.reserve(units.size() * 2);
    for (char16_t unit : units) {
        putU16(plain, static_cast<std::uint16_t>(unit));
    }
    const Digest digest = md5(plain.data(), plain.size());
    const std::string hex = hexLower(digest.data(), digest.size());

    Bytes body;
    body.reserve(kTextHeaderSize + plain.size());
    body.push_back(kBodyText);
    putU32(body, kDigestUnits);
    for (char c : hex) {
        putU16(body, static_cast<std::uint16_t>(c));
    }
    putU32(body, static_cast<std::uint32_t>(plain.size()));
    // A fresh cipher state per message: every text starts the key stream from its beginning.
    Rc4 cipher(textKey().data(), textKey().size());
    cipher.apply(plain.data(), plain.size());
    body.insert(body.end(), plain.begin(), plain.end());
    return body;
}

std::optional<Bytes> textBody(std::string_view utf8) {
    const auto units = utf8ToUtf16(utf8);
    if (!units) {
        return std::nullopt;
    }
    return textBodyFromUnits(*units);
}

std::optional<TextCommand> parseTextBody(const Bytes& body) {
    if (body.empty() || body[0] != kBodyText) {
        return std::nullopt;
    }
    std::uint32_t digestUnits = 0;
    if (!readU32(body, 1, digestUnits)) {
        return std::nullopt;
    }
    const std::uint64_t digestOffset = 5;
    const std::uint64_t textLengthOffset = digestOffset + 2ULL * digestUnits;
    std::uint32_t textBytes = 0;
    if (!readU32(body, textLengthOffset, textBytes)) {
        return std::nullopt;
    }
    const std::uint64_t textOffset = textLengthOffset + 4;
    if (body.size() - textOffset < textBytes) {
        return std::nullopt;
    }
    Bytes plain(body.begin() + static_cast<std::ptrdiff_t>(textOffset),
                body.begin() + static_cast<std::ptrdiff_t>(textOffset + textBytes));
    Rc4 cipher(textKey().data(), textKey().size());
    cipher.apply(plain.data(), plain.size());

    std::string digestText;
    for (std::uint64_t i = 0; i < digestUnits; ++i) {
        std::uint16_t unit = 0;
        readU16(body, digestOffset + 2 * i, unit);
        digestText.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    const Digest expected = md5(plain.data(), plain.size());

    std::u16string units;
    for (std::size_t i = 0; i + 1 < plain.size(); i += 2) {
        const auto unit = static_cast<char16_t>(plain[i] | (plain[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    auto utf8 = utf16ToUtf8(units);
    if (!utf8) {
        return std::nullopt;
    }
    TextCommand command;
    command.text = std::move(*utf8);
    command.code = command.text.substr(0, std::min(command.text.size(), kCodeSize));
    command.params = command.text.size() > kCodeSize ? command.text.substr(kCodeSize) : std::string();
    command.digestMatches = digestText == hexLower(expected.data(), expected.size());
    return command;
}

// ---- Relay envelope ----------------------------------------------------------------------------

Bytes envelopeBody(std::uint32_t teacherConnId, std::uint32_t connId, const Bytes& inner) {
    Bytes body;
    body.reserve(kEnvelopeHeaderSize + inner.size());
    body.push_back(kBodyEnvelope);
    putU32(body, teacherConnId);
    putU32(body, connId);
    putU32(body, static_cast<std::uint32_t>(inner.size()));
    body.insert(body.end(), inner.begin(), inner.end());
    return body;
}

std::optional<Envelope> parseEnvelope(const Bytes& body) {
    if (body.size() < kEnvelopeHeaderSize || body[0] != kBodyEnvelope) {
        return std::nullopt;
    }
    Envelope envelope;
    std::uint32_t innerSize = 0;
    readU32(body, 1, envelope.teacherConnId);
    readU32(body, 5, envelope.connId);
    readU32(body, 9, innerSize);
    // The sender counts exactly the inner body; a mismatch is a fault of the sender.
    if (static_cast<std::uint64_t>(innerSize) != body.size() - kEnvelopeHeaderSize) {
        return std::nullopt;
    }
    envelope.inner.assign(body.begin() + kEnvelopeHeaderSize, body.end());
    return envelope;
}

} // namespace testsupport
