// A rectangle record of four 64-bit edges, written directly by the teacher-screen viewer when it
// lays out its tiles. No invariant: right may lie left of left (a negative width). Any thread.
#pragma once

#include <cstdint>

class CRect {
public:
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0;
    std::int64_t bottom = 0;

    // Differences of two int64 edges can overflow; they wrap as two's complement rather than
    // being undefined.
    std::int64_t getWidth() const { return wrappingDifference(right, left); }
    std::int64_t getHeight() const { return wrappingDifference(bottom, top); }

private:
    static std::int64_t wrappingDifference(std::int64_t a, std::int64_t b) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
    }
};
