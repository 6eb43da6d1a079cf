// The process-wide student record: identity, teacher console address, slot and the screen sizes
// the console announced. Created zero-filled on first access through gStudentSessionInfo() and
// never freed. Any thread reads and writes it (login window on the main thread, handlers on
// receive threads, capture callbacks); text fields lock, integer fields are atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace client {

// A fixed 50-byte text field: at most 49 bytes of UTF-8 followed by zero bytes. A longer value is
// cut at a character boundary (never inside a multi-byte character) and the cut is logged.
class FixedText {
public:
    static constexpr std::size_t kFieldSize = 50;
    static constexpr std::size_t kMaxTextBytes = kFieldSize - 1;

    explicit FixedText(const char* fieldName) : m_fieldName(fieldName) {}
    FixedText(const FixedText&) = delete;
    FixedText& operator=(const FixedText&) = delete;

    // Replaces the whole field: the text, then zero bytes to the end.
    void set(std::string_view value);
    // The text up to its first zero byte.
    std::string get() const;
    // Decimal value of the leading digits, as the port texts are read (no digits gives 0).
    std::int32_t intValue() const;
    void clear();

private:
    const char* m_fieldName;
    mutable std::mutex m_lock;
    std::array<char, kFieldSize> m_bytes{};
};

// Longest prefix of value that fits maxBytes without splitting a UTF-8 character.
std::string_view cutAtCharacterBoundary(std::string_view value, std::size_t maxBytes);

struct StudentSessionInfo {
    FixedText m_szLanguage{"m_szLanguage"};
    FixedText m_szTeacherId{"m_szTeacherId"};
    FixedText m_szLocalIp{"m_szLocalIp"};
    FixedText m_szLocalPort{"m_szLocalPort"};
    FixedText m_szOsKind{"m_szOsKind"};
    FixedText m_szOsVersion{"m_szOsVersion"};
    FixedText m_szRsIp{"m_szRsIp"};
    std::atomic<std::int32_t> m_nClientKind{0};
    std::atomic<std::int32_t> m_nOsKind{0};
    std::atomic<std::int32_t> m_nRsPort{0};
    FixedText m_szServerIp{"m_szServerIp"};
    FixedText m_szServerPort{"m_szServerPort"};
    FixedText m_szConnectPort{"m_szConnectPort"};
    FixedText m_szSlot{"m_szSlot"};
    FixedText m_szAlias{"m_szAlias"};
    std::atomic<std::int32_t> m_nInputSlot{0};
    std::atomic<std::int32_t> m_nServerWidth{0};
    std::atomic<std::int32_t> m_nServerHeight{0};
    std::atomic<std::int32_t> m_nThumbWidth{0};
    std::atomic<std::int32_t> m_nThumbHeight{0};

    // Back to the zero-filled state of first access (tests; the record itself is never replaced).
    void resetForTesting();
};

// The one record of the process, created on the first call from whichever thread comes first.
StudentSessionInfo& gStudentSessionInfo();

// Fixed identity values the console and relay switch on.
constexpr const char* kLanguageCode = "Kor";
constexpr const char* kOsKindText = "apple";
constexpr std::int32_t kClientKindCode = 3;
constexpr std::int32_t kOsKindCode = 3;

// Writes language, kinds and the running kernel's version into the record (the three moments at
// which login and the client object identify the student).
void fillStudentIdentity(StudentSessionInfo& info);

} // namespace client
