// The state of the teacher-screen viewer, apart from any window: the mode read from the settings
// (answer or share), the tile grid of that mode, the one persistent canvas, and the decoding of
// screen updates and H.264 frames into it. The viewer's tick drives it on the main thread.
#pragma once

#include "platform/KeyedArchive.h"
#include "platform/UserDefaults.h"
#include "streaming/H264Decoder.h"
#include "viewer/ParallelWork.h"
#include "viewer/PendingUpdates.h"
#include "viewer/ScreenCanvas.h"
#include "viewer/StripDecoder.h"
#include "viewer/TileGrid.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace viewer {

class ScreenShareModel {
public:
    ScreenShareModel();
    ~ScreenShareModel();

    // Reads the sizes and the mode from the settings and builds the mode's grid and canvas. A mode
    // key of "1" (answer) or "2" (share) is consumed (set to "-1"); any other leaves neither mode.
    void initCanvas(platform::UserDefaults& settings);
    // Both modes off (the teacher stopped); the grids and the canvas stay as they are.
    void stop();

    bool getAnswerEnabled() const { return m_bAnswerEnabled; }
    bool getScreenShareEnabled() const { return m_bScreenShareEnabled; }
    bool hasMode() const { return m_bAnswerEnabled || m_bScreenShareEnabled; }
    int getScreenCanvasWidth() const { return m_nCanvasWidth; }
    int getScreenCanvasHeight() const { return m_nCanvasHeight; }
    int serverWidth() const { return m_nServerWidth; }
    int serverHeight() const { return m_nServerHeight; }
    const TileGrid& answerGrid() const { return m_screenAnswerList; }
    const TileGrid& shareGrid() const { return m_screenShareList; }

    // Strips decoded at once, in as many pieces on as many threads, when a tick has several waiting.
    static constexpr std::size_t kDecodeThreads = kParallelPieces;

    // Applies archived screen updates (ImageSamples) to the grid of the mode, in order; their
    // pictures are decoded in parallel first. Answers whether the canvas changed; a refused update
    // is logged and dropped.
    bool applyScreenUpdates(const std::vector<SharedArchive>& archives);
    bool applyScreenUpdates(const std::vector<platform::Bytes>& archives);
    bool applyScreenUpdate(const platform::Bytes& archive) {
        return applyScreenUpdates(std::vector<platform::Bytes>{archive});
    }
    // Decodes one archived H.264 frame (an H264Sample); a finished picture joins the decoded queue.
    void decodeH264(const SharedArchive& archive);
    // Shows the newest decoded picture, scaled from the teacher's encode size to the canvas, and
    // frees the older ones. Answers whether the canvas changed.
    bool showDecodedFrames();

    ScreenCanvas& canvas() { return m_canvas; }

private:
    struct StripJob;
    // Whether the update's tile list fits the grid (the refusals are logged as the console's logs).
    bool checkList(const TileGrid& grid, const std::vector<std::int32_t>& indexes, int count,
                   bool answer) const;
    void placeStrips(const TileGrid& grid, std::span<StripJob> jobs);
    void decodeAll(std::span<StripJob> jobs);
    void decodeOne(StripJob& job, StripDecoder& decoder);

    int m_nServerWidth = 0;
    int m_nServerHeight = 0;
    int m_nCanvasWidth = 0;
    int m_nCanvasHeight = 0;
    int m_nServerEncodeWidth = 0;
    int m_nServerEncodeHeight = 0;
    int m_nScreenCanvasWidth = 0;
    int m_nScreenCanvasHeight = 0;
    bool m_bScreenShareEnabled = false;
    bool m_bAnswerEnabled = false;
    TileGrid m_screenShareList;
    TileGrid m_screenAnswerList;
    ScreenCanvas m_canvas;
    // One decoder per piece of a parallel decode, so none is used by two threads at once; kept
    // between ticks (each holds its TurboJPEG state).
    std::array<StripDecoder, kDecodeThreads> m_stripDecoders;
    std::unique_ptr<streaming::H264Decoder> m_decoder; // made with the first frame
};

} // namespace viewer
