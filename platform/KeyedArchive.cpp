#include "platform/KeyedArchive.h"

#include "platform/Log.h"

#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

namespace platform {
namespace {

constexpr std::uint8_t kMagic[4] = {'O', 'L', 'K', 'A'};
// Version 2 sums the archive a word at a time: a screen strip is checked twice on its way to the
// viewer, and one multiply per byte cost more than the rest of the unarchiving. Version 1 archives
// (summed a byte at a time, as stored before) are still read.
constexpr std::uint16_t kFormatVersion = 2;
constexpr std::uint16_t kByteSumVersion = 1;
constexpr std::size_t kVersionOffset = 4;
constexpr std::size_t kChecksumBytes = 8;
// Class names and keys are short identifiers; anything longer is corruption, not data.
constexpr std::uint64_t kMaxClassNameLength = 256;
constexpr std::uint64_t kMaxKeyLength = 1024;
constexpr std::uint64_t kMaxLength32 = std::numeric_limits<std::uint32_t>::max();

constexpr std::uint64_t kFnvOffsetBasis = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// Type tags on the wire; their order matches ArchiveValue's alternatives.
enum class Tag : std::uint8_t { Int = 1, Double = 2, String = 3, Bytes = 4, IntArray = 5 };

std::uint64_t fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = kFnvOffsetBasis;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= kFnvPrime;
    }
    return hash;
}

static_assert(std::endian::native == std::endian::little, "checksum words are read as host words");

// FNV-1a over little-endian 64-bit words, then the bytes of the tail.
std::uint64_t fnv1aWords(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = kFnvOffsetBasis;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= size; i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + i, sizeof word);
        hash ^= word;
        hash *= kFnvPrime;
    }
    for (; i < size; ++i) {
        hash ^= data[i];
        hash *= kFnvPrime;
    }
    return hash;
}

// Writes into a container of bytes or chars, reserved by the caller.
template <typename Out>
class Writer {
public:
    explicit Writer(Out& out) : m_out(out) {}
    void u8(std::uint8_t v) { m_out.push_back(static_cast<typename Out::value_type>(v)); }
    void u16(std::uint16_t v) { little(v, 2); }
    void u32(std::uint32_t v) { little(v, 4); }
    void u64(std::uint64_t v) { little(v, 8); }
    void raw(const void* data, std::size_t size) {
        const auto* p = static_cast<const typename Out::value_type*>(data);
        m_out.insert(m_out.end(), p, p + size);
    }
    // A length-prefixed block; false when it does not fit the 32-bit length.
    bool block(const void* data, std::size_t size) {
        if (static_cast<std::uint64_t>(size) > kMaxLength32)
            return false;
        u32(static_cast<std::uint32_t>(size));
        raw(data, size);
        return true;
    }

private:
    void little(std::uint64_t v, int count) {
        for (int i = 0; i < count; ++i)
            u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    Out& m_out;
};

// Reads from a bounded range; every read checks the bytes left first, and a failed read leaves
// the reader failed for good.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_left(size) {}

    bool u8(std::uint8_t& v) {
        std::uint64_t x = 0;
        if (!little(x, 1))
            return false;
        v = static_cast<std::uint8_t>(x);
        return true;
    }
    bool u16(std::uint16_t& v) {
        std::uint64_t x = 0;
        if (!little(x, 2))
            return false;
        v = static_cast<std::uint16_t>(x);
        return true;
    }
    bool u32(std::uint32_t& v) {
        std::uint64_t x = 0;
        if (!little(x, 4))
            return false;
        v = static_cast<std::uint32_t>(x);
        return true;
    }
    bool u64(std::uint64_t& v) { return little(v, 8); }
    bool raw(void* out, std::uint64_t size) {
        if (size > m_left)
            return false;
        if (size > 0)
            std::memcpy(out, m_data, static_cast<std::size_t>(size));
        skip(size);
        return true;
    }
    bool text(std::string& out, std::uint64_t maxLength) {
        std::uint32_t length = 0;
        if (!u32(length) || length > maxLength || length > m_left)
            return false;
        out.assign(reinterpret_cast<const char*>(m_data), length);
        skip(length);
        return true;
    }
    bool block(std::span<const std::uint8_t>& out) {
        std::uint32_t length = 0;
        if (!u32(length) || length > m_left)
            return false;
        out = {m_data, length};
        skip(length);
        return true;
    }
    std::uint64_t left() const { return m_left; }

private:
    bool little(std::uint64_t& v, int count) {
        if (static_cast<std::uint64_t>(count) > m_left)
            return false;
        v = 0;
        for (int i = 0; i < count; ++i)
            v |= static_cast<std::uint64_t>(m_data[i]) << (8 * i);
        skip(static_cast<std::uint64_t>(count));
        return true;
    }
    void skip(std::uint64_t n) {
        m_data += n;
        m_left -= n;
    }
    const std::uint8_t* m_data;
    std::uint64_t m_left;
};

