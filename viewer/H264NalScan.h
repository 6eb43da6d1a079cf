// Reads the NAL unit types of an H.264 access unit in Annex-B form (units behind 00 00 01 or
// 00 00 00 01 start codes), to tell where a frame list may resume after frames were lost.
// Pure functions on bytes from the network: never read past the buffer. Any thread.
#pragma once

#include "platform/KeyedArchive.h"

#include <cstdint>
#include <span>
#include <vector>

namespace viewer {

inline constexpr std::uint8_t kNalIdrSlice = 5;
inline constexpr std::uint8_t kNalSequenceParameterSet = 7;
inline constexpr std::uint8_t kNalPictureParameterSet = 8;

// The type of every unit behind a start code, in order. A start code with no header byte after
// it (a truncated buffer) or a header with its forbidden bit set gives no type; bytes before the
// first start code are not a unit.
std::vector<std::uint8_t> nalUnitTypes(std::span<const std::uint8_t> accessUnit);

// True when the access unit holds an IDR slice: the decoder needs no frame before it.
bool beginsDecodableStream(std::span<const std::uint8_t> accessUnit);

// The same for an archived H264Sample as the frame list holds it; false when it does not unarchive.
bool archiveBeginsDecodableStream(std::span<const std::uint8_t> archive);

} // namespace viewer
