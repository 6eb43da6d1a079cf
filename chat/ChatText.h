// The texts of the chat: the header above each teacher line, and the student's line as it goes to
// the client object (line feed added, commas widened) with the check that its command fits the
// chat request. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace chat {

constexpr const char* kStudentHeader = "Write to Teacher:\n";

// "[%ld-%02ld-%02ld %ld:%02ld:%02ld]%@ From Olvex Teacher\n" with an empty "%@": the hour is not
// zero-padded ("[2024-03-07 9:05:03] From Olvex Teacher\n").
std::string teacherHeader(const std::tm& local);

// The typed line as posted to the client: a line feed appended, every "," as "&comma;".
std::string wireText(const std::string& typed);

// The window refuses a typed line of this many UTF-16 units or more.
constexpr std::size_t kMaxLineUnits = 512;
// Whether the typed line is shorter than kMaxLineUnits (and valid UTF-8).
bool withinLineLimit(const std::string& typed);

// Whether the chat command carrying wire fits its request (the client refuses one that does not).
bool fitsChatRequest(const std::string& wire);

} // namespace chat