// A byte block is left in borrowed when given, else copied into out.
bool readValue(Reader& in, Tag tag, ArchiveValue& out, std::span<const std::uint8_t>* borrowed) {
    switch (tag) {
    case Tag::Int: {
        std::uint64_t v = 0;
        if (!in.u64(v))
            return false;
        out = static_cast<std::int64_t>(v);
        return true;
    }
    case Tag::Double: {
        std::uint64_t bits = 0;
        if (!in.u64(bits))
            return false;
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        out = v;
        return true;
    }
    case Tag::String: {
        std::string v;
        if (!in.text(v, kMaxLength32))
            return false;
        out = std::move(v);
        return true;
    }
    case Tag::Bytes: {
        std::span<const std::uint8_t> v;
        if (!in.block(v))
            return false;
        if (borrowed != nullptr)
            *borrowed = v;
        else
            out = Bytes(v.begin(), v.end());
        return true;
    }
    case Tag::IntArray: {
        std::uint32_t count = 0;
        // The count is checked against the bytes present before anything is allocated.
        if (!in.u32(count) || static_cast<std::uint64_t>(count) * 8 > in.left())
            return false;
        std::vector<std::int64_t> v(count);
        for (auto& element : v) {
            std::uint64_t x = 0;
            in.u64(x);
            element = static_cast<std::int64_t>(x);
        }
        out = std::move(v);
        return true;
    }
    }
    return false;
}

template <typename T>
std::optional<T> lookup(const std::map<std::string, ArchiveValue>& values, const std::string& key) {
    auto found = values.find(key);
    if (found == values.end())
        return std::nullopt;
    if (const T* v = std::get_if<T>(&found->second))
        return *v;
    return std::nullopt;
}

} // namespace

KeyedArchiver::KeyedArchiver(std::string className) : m_className(std::move(className)) {}

void KeyedArchiver::encodeInt(const std::string& key, std::int64_t value) {
    m_values[key] = value;
}
void KeyedArchiver::encodeDouble(const std::string& key, double value) {
    m_values[key] = value;
}
void KeyedArchiver::encodeString(const std::string& key, const std::string& value) {
    m_values[key] = value;
}
void KeyedArchiver::encodeBytes(const std::string& key, const Bytes& value) {
    m_values[key] = value;
}
void KeyedArchiver::encodeBytes(const std::string& key, Bytes&& value) {
    m_values[key] = std::move(value);
}
void KeyedArchiver::encodeBorrowedBytes(const std::string& key, std::span<const std::uint8_t> value) {
    m_values[key] = value;
}
void KeyedArchiver::encodeIntArray(const std::string& key, const std::vector<std::int64_t>& value) {
    m_values[key] = value;
}

