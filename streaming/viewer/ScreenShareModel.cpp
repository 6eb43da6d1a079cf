#include "streaming/viewer/ScreenShareModel.h"

#include "client/ArchivedRecords.h"
#include "client/SettingsKeys.h"
#include "platform/Log.h"

#include <algorithm>
#include <climits>
#include <future>

namespace streaming {

namespace {
constexpr const char* kModeAnswer = "1";
constexpr const char* kModeShare = "2";
constexpr const char* kModeRead = "-1";

int settingInt(platform::UserDefaults& settings, const char* key) {
    const std::int64_t value = settings.integerValue(key);
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}
} // namespace

ScreenShareModel::ScreenShareModel() = default;
ScreenShareModel::~ScreenShareModel() = default;

void ScreenShareModel::initCanvas(platform::UserDefaults& settings) {
    namespace keys = client::settings;
    m_nCanvasWidth = settingInt(settings, keys::kCanvasWidth);
    m_nCanvasHeight = settingInt(settings, keys::kCanvasHeight);
    m_nServerWidth = settingInt(settings, keys::kServerWidth);
    m_nServerHeight = settingInt(settings, keys::kServerHeight);
    m_nServerEncodeWidth = settingInt(settings, keys::kServerEncodeWidth);
    m_nServerEncodeHeight = settingInt(settings, keys::kServerEncodeHeight);

    const std::string mode = settings.stringValue(keys::kScreenInit);
    m_bAnswerEnabled = false;
    m_bScreenShareEnabled = false;
    if (mode == kModeAnswer || mode == kModeShare) {
        settings.setString(keys::kScreenInit, kModeRead);
        settings.synchronize();
        m_bAnswerEnabled = mode == kModeAnswer;
        m_bScreenShareEnabled = mode == kModeShare;
    }
    TileGrid* grid = nullptr;
    if (m_bScreenShareEnabled) {
        m_nScreenCanvasWidth = m_nCanvasWidth;
        m_nScreenCanvasHeight = m_nCanvasHeight;
        grid = &m_screenShareList;
        grid->build(TileGrid::Mode::Share, m_nScreenCanvasWidth, m_nScreenCanvasHeight);
    } else if (m_bAnswerEnabled) {
        grid = &m_screenAnswerList;
        grid->build(TileGrid::Mode::Answer, m_nCanvasWidth, m_nCanvasHeight);
    }
    if (grid == nullptr)
        return;
    // A new grid starts with no tile received: a transparent canvas (none without a grid).
    m_canvas.reset(grid->canvasWidth(), grid->canvasHeight());
}

void ScreenShareModel::stop() {
    m_bAnswerEnabled = false;
    m_bScreenShareEnabled = false;
}

struct ScreenShareModel::StripJob {
    client::ImageSample sample; // keeps the bitmap's bytes alive
    StripBounds bounds;
    DecodedStrip strip;

