// Where and how a board is saved: a JPEG in the dated folder under "OLVEX" in the documents folder,
// named by the time of the save, never over an earlier board. Qt-free; main thread (the save is
// synchronous, as the student waits for the "saved" box).
#pragma once

#include "streaming/PlainImage.h"

#include <ctime>
#include <optional>
#include <string>

namespace notetool {

constexpr const char* kBoardFolder = "OLVEX";
constexpr float kBoardJpegFactor = 0.9f;
// Enough "_n" suffixes for any number of saves within one second.
constexpr int kMaxNameSuffix = 10000;

// "<documents>/OLVEX/yyyy-mm-dd" for the given local time.
std::string boardFolder(const std::string& documents, const std::tm& when);
// "yyyyMMdd_HHmmss".
std::string boardBaseName(const std::tm& when);
// The first free "<folder>/<base>.jpg", "<base>_1.jpg", "<base>_2.jpg"...; nothing when all are taken.
std::optional<std::string> freeBoardPath(const std::string& folder, const std::string& base);

// Saves the picture (capture layout, B G R X) as JPEG at the board factor under one time stamp:
// creates the folders, picks a free name and writes through a temporary file renamed into place.
// Answers the path written, or nothing (logged) when any step failed.
std::optional<std::string> saveBoard(const std::string& documents, const std::tm& when,
                                     const streaming::ImageView& picture);

} // namespace notetool
