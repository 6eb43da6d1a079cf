#include "viewer/H264NalScan.h"

#include "client/ArchivedRecords.h"

#include <cstddef>

namespace viewer {
namespace {

constexpr std::uint8_t kNalTypeMask = 0x1f;
constexpr std::uint8_t kForbiddenZeroBit = 0x80;

// Calls visit(type) for each unit until it answers false. A four-byte start code is a zero byte
// ahead of the three-byte one, so finding 00 00 01 finds both; emulation prevention keeps that
// pattern out of unit payloads, so every match is a real unit boundary.
template <typename Visit>
void forEachNalType(std::span<const std::uint8_t> bytes, Visit visit) {
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (size >= 3 && i <= size - 3) {
        if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) {
            ++i;
            continue;
        }
        const std::size_t header = i + 3;
        if (header >= size)
            return; // a start code with nothing behind it
        if ((bytes[header] & kForbiddenZeroBit) == 0 &&
            !visit(static_cast<std::uint8_t>(bytes[header] & kNalTypeMask)))
            return;
        i = header + 1;
    }
}

} // namespace

std::vector<std::uint8_t> nalUnitTypes(std::span<const std::uint8_t> accessUnit) {
    std::vector<std::uint8_t> types;
    forEachNalType(accessUnit, [&](std::uint8_t type) {
        types.push_back(type);
        return true;
    });
    return types;
}

bool beginsDecodableStream(std::span<const std::uint8_t> accessUnit) {
    bool idr = false;
    forEachNalType(accessUnit, [&](std::uint8_t type) {
        idr = type == kNalIdrSlice;
        return !idr;
    });
    return idr;
}

bool archiveBeginsDecodableStream(std::span<const std::uint8_t> archive) {
    // Only a look at the frame: the archive is read in place, nothing is copied.
    auto in = platform::KeyedUnarchiver::openBorrowing(archive, client::H264Sample::kClassName);
    auto frame = in ? in->decodeBytesView("h264") : std::nullopt;
    return frame && !frame->empty() && beginsDecodableStream(*frame);
}

} // namespace viewer
