// Names of transferred files: the safe local name of a received file, its numbered variant when
// the name is taken, the dated folder, and the name a sent file carries to the teacher.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>

namespace transfer::transfernames {

// A name longer than this is refused by the file system.
constexpr std::size_t kMaxNameBytes = 255;
// What a received name that says nothing ("", ".", "..") becomes.
constexpr const char* kFallbackName = "file";

// The local name of a name read from the wire: its last path component (split at "/" and "\"),
// with every NUL, control character and bidirectional override or isolate (U+202A-U+202E,
// U+2066-U+2069) as "_", "file" for "", "." and "..", at most 255 bytes cut at a character
// boundary. The result never names another folder.
std::string sanitizeReceivedName(const std::string& wireName);

// The n-th numbered form of a name: only the final extension is set aside ("report.pdf" gives
// "report_1.pdf", "data.tar.gz" gives "data.tar_1.gz", "notes" gives "notes_1"); the stem is cut
// (at a character boundary) so the result still fits 255 bytes.
std::string numberedName(const std::string& name, int n);

// The dated folder "%ld-%02ld-%02ld" (2024-03-07).
std::string datedFolderName(int year, int month, int day);

// The part of the last path component after its last ".", or "" when it has none.
std::string extensionOf(const std::string& path);
// The last path component (trailing "/" ignored).
std::string lastPathComponent(const std::string& path);

// The name a sent file carries: "%02d_%@_%@%@" with the seat, the student's name, the file's last
// component less every ".<extension>", and ".<extension>" (seat 3, Kim, report.final.pdf gives
// 03_Kim_report.final.pdf).
std::string sentFileName(int slot, const std::string& alias, const std::string& path);

// The longest prefix of text of at most maxBytes that does not end inside a UTF-8 sequence.
std::string cutAtCharacter(const std::string& text, std::size_t maxBytes);

} // namespace transfer::transfernames
