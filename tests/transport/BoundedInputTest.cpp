// Received texts and file names are widened into a work area of 1024 units: what fits is parsed,
// what does not is dropped with a log line, directly and inside a relay envelope. Bodies come from
// the peers' own codec.
#include "platform/ManualRunLoop.h"
#include "platform/PlatformTestSupport.h"
#include "support/PeerBodies.h"
#include "support/PeerCodec.h"
#include "transport/PacketCodec.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace transport {
namespace {

using testsupport::Bytes;

constexpr std::size_t kLargestText = 1023;

// "[MV00072]" and 'x' up to units UTF-16 units.
Bytes TextOfUnits(std::size_t units) {
    std::u16string text = u"[MV00072]";
    text.resize(units, u'x');
    return testsupport::textBodyFromUnits(text);
}

Bytes FileNamedWithUnits(std::size_t units) {
    return testsupport::fileBody(1, 0, std::string(units, 'n'), {1, 2, 3}).value();
}

ParseResult Parse(const Bytes& body, SReceiveData& record) {
    auto copy = std::make_unique<std::uint8_t[]>(body.size());
    std::copy(body.begin(), body.end(), copy.get());
    ReceiveBuffers buffers;
    return ParseBody(copy.get(), body.size(), record, buffers);
}

TEST(BoundedInputTest, TextsAndFileNamesUpToTheWorkArea) {
    struct Case {
        const char* name;
        Bytes body;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"text of 1023 units", TextOfUnits(kLargestText), true},
        {"text of 1024 units", TextOfUnits(kLargestText + 1), false},
        {"text of 40000 units", TextOfUnits(40000), false},
        {"enveloped text of 1023 units", testsupport::envelopeBody(4, 17, TextOfUnits(kLargestText)), true},
        {"enveloped text of 1024 units", testsupport::envelopeBody(4, 17, TextOfUnits(kLargestText + 1)),
         false},
        {"file name of 1023 units", FileNamedWithUnits(kLargestText), true},
        {"file name of 1024 units", FileNamedWithUnits(kLargestText + 1), false},
        {"enveloped file name of 1024 units",
         testsupport::envelopeBody(4, 17, FileNamedWithUnits(kLargestText + 1)), false},
    };
    // Drop lines are rate-limited on the main clock: each case gets a second of its own.
    platform::ManualRunLoop loop;
    loop.install();
    for (const Case& c : cases) {
        loop.advance(1.0);
        platform::testing::LogCapture log;
        SReceiveData r;
        const ParseResult result = Parse(c.body, r);
        if (c.accepted) {
            EXPECT_EQ(result, ParseResult::kParsed) << c.name;
            EXPECT_NE(r.nType, 0) << c.name;
            EXPECT_TRUE(r.strCode == "[MV00072]" || r.strFileName.size() == kLargestText) << c.name;
        } else {
            EXPECT_EQ(result, ParseResult::kDropped) << c.name;
            EXPECT_EQ(r.nType, 0) << c.name;
            EXPECT_TRUE(r.strParams.empty() && r.strFileName.empty() && r.pFileData.empty()) << c.name;
            EXPECT_TRUE(log.contains("over the limit")) << c.name;
        }
    }
}

} // namespace
} // namespace transport
