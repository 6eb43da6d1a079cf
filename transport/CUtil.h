// Text conversions between UTF-8 (the rest of the agent), 32-bit code points and the 16-bit
// little-endian units that the wire carries, plus the comma splitter that command handlers use.
// Reentrant: every call opens its own conversion descriptor; any thread may call at any time.
#pragma once

#include "platform/Log.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace transport {

// Stateless converter; callers make one on the stack for one conversion.
class CUtil {
public:
    CUtil() = default;
    virtual ~CUtil() = default;

    // UTF-8 (zero-terminated) to zero-terminated code points. On failure logs
    // "U8ToU32:iconv_open"/"U8ToU32:iconv" with the system's error text (TextConversionLog),
    // leaves out empty and answers false.
    bool U8ToU32(const char* text, std::unique_ptr<std::uint32_t[]>& out);
    // Zero-terminated code points to zero-terminated UTF-8. On failure logs
    // "U32ToU8:iconv_open"/"U32ToU8:iconv" as above, leaves out empty and answers false.
    bool U32ToU8(const std::uint32_t* text, std::unique_ptr<char[]>& out);
};

// The log of texts that fail to convert, in either direction, and of received frames and bodies
// that are dropped: a few lines a second at most, since a peer can send such input without end.
platform::LogRateLimit& TextConversionLog();

// Number of 16-bit units before the first zero unit.
std::size_t U16StrLen(const std::uint16_t* text);

// Splits text at every separator byte. A text without any separator (or empty) yields null and
// count 0 and stays unchanged; otherwise count = separators + 1, fields are byte ranges (empty
// fields kept) and text is emptied.
std::unique_ptr<std::string[]> SplitString(std::string& text, char separator, int& count);

// UTF-8 to wire units: code points above U+FFFF become surrogate pairs; the first U+0000 ends the
// text. Answers false (units cleared) when the text is not valid UTF-8.
bool Utf8ToWireUnits(const std::string& text, std::vector<std::uint16_t>& units);
// Wire units (up to count or the first zero unit) to UTF-8; surrogate pairs are combined, a lone
// surrogate makes the conversion fail (answers false, text cleared).
bool WireUnitsToUtf8(const std::uint16_t* units, std::size_t count, std::string& text);

} // namespace transport