    std::span<const std::uint8_t> bitmap() const {
        if (sample.getScreenBitmap() == nullptr || sample.getBitmapSize() <= 0)
            return {};
        return {sample.getScreenBitmap(), static_cast<std::size_t>(sample.getBitmapSize())};
    }
};

bool ScreenShareModel::applyScreenUpdates(const std::vector<platform::Bytes>& archives) {
    TileGrid* grid = m_bAnswerEnabled        ? &m_screenAnswerList
                     : m_bScreenShareEnabled ? &m_screenShareList
                                             : nullptr;
    std::vector<StripJob> jobs;
    jobs.reserve(archives.size());
    for (const platform::Bytes& archive : archives) {
        auto sample = client::ImageSample::unarchive(archive);
        if (!sample) {
            // Names no tiles: nothing to cut.
            platform::logf("[ZQ]Screen update unreadable; dropped");
            continue;
        }
        const std::int32_t count = sample->getScreenSplitCount();
        if (grid == nullptr || count < 1)
            continue; // neither mode: dropped unshown
        if (!checkList(*grid, sample->getScreenIndexArray(), count, m_bAnswerEnabled))
            continue; // refused as a whole, then dropped: later strips are not held back
        StripJob job;
        job.sample = std::move(*sample);
        job.bounds = {static_cast<std::int64_t>(count) * grid->partWidth(), grid->partHeight()};
        jobs.push_back(std::move(job));
    }
    if (jobs.empty())
        return false;
    decodeAll(jobs);
    // A bitmap that is no picture still names its tiles: they turn transparent.
    for (const StripJob& job : jobs)
        m_canvas.writeStrip(*grid, job.sample.getScreenIndexArray(), job.sample.getScreenSplitCount(),
                            job.strip.view());
    return true;
}

void ScreenShareModel::decodeAll(std::vector<StripJob>& jobs) {
    if (jobs.size() == 1) {
        jobs[0].strip = m_stripDecoder.decode(jobs[0].bitmap(), jobs[0].bounds);
        return;
    }
    // Each worker takes every n-th strip with a decoder of its own; this thread takes the first share.
    const std::size_t workers = std::min(kDecodeThreads, jobs.size());
    auto decodeShare = [&jobs, workers](std::size_t first, StripDecoder& decoder) {
        for (std::size_t i = first; i < jobs.size(); i += workers)
            jobs[i].strip = decoder.decode(jobs[i].bitmap(), jobs[i].bounds);
    };
    std::vector<std::future<void>> others;
    for (std::size_t w = 1; w < workers; ++w)
        others.push_back(std::async(std::launch::async, [&decodeShare, w] {
            StripDecoder decoder;
            decodeShare(w, decoder);
        }));
    decodeShare(0, m_stripDecoder);
    for (auto& other : others)
        other.wait();
}

bool ScreenShareModel::checkList(const TileGrid& grid, const std::vector<std::int32_t>& indexes, int count,
                                 bool answer) const {
    int at = 0;
    const TileGrid::StripCheck check = grid.checkStrip(indexes, count, &at);
    if (check == TileGrid::StripCheck::Ok)
        return true;
    if (answer) {
        platform::logf("[ZQ]error");
        return false;
    }
    const auto position = static_cast<std::size_t>(at);
    const auto tiles = static_cast<unsigned long>(grid.tileCount());
    switch (check) {
    case TileGrid::StripCheck::ListShort:
        platform::logf("error -1");
        break;
    case TileGrid::StripCheck::ListEnds:
        platform::logf("error 0");
        break;
    case TileGrid::StripCheck::OutOfRange:
        platform::logf("error1 %d %lu", indexes[position], tiles);
        break;
    default:
        platform::logf("error2 %d %lu", position < indexes.size() ? indexes[position] : 0, tiles);
        break;
    }
    return false;
}

void ScreenShareModel::decodeH264(const platform::Bytes& archive) {
    auto sample = client::H264Sample::unarchive(archive);
    if (!sample || sample->getH264() == nullptr || sample->getH264Size() <= 0) {
        platform::logf("[ZQ]H264 frame unreadable; dropped");
        return;
    }
    if (!m_decoder)
        m_decoder = std::make_unique<H264Decoder>();
    m_decoder->decodeH264DataBufferList({sample->getH264(), static_cast<std::size_t>(sample->getH264Size())},
                                        m_nServerEncodeWidth, m_nServerEncodeHeight);
}

bool ScreenShareModel::showDecodedFrames() {
    H264DecodeQueue::removeH264DecodeDataUsed();
    std::shared_ptr<const H264DecodeData> newest;
    while (auto frame = H264DecodeQueue::getH264DecodeData()) {
        H264DecodeQueue::addDecodeDataUsed(frame);
        H264DecodeQueue::removeDecodeData();
        newest = std::move(frame);
    }
    if (!newest || m_canvas.isEmpty() || !hasMode())
        return false;
    return m_canvas.drawFrame(*newest, m_nServerEncodeWidth, m_nServerEncodeHeight);
}

} // namespace streaming
