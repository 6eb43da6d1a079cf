#include "transport/CUtil.h"

#include "platform/Log.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <iconv.h>

namespace transport {
namespace {

constexpr std::uint32_t kSurrogateHighFirst = 0xD800;
constexpr std::uint32_t kSurrogateLowFirst = 0xDC00;
constexpr std::uint32_t kSurrogateLast = 0xDFFF;
constexpr std::uint32_t kSupplementaryFirst = 0x10000;
constexpr std::uint32_t kSurrogatePayloadBits = 10;
constexpr std::uint32_t kSurrogatePayloadMask = 0x3FF;
// A text of up to this many units is widened on the stack; only longer ones (never a received
// text, which is held to the wire's work area) take a heap buffer.
constexpr std::size_t kStackUnits = 1024;
constexpr std::uint32_t kOneByteLimit = 0x80;
constexpr std::uint32_t kTwoByteLimit = 0x800;
constexpr std::uint32_t kThreeByteLimit = 0x10000;
// Conversion failures come from outside text and can repeat without end.
constexpr int kConversionLinesPerSecond = 3;

// Owns one iconv descriptor for the length of a conversion.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid())
            iconv_close(m_cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    // Converts all input; answers false on any conversion error.
    bool convert(char* in, std::size_t inBytes, char* out, std::size_t outBytes) {
        return iconv(m_cd, &in, &inBytes, &out, &outBytes) != static_cast<std::size_t>(-1) && inBytes == 0;
    }

private:
    iconv_t m_cd;
};

// The conversion's failure line: the operation's name and the system's error text, as the C
// library's error printer would put them, but through the log and at a bounded rate.
void logConversionFailure(const char* what, int error) {
    TextConversionLog().logf("%s: %s", what, std::strerror(error));
}

// Exact UTF-8 length of valid code points (surrogates are rejected before this is asked).
std::size_t utf8Length(const std::uint32_t* points, std::size_t count) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < count; ++i)
        bytes += points[i] < kOneByteLimit     ? 1
                 : points[i] < kTwoByteLimit   ? 2
                 : points[i] < kThreeByteLimit ? 3
                                               : 4;
    return bytes;
}

} // namespace

platform::LogRateLimit& TextConversionLog() {
    static platform::LogRateLimit limit(kConversionLinesPerSecond);
    return limit;
}

bool CUtil::U8ToU32(const char* text, std::unique_ptr<std::uint32_t[]>& out) {
    out.reset();
    IconvHandle cd("UTF-32LE", "UTF-8");
    if (!cd.valid()) {
        logConversionFailure("U8ToU32:iconv_open", errno);
        return false;
    }
    const std::size_t n = text ? std::strlen(text) : 0;
    // 4n + 4 bytes: each UTF-8 byte yields at most one code point, plus the zero terminator.
    auto buffer = std::make_unique<std::uint32_t[]>(n + 1);
    std::string input(text ? text : "", n);
    if (n > 0 && !cd.convert(input.data(), n, reinterpret_cast<char*>(buffer.get()), 4 * n)) {
        logConversionFailure("U8ToU32:iconv", errno);
        return false;
    }
    out = std::move(buffer);
    return true;
}

bool CUtil::U32ToU8(const std::uint32_t* text, std::unique_ptr<char[]>& out) {
    out.reset();
    IconvHandle cd("UTF-8", "UTF-32LE");
    if (!cd.valid()) {
        logConversionFailure("U32ToU8:iconv_open", errno);
        return false;
    }
    std::size_t n = 0;
    while (text && text[n] != 0)
        ++n;
    auto work = std::make_unique<std::uint32_t[]>(n + 1);
    if (n > 0)
        std::memcpy(work.get(), text, 4 * n);
    // 8(n + 1) bytes: a code point takes at most four UTF-8 bytes; the rest stays zero.
    auto buffer = std::make_unique<char[]>(8 * (n + 1));
    if (n > 0 && !cd.convert(reinterpret_cast<char*>(work.get()), 4 * n, buffer.get(), 8 * (n + 1) - 1)) {
        logConversionFailure("U32ToU8:iconv", errno);
        return false;
    }
    out = std::move(buffer);
    return true;
}

std::size_t U16StrLen(const std::uint16_t* text) {
    std::size_t n = 0;
    while (text && text[n] != 0)
        ++n;
    return n;
}

std::unique_ptr<std::string[]> SplitString(std::string& text, char separator, int& count) {
    count = 0;
    if (text.empty())
        return nullptr;
    std::size_t separators = 0;
    for (char c : text)
        separators += (c == separator) ? 1 : 0;
    if (separators == 0)
        return nullptr;
    auto fields = std::make_unique<std::string[]>(separators + 1);
    std::size_t index = 0;
    std::size_t start = 0;
    for (std::size_t pos = text.find(separator); pos != std::string::npos;
         pos = text.find(separator, start)) {
        fields[index++] = text.substr(start, pos - start);
        start = pos + 1;
    }
    fields[index] = text.substr(start);
    count = static_cast<int>(separators + 1);
    text.clear();
    return fields;
}

bool Utf8ToWireUnits(const std::string& text, std::vector<std::uint16_t>& units) {
    units.clear();
    std::unique_ptr<std::uint32_t[]> points;
    CUtil util;
    if (!util.U8ToU32(text.c_str(), points))
        return false;
    for (std::size_t i = 0; points[i] != 0; ++i) {
        const std::uint32_t cp = points[i];
        if (cp >= kSupplementaryFirst) {
            const std::uint32_t v = cp - kSupplementaryFirst;
            units.push_back(static_cast<std::uint16_t>(kSurrogateHighFirst + (v >> kSurrogatePayloadBits)));
            units.push_back(static_cast<std::uint16_t>(kSurrogateLowFirst + (v & kSurrogatePayloadMask)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    return true;
}

bool WireUnitsToUtf8(const std::uint16_t* units, std::size_t count, std::string& text) {
    text.clear();
    std::array<std::uint32_t, kStackUnits> stackPoints;
    std::vector<std::uint32_t> heapPoints;
    std::uint32_t* points = stackPoints.data();
    if (count > kStackUnits) {
        heapPoints.resize(count);
        points = heapPoints.data();
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < count && units[i] != 0; ++i) {
        const std::uint32_t u = units[i];
        if (u >= kSurrogateHighFirst && u < kSurrogateLowFirst) {
            const std::uint32_t next = (i + 1 < count) ? units[i + 1] : 0;
            if (next < kSurrogateLowFirst || next > kSurrogateLast)
                return false;
            points[n++] = kSupplementaryFirst + ((u - kSurrogateHighFirst) << kSurrogatePayloadBits) +
                          (next - kSurrogateLowFirst);
            ++i;
        } else if (u >= kSurrogateLowFirst && u <= kSurrogateLast) {
            return false;
        } else {
            points[n++] = u;
        }
    }
    if (n == 0)
        return true;
    // Converted straight into a string of the exact UTF-8 length: a received text costs its own
    // size once, not the several scratch copies of a general conversion.
    IconvHandle cd("UTF-8", "UTF-32LE");
    if (!cd.valid()) {
        logConversionFailure("U32ToU8:iconv_open", errno);
        return false;
    }
    text.resize(utf8Length(points, n));
    if (!cd.convert(reinterpret_cast<char*>(points), 4 * n, text.data(), text.size())) {
        logConversionFailure("U32ToU8:iconv", errno);
        text.clear();
        return false;
    }
    return true;
}

} // namespace transport
