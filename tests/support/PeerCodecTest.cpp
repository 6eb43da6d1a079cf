// The peers' frame, text and envelope codec against published byte vectors of the wire format.
#include "support/PeerCodec.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace testsupport {
namespace {

Bytes hexBytes(const char* hex) {
    Bytes out;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    }
    return out;
}

Bytes utf16le(const char* ascii) {
    Bytes out;
    for (const char* p = ascii; *p != '\0'; ++p) {
        putU16(out, static_cast<std::uint16_t>(*p));
    }
    return out;
}

// "[PC00003]": digest field of the MD5 hex of its 18 UTF-16LE bytes, then those bytes enciphered.
const Bytes kHeartbeatBody = [] {
    Bytes body{0x01, 0x20, 0x00, 0x00, 0x00};
    const Bytes digest = utf16le("e5d907d1c95333bfe8f7e0605315cc56");
    body.insert(body.end(), digest.begin(), digest.end());
    const Bytes tail = hexBytes("12000000AC01324DF1184EC8633BD2151BB21861D79B");
    body.insert(body.end(), tail.begin(), tail.end());
    return body;
}();

struct SyncCase {
    std::uint8_t t;
    std::array<std::uint8_t, 4> word;
};

TEST(PeerCodecTest, SyncWordsFollowTheClockByte) {
    const SyncCase cases[] = {
        {0x5C, {0xA2, 0xA1, 0xA5, 0x5C}},
        {0x00, {0xA0, 0xA0, 0xA0, 0x00}},
        {0xFF, {0xA7, 0xA3, 0xAF, 0xFF}},
    };
    for (const SyncCase& c : cases) {
        EXPECT_EQ(syncWord(c.t), c.word) << int(c.t);
        EXPECT_TRUE(syncWordValid(c.word.data()));
    }
}

TEST(PeerCodecTest, FrameCountsItsLengthWordButNotTheSyncWord) {
    const Bytes framed = frame(Bytes{0x02, 0x00}, 0x00);
    EXPECT_EQ(framed, hexBytes("A0A0A000060000000200"));

    const FrameParse parsed = parseFrame(framed.data(), framed.size());
    ASSERT_EQ(parsed.status, FrameStatus::Complete);
    EXPECT_EQ(parsed.consumed, framed.size());
    EXPECT_EQ(parsed.body, (Bytes{0x02, 0x00}));
}

TEST(PeerCodecTest, FrameParserRefusesBrokenHeadersAndWaitsForMissingBytes) {
    struct Case {
        const char* hex;
        FrameStatus status;
    };
    const Case cases[] = {
        {"A1A0A00006000000 0200", FrameStatus::BadSync}, {"A0A0A00000000000", FrameStatus::BadLength},
        {"A0A0A00003000000", FrameStatus::BadLength},    {"A0A0A000FFFFFFFF", FrameStatus::TooLarge},
        {"A0A0A0000600000002", FrameStatus::NeedMore},   {"A0A0A0", FrameStatus::NeedMore},
    };
    for (const Case& c : cases) {
        std::string hex(c.hex);
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        const Bytes bytes = hexBytes(hex.c_str());
        EXPECT_EQ(parseFrame(bytes.data(), bytes.size()).status, c.status) << c.hex;
    }
}

TEST(PeerCodecTest, TextKeyIsTheDigestOfThePassPhrase) {
    const Digest& key = textKey();
    EXPECT_EQ(hexLower(key.data(), key.size()), "f9db387bf5c47101fcfcfa19ad027ed0");
}

TEST(PeerCodecTest, Rc4MatchesPublishedVectors) {
    struct Case {
        const char* key;
        const char* plain;
        const char* cipherHex;
    };
    const Case cases[] = {
        {"Key", "Plaintext", "BBF316E8D940AF0AD3"},
        {"Wiki", "pedia", "1021BF0420"},
        {"Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"},
    };
    for (const Case& c : cases) {
        Bytes data(c.plain, c.plain + std::strlen(c.plain));
        Rc4 cipher(reinterpret_cast<const std::uint8_t*>(c.key), std::strlen(c.key));
        cipher.apply(data.data(), data.size());
        EXPECT_EQ(data, hexBytes(c.cipherHex)) << c.key;
    }
}

