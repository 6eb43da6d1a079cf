// Little-endian field access for the codec and the builders (internal to the transport library).
// Readers take a bounds-checked cursor so that no count from the network can move past the body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace transport::wire {

inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// A read cursor over [data, data + size). Every take checks the bytes left in 64-bit arithmetic;
// after a failed take the cursor stays failed.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool u32(std::uint32_t& v) {
        if (!have(4))
            return false;
        v = GetU32(m_data + m_pos);
        m_pos += 4;
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (!have(2))
            return false;
        v = GetU16(m_data + m_pos);
        m_pos += 2;
        return true;
    }
    // Points at the next n bytes and moves past them.
    bool bytes(std::uint64_t n, const std::uint8_t*& p) {
        if (!have(n))
            return false;
        p = m_data + m_pos;
        m_pos += static_cast<std::size_t>(n);
        return true;
    }
    bool skip(std::uint64_t n) {
        const std::uint8_t* unused = nullptr;
        return bytes(n, unused);
    }
    bool have(std::uint64_t n) {
        if (m_failed || n > static_cast<std::uint64_t>(m_size - m_pos)) {
            m_failed = true;
            return false;
        }
        return true;
    }
    std::size_t remaining() const { return m_size - m_pos; }
    const std::uint8_t* here() const { return m_data + m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace transport::wire