template <typename Out>
bool KeyedArchiver::write(Out& result) const {
    if (m_className.size() > kMaxClassNameLength) {
        logf("[ZQ]archive: class name of %zu bytes is too long", m_className.size());
        return false;
    }
    if (static_cast<std::uint64_t>(m_values.size()) > kMaxLength32) {
        logf("[ZQ]archive: too many keys");
        return false;
    }
    const auto blockOf = [](const Value& value) -> std::optional<std::span<const std::uint8_t>> {
        if (auto* b = std::get_if<Bytes>(&value))
            return std::span<const std::uint8_t>(*b);
        if (auto* b = std::get_if<std::span<const std::uint8_t>>(&value))
            return *b;
        return std::nullopt;
    };
    // The exact size first, so the archive (a whole screen strip, many times a second) is written
    // into one allocation and never moved while it grows.
    std::uint64_t total = sizeof kMagic + 2 + 4 + m_className.size() + 4 + kChecksumBytes;
    for (const auto& [key, value] : m_values) {
        total += 1 + 4 + key.size();
        if (auto* s = std::get_if<std::string>(&value))
            total += 4 + s->size();
        else if (auto block = blockOf(value))
            total += 4 + block->size();
        else if (auto* a = std::get_if<std::vector<std::int64_t>>(&value))
            total += 4 + 8 * static_cast<std::uint64_t>(a->size());
        else
            total += 8;
    }
    result.clear();
    result.reserve(static_cast<std::size_t>(total));
    Writer<Out> out(result);
    out.raw(kMagic, sizeof kMagic);
    out.u16(kFormatVersion);
    out.block(m_className.data(), m_className.size());
    out.u32(static_cast<std::uint32_t>(m_values.size()));
    for (const auto& [key, value] : m_values) {
        if (key.size() > kMaxKeyLength) {
            logf("[ZQ]archive %s: key of %zu bytes is too long", m_className.c_str(), key.size());
            return false;
        }
        const auto block = blockOf(value);
        const Tag tag = block ? Tag::Bytes : static_cast<Tag>(value.index() + 1);
        out.u8(static_cast<std::uint8_t>(tag));
        out.block(key.data(), key.size());
        bool fits = true;
        if (auto* i = std::get_if<std::int64_t>(&value)) {
            out.u64(static_cast<std::uint64_t>(*i));
        } else if (auto* d = std::get_if<double>(&value)) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, d, sizeof bits);
            out.u64(bits);
        } else if (auto* s = std::get_if<std::string>(&value)) {
            fits = out.block(s->data(), s->size());
        } else if (block) {
            fits = out.block(block->data(), block->size());
        } else if (auto* a = std::get_if<std::vector<std::int64_t>>(&value)) {
            fits = static_cast<std::uint64_t>(a->size()) <= kMaxLength32;
            if (fits) {
                out.u32(static_cast<std::uint32_t>(a->size()));
                for (std::int64_t element : *a)
                    out.u64(static_cast<std::uint64_t>(element));
            }
        }
        if (!fits) {
            logf("[ZQ]archive %s: value of key %s is too large", m_className.c_str(), key.c_str());
            return false;
        }
    }
    const std::uint64_t checksum =
        fnv1aWords(reinterpret_cast<const std::uint8_t*>(result.data()), result.size());
    out.u64(checksum);
    return true;
}

Bytes KeyedArchiver::finish() const {
    Bytes out;
    if (!write(out))
        return {};
    return out;
}

