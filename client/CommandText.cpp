#include "client/CommandText.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace client {

std::int32_t parseInt32(std::string_view text) {
    // strtoll needs a terminated string; the copy also bounds the read to the field.
    std::string copy(text);
    errno = 0;
    long long value = std::strtoll(copy.c_str(), nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::vector<std::string> splitFields(std::string_view text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            return fields;
        }
        fields.emplace_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

const std::string& fieldAt(const std::vector<std::string>& fields, std::size_t i) {
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

std::optional<std::size_t> utf16UnitCount(std::string_view utf8) {
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (utf8.size() - i < length)
            return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        constexpr std::uint32_t kMinForLength[] = {0, 0, 0x80, 0x800, 0x10000};
        constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;
        constexpr std::uint32_t kSurrogateFirst = 0xD800;
        constexpr std::uint32_t kSurrogateLast = 0xDFFF;
        constexpr std::uint32_t kFirstSupplementary = 0x10000;
        if (codePoint < kMinForLength[length] || codePoint > kMaxCodePoint ||
            (codePoint >= kSurrogateFirst && codePoint <= kSurrogateLast))
            return std::nullopt;
        units += codePoint >= kFirstSupplementary ? 2 : 1;
        i += length;
    }
    return units;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty())
        return text;
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

} // namespace client
