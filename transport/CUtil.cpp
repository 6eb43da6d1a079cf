#include "transport/CUtil.h"

#include <cerrno>
#include <cstdio>
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

} // namespace

bool CUtil::U8ToU32(const char* text, std::unique_ptr<std::uint32_t[]>& out) {
    out.reset();
    IconvHandle cd("UTF-32LE", "UTF-8");
    if (!cd.valid()) {
        std::perror("U8ToU32:iconv_open\n");
        return false;
    }
    const std::size_t n = text ? std::strlen(text) : 0;
    // 4n + 4 bytes: each UTF-8 byte yields at most one code point, plus the zero terminator.
    auto buffer = std::make_unique<std::uint32_t[]>(n + 1);
    std::string input(text ? text : "", n);
    if (n > 0 && !cd.convert(input.data(), n, reinterpret_cast<char*>(buffer.get()), 4 * n)) {
        std::perror("U8ToU32:iconv");
        return false;
    }
    out = std::move(buffer);
    return true;
}

bool CUtil::U32ToU8(const std::uint32_t* text, std::unique_ptr<char[]>& out) {
    out.reset();
    IconvHandle cd("UTF-8", "UTF-32LE");
    if (!cd.valid()) {
        std::perror("U32ToU8:iconv_open\n");
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
        std::perror("U32ToU8:iconv");
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
    std::vector<std::uint32_t> points;
    points.reserve(count + 1);
    for (std::size_t i = 0; i < count && units[i] != 0; ++i) {
        const std::uint32_t u = units[i];
        if (u >= kSurrogateHighFirst && u < kSurrogateLowFirst) {
            const std::uint32_t next = (i + 1 < count) ? units[i + 1] : 0;
            if (next < kSurrogateLowFirst || next > kSurrogateLast)
                return false;
            points.push_back(kSupplementaryFirst + ((u - kSurrogateHighFirst) << kSurrogatePayloadBits) +
                             (next - kSurrogateLowFirst));
            ++i;
        } else if (u >= kSurrogateLowFirst && u <= kSurrogateLast) {
            return false;
        } else {
            points.push_back(u);
        }
    }
    if (points.empty())
        return true;
    points.push_back(0);
    std::unique_ptr<char[]> utf8;
    CUtil util;
    if (!util.U32ToU8(points.data(), utf8))
        return false;
    text = utf8.get();
    return true;
}

} // namespace transport
