// Keyed archiving: a record's fields encoded by key into bytes and decoded back. The decoder
// checks every length and refuses a truncated, corrupt or wrong-class archive without reading
// out of bounds. Plain values, used on whichever thread builds or reads the record.
//
// Format (all integers little-endian): "OLKA", version u16, class name (u32 length + bytes),
// entry count u32, entries sorted by key (type u8, key u32 length + bytes, value), then an FNV-1a
// 64-bit checksum of everything before it: over 64-bit words and the tail's bytes in version 2
// (written), over bytes in version 1 (still read). Values: int and double 8 bytes; string and bytes
// u32 length + bytes; int array u32 count + 8 bytes each.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;
using ArchiveValue = std::variant<std::int64_t, double, std::string, Bytes, std::vector<std::int64_t>>;

class KeyedArchiver {
public:
    explicit KeyedArchiver(std::string className);

    void encodeInt(const std::string& key, std::int64_t value);
    void encodeDouble(const std::string& key, double value);
    void encodeString(const std::string& key, const std::string& value);
    void encodeBytes(const std::string& key, const Bytes& value);
    // Takes the bytes over without copying them (a file piece of many megabytes).
    void encodeBytes(const std::string& key, Bytes&& value);
    // The bytes are borrowed, not copied: they must stay alive and unchanged until finish.
    void encodeBorrowedBytes(const std::string& key, std::span<const std::uint8_t> value);
    void encodeIntArray(const std::string& key, const std::vector<std::int64_t>& value);

    // The archive, written into one allocation of its exact size; empty (which no decoder
    // accepts) when a value is too large for the format. finishText gives the same bytes as text,
    // the form a notification's dictionary carries.
    Bytes finish() const;
    std::string finishText() const;

private:
    using Value = std::variant<std::int64_t, double, std::string, Bytes, std::vector<std::int64_t>,
                               std::span<const std::uint8_t>>;
    template <typename Out>
    bool write(Out& out) const;

    std::string m_className;
    std::map<std::string, Value> m_values;
};

class KeyedUnarchiver {
public:
    // Empty when the bytes are not a well-formed archive of exactly this class.
    static std::optional<KeyedUnarchiver> open(const std::uint8_t* data, std::size_t size,
                                               const std::string& expectedClass);
    static std::optional<KeyedUnarchiver> open(const Bytes& bytes, const std::string& expectedClass) {
        return open(bytes.data(), bytes.size(), expectedClass);
    }
    // As open, but byte blocks are not copied: decodeBytesView points into the data, which must
    // outlive the unarchiver and every view taken from it.
    static std::optional<KeyedUnarchiver> openBorrowing(std::span<const std::uint8_t> data,
                                                        const std::string& expectedClass);

    // Each answers empty when the key is missing or holds another type.
    std::optional<std::int64_t> decodeInt(const std::string& key) const;
    std::optional<double> decodeDouble(const std::string& key) const;
    std::optional<std::string> decodeString(const std::string& key) const;
    std::optional<Bytes> decodeBytes(const std::string& key) const;
    // The block itself, without a copy (valid while the unarchiver, and for a borrowing one the
    // archive's data, lives).
    std::optional<std::span<const std::uint8_t>> decodeBytesView(const std::string& key) const;
    std::optional<std::vector<std::int64_t>> decodeIntArray(const std::string& key) const;
    // As decodeBytes, but moves the bytes out: the key reads as missing afterwards.
    std::optional<Bytes> takeBytes(const std::string& key);
    const std::string& className() const { return m_className; }

private:
    static std::optional<KeyedUnarchiver> read(const std::uint8_t* data, std::size_t size,
                                               const std::string& expectedClass, bool borrow);

    std::string m_className;
    std::map<std::string, ArchiveValue> m_values;
    std::map<std::string, std::span<const std::uint8_t>> m_borrowed; // byte blocks of a borrowing one
};

} // namespace platform
