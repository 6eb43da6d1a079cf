#include "client/StudentSessionInfo.h"

#include "client/CommandText.h"
#include "platform/Log.h"
#include "platform/ProcessInfo.h"

#include <cstring>
#include <memory>

namespace client {

std::string_view cutAtCharacterBoundary(std::string_view value, std::size_t maxBytes) {
    if (value.size() <= maxBytes)
        return value;
    std::size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) so the cut lands before a lead byte.
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
    return value.substr(0, end);
}

void FixedText::set(std::string_view value) {
    // A zero byte inside the value would end the text early for every reader; keep what precedes it.
    if (auto zero = value.find('\0'); zero != std::string_view::npos)
        value = value.substr(0, zero);
    std::string_view kept = cutAtCharacterBoundary(value, kMaxTextBytes);
    if (kept.size() != value.size())
        platform::logf("[ZQ]%s cut from %zu to %zu bytes", m_fieldName, value.size(), kept.size());
    std::lock_guard lock(m_lock);
    m_bytes.fill('\0');
    std::memcpy(m_bytes.data(), kept.data(), kept.size());
}

std::string FixedText::get() const {
    std::lock_guard lock(m_lock);
    return std::string(m_bytes.data(), strnlen(m_bytes.data(), m_bytes.size()));
}

std::int32_t FixedText::intValue() const {
    return parseInt32(get());
}

void FixedText::clear() {
    std::lock_guard lock(m_lock);
    m_bytes.fill('\0');
}

void StudentSessionInfo::resetForTesting() {
    for (FixedText* text :
         {&m_szLanguage, &m_szTeacherId, &m_szLocalIp, &m_szLocalPort, &m_szOsKind, &m_szOsVersion, &m_szRsIp,
          &m_szServerIp, &m_szServerPort, &m_szConnectPort, &m_szSlot, &m_szAlias})
        text->clear();
    for (std::atomic<std::int32_t>* number :
         {&m_nClientKind, &m_nOsKind, &m_nRsPort, &m_nInputSlot, &m_nServerWidth, &m_nServerHeight,
          &m_nThumbWidth, &m_nThumbHeight})
        number->store(0);
}

StudentSessionInfo& gStudentSessionInfo() {
    // Deliberately never destroyed: receive threads and capture callbacks may still read the record
    // while the process ends.
    static StudentSessionInfo* const record = std::make_unique<StudentSessionInfo>().release();
    return *record;
}

void fillStudentIdentity(StudentSessionInfo& info) {
    info.m_szLanguage.set(kLanguageCode);
    info.m_nClientKind.store(kClientKindCode);
    info.m_nOsKind.store(kOsKindCode);
    info.m_szOsKind.set(kOsKindText);
    std::string version = platform::operatingSystemVersion();
    info.m_szOsVersion.set(version.empty() ? "0.0.0" : version);
}

} // namespace client