TEST(PeerCodecTest, HeartbeatTextEncodesToTheKnownBody) {
    const auto body = textBody("[PC00003]");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->size(), 91u);
    EXPECT_EQ(*body, kHeartbeatBody);

    const auto command = parseTextBody(kHeartbeatBody);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->code, "[PC00003]");
    EXPECT_EQ(command->params, "");
    EXPECT_TRUE(command->digestMatches);
}

TEST(PeerCodecTest, TextRoundTripsParametersKoreanAndSupplementaryCharacters) {
    const std::string texts[] = {"[MV00050]true", "[MV00030]\xEC\x95\x88\xEB\x85\x95,\xF0\x9F\x98\x80",
                                 "[X]"};
    for (const std::string& text : texts) {
        const auto body = textBody(text);
        ASSERT_TRUE(body);
        const auto command = parseTextBody(*body);
        ASSERT_TRUE(command) << text;
        EXPECT_EQ(command->text, text);
        EXPECT_TRUE(command->digestMatches);
    }
    // U+1F600 travels as one surrogate pair: two units, four bytes.
    const auto emoji = textBody("\xF0\x9F\x98\x80");
    ASSERT_TRUE(emoji);
    EXPECT_EQ(emoji->size(), kTextHeaderSize + 4);
}

TEST(PeerCodecTest, TextParserRefusesEveryTruncationAndLyingCounts) {
    for (std::size_t size = 0; size < kHeartbeatBody.size(); ++size) {
        const Bytes prefix(kHeartbeatBody.begin(),
                           kHeartbeatBody.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(parseTextBody(prefix)) << size;
    }
    Bytes hugeDigest = kHeartbeatBody;
    hugeDigest[1] = hugeDigest[2] = hugeDigest[3] = hugeDigest[4] = 0xFF;
    EXPECT_FALSE(parseTextBody(hugeDigest));
    Bytes hugeText = kHeartbeatBody;
    hugeText[69] = hugeText[70] = hugeText[71] = hugeText[72] = 0xFF;
    EXPECT_FALSE(parseTextBody(hugeText));
    EXPECT_FALSE(textBody("\xC3"));
    EXPECT_FALSE(utf16ToUtf8(std::u16string(1, u'\xDC00')));
}

TEST(PeerCodecTest, DigestMismatchIsReportedNotHidden) {
    Bytes body = kHeartbeatBody;
    body[5] = '0'; // first digest unit changed
    const auto command = parseTextBody(body);
    ASSERT_TRUE(command);
    EXPECT_FALSE(command->digestMatches);
}

TEST(PeerCodecTest, EnvelopeCarriesBothConnectionIdsAndTheInnerBody) {
    const Bytes envelope = envelopeBody(34, 12, kHeartbeatBody);
    ASSERT_EQ(envelope.size(), 104u);
    EXPECT_EQ(Bytes(envelope.begin(), envelope.begin() + 13), hexBytes("0D220000000C0000005B000000"));
    EXPECT_EQ(envelope[13], kBodyText);

    const auto parsed = parseEnvelope(envelope);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->teacherConnId, 34u);
    EXPECT_EQ(parsed->connId, 12u);
    EXPECT_EQ(parsed->inner, kHeartbeatBody);

    Bytes trailing = envelope;
    trailing.push_back(0); // one byte more than the inner length counts
    EXPECT_FALSE(parseEnvelope(trailing));
    EXPECT_FALSE(parseEnvelope(Bytes(envelope.begin(), envelope.end() - 1)));
}

} // namespace
} // namespace testsupport
