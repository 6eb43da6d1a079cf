// The frame (sync word, length, body), the text-command field (digest + enciphered UTF-16LE) and
// the body parsers. SendPacket runs on a link's send thread, ReceivePacket on its receive thread;
// each link owns its ReceiveBuffers, so no two threads ever parse into the same memory.
#pragma once

#include "transport/PacketData.h"
#include "transport/ScreenUpdateLimits.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace transport {

class TCPServerInterface;

constexpr std::size_t kFrameHeaderBytes = 8; // sync word + length
constexpr std::size_t kMd5Bytes = 16;
constexpr std::uint32_t kTextDigestUnits = 32;    // hex digits of the MD5, one UTF-16 unit each
constexpr std::size_t kTextFieldHeaderBytes = 73; // type + digest length + digest + text length

// The four sync bytes for a send time whose low byte is t.
std::array<std::uint8_t, 4> MakeSyncWord(std::uint8_t t);
// Whether four received bytes are a valid sync word (byte 3 may hold any value).
bool IsValidSyncWord(const std::uint8_t sync[4]);
// A complete frame of the request's body, stamped with the low clock byte t.
std::vector<std::uint8_t> BuildFrame(const SRequestData& request, std::uint8_t t);

// MD5 of a byte buffer (RFC 1321).
std::array<std::uint8_t, kMd5Bytes> md5Digest(const void* data, std::size_t length);
// Frees what the digest library keeps for the calling thread (its error state and the like, made
// on the thread's first digest). The library frees it too when the thread exits, but a thread that
// lets go of its link last exits only after the link is gone, and a process that ends then (a test
// that waits for its link to die, an agent quitting) would end with that state still allocated.
void releaseThreadDigestState();
// The process-wide text key: MD5 of the fixed UTF-16LE pass phrase, made on first use.
const std::array<std::uint8_t, kMd5Bytes>& TextKey();
// RC4 keystream applied in place, with a fresh state for this call (text-field obfuscation
// shared with the peers; it is not a security measure).
void Rc4Apply(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length);

// Writes a complete type-1 body for a UTF-8 text. Answers false and writes nothing (nLength 0)
// when the text is not valid UTF-8.
bool EncodeTextCommand(SRequestData& request, const std::string& text);

// Scratch memory of one link's receive side; grows with the largest packet seen, never shared.
// limits, when set, bounds strips and frames by what the console announced; without them only the
// fixed ceilings of PacketData.h apply.
struct ReceiveBuffers {
    std::vector<std::uint8_t> body;
    std::shared_ptr<const ScreenUpdateLimits> limits;
};

// A body is always read whole before it is parsed, so no body ends the link: the next frame starts
// right behind it whatever the body held.
enum class ParseResult {
    kParsed,  // record filled (type 0 for a body type without a dispatch row)
    kDropped, // inconsistent or over a bound: record reset to type 0 (a refused file chunk or
              // screen update keeps its sequence and refused mark), the link reads on
};

// Parses one body (body[0] is the type) into a fresh record. Never reads outside [body, body+size).
// When body lies in buffers.body, a large file chunk's data takes that buffer over (it is left
// empty), so the caller must not read the body after the call.
ParseResult ParseBody(const std::uint8_t* body, std::size_t size, SReceiveData& record,
                      ReceiveBuffers& buffers);
// Frames and writes the request whole; 92 failed writes or one broken pipe give up and mark the
// socket disconnected. Does not free the request.
bool SendPacket(TCPServerInterface& server, const SRequestData& request);
// Reads and parses one frame. record.nStatus is -1 when the read failed or the link must end,
// 0 otherwise (with nType 0 for a dropped packet).
void ReceivePacket(TCPServerInterface& server, SReceiveData& record, ReceiveBuffers& buffers);

} // namespace transport
