// One decoded YUV 4:2:0 frame, and the process-wide queues that carry decoded frames from the
// decoding thread to the viewer's display tick. Every queue operation takes the one queue lock,
// so any thread may call them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace streaming {

struct H264DecodeData {
    std::vector<std::uint8_t> y; // luma stride x height bytes
    std::vector<std::uint8_t> u; // chroma stride x chroma rows bytes
    std::vector<std::uint8_t> v;
    int width = 0;
    int height = 0;
    int stride[2] = {0, 0}; // luma, chroma
};

// Chroma rows of a 4:2:0 picture: an odd height keeps its last half row.
inline int chromaRows(int height) {
    return (height + 1) / 2;
}

// The decoded queue (oldest first) and the used queue (frames the display has finished with).
class H264DecodeQueue {
public:
    // A 1920 x 1080 frame is some 3 MB: a display that stalls or never starts must not let the
    // decoder fill memory. Half a second of the teacher's 24 frames a second is kept; a display
    // that falls further behind sees the newest frames, which are the ones worth showing.
    static constexpr std::size_t kMaxDecodedFrames = 12;

    // Appends a frame to the decoded queue; beyond kMaxDecodedFrames the oldest frames leave it.
    static void addYUVdata(std::shared_ptr<const H264DecodeData> frame);
    // The oldest decoded frame without removing it; null when the queue is empty.
    static std::shared_ptr<const H264DecodeData> getH264DecodeData();
    // Drops the oldest entry of the decoded queue (the frame lives on wherever it is still held).
    static void removeDecodeData();
    static void addDecodeDataUsed(std::shared_ptr<const H264DecodeData> frame);
    // Frees every frame of the used queue.
    static void removeH264DecodeDataUsed();
    static std::size_t decodedCount();
    static std::size_t usedCount();
};

} // namespace streaming
