// Records of the wire: the outgoing request a builder fills, the received-packet record a receive
// thread fills and posts, the builders' argument records, body-type numbers and input limits.
// Plain data; a record is used by one thread at a time (builder, then send thread; receive thread,
// then the observers of its notification, which run on that thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace transport {

// Body type: the first byte of every frame body.
enum BodyType : std::uint8_t {
    kBodyTextCommand = 1,
    kBodyScreenFormat = 2,
    kBodyType3 = 3, // parsed to its type only; the agent never sends it
    kBodyKeyInput = 4,
    kBodyMouseInput = 5,
    kBodyScreenImage = 7,
    kBodyType8 = 8, // parsed to its type only; the agent never sends it
    kBodyFileChunk = 9,
    kBodyCompression = 10,
    kBodyCompressedScreen = 12,
    kBodyRelayEnvelope = 13,
    kBodyStroke = 14,
    kBodyH264 = 17,
};

// A frame announcing a body above this size ends the link as a read failure does: the body is
// never read, so the stream cannot be followed past it. An inflated payload above this size is
// refused before it is inflated, and the link reads on.
constexpr std::uint64_t kMaxBodyBytes = 64ull * 1024 * 1024;
constexpr std::uint64_t kMaxInflatedBytes = 64ull * 1024 * 1024;
// A received text or file name is widened into a work area of 1024 units, one kept for the
// terminating zero; a longer one drops its packet before any of it is deciphered or converted, so
// a huge text costs nothing beyond the body it arrived in.
constexpr std::size_t kTextWorkAreaUnits = 1024;
constexpr std::size_t kMaxTextUnits = kTextWorkAreaUnits - 1;

// One outgoing packet body. Builders size the buffer from what they write, so the size asked of
// newRequestData is only a first allocation; nLength is the number of body bytes to send.
struct SRequestData {
    std::vector<std::uint8_t> pBuffer;
    std::uint64_t nLength = 0;
};

// A new zero-filled request of size bytes (negative sizes give an empty one).
std::unique_ptr<SRequestData> newRequestData(int size);

// One received packet. Posted as std::shared_ptr<SReceiveData> in the "READ_MSG_" notification's
// object; observers run on the receive thread. The file-chunk taker may move pFileData out.
struct SReceiveData {
    std::int32_t nType = 0;   // parsed body type (inner type of an envelope); 0 = nothing parsed
    std::int32_t nStatus = 0; // -1 while reading and when the read failed; 0 otherwise
    std::string strParams;    // type 1: UTF-8 text after the code
    std::string strCode;      // type 1: first nine bytes of the text, e.g. "[MV00050]"
    std::vector<std::uint8_t> pCompressData; // type 10: copy of the body after its type byte
    std::uint32_t nDrawSeq = 0;              // types 12 and 17: frame sequence number
    std::vector<std::uint8_t> pDibData;      // type 12: image bytes behind the block list
    std::uint32_t nDibSize = 0;              // type 12: their count
    std::uint32_t nBlockCount = 0;           // type 12: entries of the block list
    std::vector<std::uint32_t> pBlockList;   // type 12: screen tiles the image covers
    std::vector<std::uint8_t> pH264Data;     // type 17: the encoded frame
    std::uint32_t nH264Size = 0;             // type 17: its size
    std::uint32_t nH264Extra = 0;            // type 17: third header word
    std::vector<std::uint8_t> pFileData;     // type 9: the chunk's bytes
    std::uint32_t nSplitCnt = 0;             // type 9: chunks of the file
    std::uint32_t nSeq = 0;                  // type 9: this chunk's sequence number
    std::uint32_t nSplitDataSize = 0;        // type 9: this chunk's data size
    std::string strFileName;                 // type 9: file name, UTF-8
    std::int32_t nMouseX = 0;                // type 5
    std::int32_t nMouseY = 0;                // type 5
    std::int32_t nMouseWheel = 0;            // type 5, sign-extended from 16 bits
    std::int32_t nMouseEvent = 0;            // type 5, sign-extended from 16 bits
    std::uint32_t nMouseExtra = 0;           // type 5
    std::int32_t nKeyValue1 = 0;             // type 4, sign-extended from 16 bits
    std::uint32_t nKeyValue2 = 0;            // type 4
    std::uint32_t nKeyValue3 = 0;            // type 4
    std::uint32_t nKeyValue4 = 0;            // type 4, from 16 bits
    // A file chunk dropped for a field after its sequence number: nType stays 0 and only nSplitCnt
    // and nSeq are set, but the link still hands it to the file-chunk taker, which acknowledges it.
    bool bFileRefused = false;
    // The same for a compressed screen update dropped after its draw sequence: only nDrawSeq is set,
    // and the screen-update taker acknowledges it without showing anything.
    bool bStripRefused = false;
};

// This student's and the teacher's connection numbers on the relay (from "[FR00002]").
struct RelayConnData {
    std::int32_t nConnId = 0;
    std::int32_t nConnTeacherId = 0;
};

// Screen image carried in a relay envelope.
struct RelayScreenData {
    std::int32_t nSize = 0; // image bytes
    std::int32_t nWidth = 0;
    std::int32_t nHeight = 0;
    std::int32_t nDrawSeq = 0;
};

// File chunk carried in a relay envelope. The pointers are borrowed for the builder call.
struct RelayFileData {
    std::int32_t nSeq = 0;
    std::int32_t nSplitCnt = 0;
    std::int32_t nSize = 0; // data bytes behind pData
    const std::uint8_t* pData = nullptr;
    const char* pFileName = nullptr; // zero-terminated UTF-8
    std::int32_t nNameLen = 0;       // ignored by the builder
};

// One share-board stroke for the type-14 builder.
struct StrokeData {
    struct Point {
        std::int32_t x = 0;
        std::int32_t y = 0;
    };
    std::int32_t nSlot = 0;
    std::int32_t nTool = 0;
    std::int32_t nThickness = 0;
    std::int32_t nThicknessMode = 0;
    bool bBlend = false;
    std::uint64_t nColor = 0;  // 0x00BBGGRR; the wire carries the low 32 bits
    std::vector<Point> points; // in stroke order
};

} // namespace transport