std::string KeyedArchiver::finishText() const {
    std::string out;
    if (!write(out))
        return {};
    return out;
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::open(const std::uint8_t* data, std::size_t size,
                                                     const std::string& expectedClass) {
    return read(data, size, expectedClass, false);
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::openBorrowing(std::span<const std::uint8_t> data,
                                                              const std::string& expectedClass) {
    return read(data.data(), data.size(), expectedClass, true);
}

std::optional<KeyedUnarchiver> KeyedUnarchiver::read(const std::uint8_t* data, std::size_t size,
                                                     const std::string& expectedClass, bool borrow) {
    if (data == nullptr || size < sizeof kMagic + kChecksumBytes) {
        logf("[ZQ]archive of %zu bytes is too short", size);
        return std::nullopt;
    }
    // The checksum first: a truncated or damaged archive is refused before any field is trusted.
    const std::size_t bodySize = size - kChecksumBytes;
    std::uint64_t stored = 0;
    Reader trailer(data + bodySize, kChecksumBytes);
    trailer.u64(stored);
    const auto version = static_cast<std::uint16_t>(data[kVersionOffset] | (data[kVersionOffset + 1] << 8));
    const std::uint64_t sum = version == kByteSumVersion ? fnv1a(data, bodySize) : fnv1aWords(data, bodySize);
    if (stored != sum) {
        logf("[ZQ]archive checksum mismatch (%zu bytes)", size);
        return std::nullopt;
    }

    Reader in(data, bodySize);
    std::uint8_t magic[sizeof kMagic] = {};
    std::uint16_t readVersion = 0;
    if (!in.raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0 ||
        !in.u16(readVersion) || (readVersion != kFormatVersion && readVersion != kByteSumVersion)) {
        logf("[ZQ]archive: not an archive of version %u", static_cast<unsigned>(kFormatVersion));
        return std::nullopt;
    }
    KeyedUnarchiver result;
    if (!in.text(result.m_className, kMaxClassNameLength)) {
        logf("[ZQ]archive: bad class name");
        return std::nullopt;
    }
    if (result.m_className != expectedClass) {
        logf("[ZQ]archive holds class %s, expected %s", result.m_className.c_str(), expectedClass.c_str());
        return std::nullopt;
    }
    std::uint32_t count = 0;
    if (!in.u32(count)) {
        logf("[ZQ]archive %s: no entry count", expectedClass.c_str());
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t tag = 0;
        std::string key;
        ArchiveValue value;
        std::span<const std::uint8_t> block;
        bool ok = in.u8(tag) && in.text(key, kMaxKeyLength);
        const bool lend = ok && borrow && static_cast<Tag>(tag) == Tag::Bytes;
        ok = ok && readValue(in, static_cast<Tag>(tag), value, lend ? &block : nullptr);
        // A key is taken once, whichever map would hold it.
        ok = ok && result.m_values.count(key) == 0 && result.m_borrowed.count(key) == 0;
        if (ok) {
            if (lend)
                result.m_borrowed.emplace(std::move(key), block);
            else
                result.m_values.emplace(std::move(key), std::move(value));
        }
        if (!ok) {
            logf("[ZQ]archive %s: entry %u of %u is damaged", expectedClass.c_str(), i, count);
            return std::nullopt;
        }
    }
    if (in.left() != 0) {
        logf("[ZQ]archive %s: %llu bytes after the last entry", expectedClass.c_str(),
             static_cast<unsigned long long>(in.left()));
        return std::nullopt;
    }
    return result;
}

std::optional<std::int64_t> KeyedUnarchiver::decodeInt(const std::string& key) const {
    return lookup<std::int64_t>(m_values, key);
}
std::optional<double> KeyedUnarchiver::decodeDouble(const std::string& key) const {
    return lookup<double>(m_values, key);
}
std::optional<std::string> KeyedUnarchiver::decodeString(const std::string& key) const {
    return lookup<std::string>(m_values, key);
}
std::optional<Bytes> KeyedUnarchiver::takeBytes(const std::string& key) {
    if (m_borrowed.count(key))
        return decodeBytes(key); // the block belongs to the archive's owner: only a copy can be given
    auto found = m_values.find(key);
    if (found == m_values.end())
        return std::nullopt;
    Bytes* bytes = std::get_if<Bytes>(&found->second);
    if (!bytes)
        return std::nullopt;
    std::optional<Bytes> taken(std::move(*bytes));
    m_values.erase(found);
    return taken;
}
std::optional<Bytes> KeyedUnarchiver::decodeBytes(const std::string& key) const {
    if (auto borrowed = m_borrowed.find(key); borrowed != m_borrowed.end())
        return Bytes(borrowed->second.begin(), borrowed->second.end());
    return lookup<Bytes>(m_values, key);
}
std::optional<std::span<const std::uint8_t>> KeyedUnarchiver::decodeBytesView(const std::string& key) const {
    if (auto borrowed = m_borrowed.find(key); borrowed != m_borrowed.end())
        return borrowed->second;
    auto found = m_values.find(key);
    if (found == m_values.end())
        return std::nullopt;
    if (const Bytes* v = std::get_if<Bytes>(&found->second))
        return std::span<const std::uint8_t>(*v);
    return std::nullopt;
}
std::optional<std::vector<std::int64_t>> KeyedUnarchiver::decodeIntArray(const std::string& key) const {
    return lookup<std::vector<std::int64_t>>(m_values, key);
}

} // namespace platform
