#include "viewer/ScreenShareModel.h"

#include "client/ArchivedRecords.h"
#include "client/SettingsKeys.h"
#include "platform/Log.h"

#include <algorithm>
#include <climits>

namespace viewer {

namespace {
constexpr const char* kModeAnswer = "1";
constexpr const char* kModeShare = "2";
constexpr const char* kModeRead = "-1";

// The console decides which strips and frames come and can repeat a refused one without end: each
// kind of line about them is held to a few a second, its own count of the rest naming lines like it.
constexpr int kRefusalLinesPerSecond = 3;

struct RefusalLogs {
    platform::LogRateLimit unreadableUpdate{kRefusalLinesPerSecond};
    platform::LogRateLimit unreadableFrame{kRefusalLinesPerSecond};
    platform::LogRateLimit answerList{kRefusalLinesPerSecond};
    platform::LogRateLimit listShort{kRefusalLinesPerSecond};
    platform::LogRateLimit listEnds{kRefusalLinesPerSecond};
    platform::LogRateLimit outOfRange{kRefusalLinesPerSecond};
    platform::LogRateLimit tooManyTiles{kRefusalLinesPerSecond};
    platform::LogRateLimit emptyGrid{kRefusalLinesPerSecond};
};

RefusalLogs& refusalLogs() {
    static RefusalLogs logs;
    return logs;
}

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
    StripPlacement place;
    // Decoded straight into the canvas (its tiles are one row no other update of the batch touches).
    bool inPlace = false;
    StripDecoder::InPlace result = StripDecoder::InPlace::NotApplicable;
    DecodedStrip strip; // the picture when it was not decoded in place

    std::span<const std::uint8_t> bitmap() const {
        if (sample.getScreenBitmap() == nullptr || sample.getBitmapSize() <= 0)
            return {};
        return {sample.getScreenBitmap(), static_cast<std::size_t>(sample.getBitmapSize())};
    }
};

bool ScreenShareModel::applyScreenUpdates(const std::vector<platform::Bytes>& archives) {
    std::vector<SharedArchive> shared;
    shared.reserve(archives.size());
    for (const platform::Bytes& archive : archives)
        shared.emplace_back(archive);
    return applyScreenUpdates(shared);
}

bool ScreenShareModel::applyScreenUpdates(const std::vector<SharedArchive>& archives) {
    TileGrid* grid = m_bAnswerEnabled        ? &m_screenAnswerList
                     : m_bScreenShareEnabled ? &m_screenShareList
                                             : nullptr;
    std::vector<StripJob> jobs;
    jobs.reserve(archives.size());
    for (const SharedArchive& archive : archives) {
        auto sample = client::ImageSample::unarchive(archive.bytes(), archive.owner());
        if (!sample) {
            // Names no tiles: nothing to cut.
            refusalLogs().unreadableUpdate.logf("[ZQ]Screen update unreadable; dropped");
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
    // The pictures decoded at once hold at most a canvas of pixels between them (each strip's
    // bound is its tiles, which the list check keeps within the grid); the rest of the batch
    // waits for the next group.
    const std::int64_t budget =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(grid->canvasWidth()) * grid->canvasHeight());
    for (std::size_t first = 0; first < jobs.size();) {
        std::size_t end = first;
        std::int64_t pixels = 0;
        while (end < jobs.size()) {
            const std::int64_t strip = jobs[end].bounds.maxWidth * jobs[end].bounds.maxHeight;
            if (end > first && pixels + strip > budget)
                break;
            pixels += strip;
            ++end;
        }
        std::span<StripJob> group(jobs.data() + first, end - first);
        placeStrips(*grid, group);
        decodeAll(group);
        // A bitmap that is no picture still names its tiles: they turn transparent.
        for (StripJob& job : group) {
            const auto& indexes = job.sample.getScreenIndexArray();
            const int count = job.sample.getScreenSplitCount();
            if (job.result == StripDecoder::InPlace::Decoded)
                m_canvas.markStrip(*grid, indexes, count);
            else
                m_canvas.writeStrip(*grid, indexes, count, job.strip.view());
            job.strip = {}; // freed before the next group decodes
        }
        first = end;
    }
    return true;
}

void ScreenShareModel::placeStrips(const TileGrid& grid, std::span<StripJob> jobs) {
    if (m_canvas.isEmpty() || grid.canvasWidth() != m_canvas.width() ||
        grid.canvasHeight() != m_canvas.height())
        return;
    for (StripJob& job : jobs)
        job.place = ScreenCanvas::placeStrip(grid, job.sample.getScreenIndexArray(),
                                             job.sample.getScreenSplitCount());
    // Updates of one batch are decoded at once but must land in the order received: only a strip
    // whose tiles no other update of the batch names may be decoded into the canvas directly.
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i].place.inOneRow)
            continue;
        bool alone = true;
        for (std::size_t j = 0; j < jobs.size() && alone; ++j)
            alone = j == i || !jobs[i].place.area.intersects(jobs[j].place.area);
        jobs[i].inPlace = alone;
    }
}

void ScreenShareModel::decodeOne(StripJob& job, StripDecoder& decoder) {
    if (job.inPlace) {
        job.result = decoder.decodeInto(job.bitmap(), m_canvas.region(job.place.area));
        if (job.result != StripDecoder::InPlace::NotApplicable)
            return; // decoded, or failed: the tiles then turn transparent
    }
    job.strip = decoder.decode(job.bitmap(), job.bounds);
}

void ScreenShareModel::decodeAll(std::span<StripJob> jobs) {
    // Each piece takes every n-th strip with a decoder of its own. Pieces write disjoint parts of
    // the canvas (placeStrips) or strips of their own.
    const std::size_t pieces = std::min(kDecodeThreads, jobs.size());
    runInParallel(pieces, [this, &jobs, pieces](std::size_t piece) {
        for (std::size_t i = piece; i < jobs.size(); i += pieces)
            decodeOne(jobs[i], m_stripDecoders[piece]);
    });
}

bool ScreenShareModel::checkList(const TileGrid& grid, const std::vector<std::int32_t>& indexes, int count,
                                 bool answer) const {
    int at = 0;
    const TileGrid::StripCheck check = grid.checkStrip(indexes, count, &at);
    if (check == TileGrid::StripCheck::Ok)
        return true;
    if (answer) {
        refusalLogs().answerList.logf("[ZQ]error");
        return false;
    }
    const auto position = static_cast<std::size_t>(at);
    const auto tiles = static_cast<unsigned long>(grid.tileCount());
    switch (check) {
    case TileGrid::StripCheck::ListShort:
        refusalLogs().listShort.logf("error -1");
        break;
    case TileGrid::StripCheck::ListEnds:
        refusalLogs().listEnds.logf("error 0");
        break;
    case TileGrid::StripCheck::OutOfRange:
        refusalLogs().outOfRange.logf("error1 %d %lu", indexes[position], tiles);
        break;
    case TileGrid::StripCheck::TooManyTiles:
        refusalLogs().tooManyTiles.logf("error1 %d %lu", count, tiles);
        break;
    default:
        refusalLogs().emptyGrid.logf("error2 %d %lu", position < indexes.size() ? indexes[position] : 0,
                                     tiles);
        break;
    }
    return false;
}

void ScreenShareModel::decodeH264(const SharedArchive& archive) {
    auto sample = client::H264Sample::unarchive(archive.bytes(), archive.owner());
    if (!sample || sample->getH264() == nullptr || sample->getH264Size() <= 0) {
        refusalLogs().unreadableFrame.logf("[ZQ]H264 frame unreadable; dropped");
        return;
    }
    if (!m_decoder)
        m_decoder = std::make_unique<streaming::H264Decoder>();
    m_decoder->decodeH264DataBufferList({sample->getH264(), static_cast<std::size_t>(sample->getH264Size())},
                                        m_nServerEncodeWidth, m_nServerEncodeHeight);
}

bool ScreenShareModel::showDecodedFrames() {
    streaming::H264DecodeQueue::removeH264DecodeDataUsed();
    std::shared_ptr<const streaming::H264DecodeData> newest;
    while (auto frame = streaming::H264DecodeQueue::getH264DecodeData()) {
        streaming::H264DecodeQueue::addDecodeDataUsed(frame);
        streaming::H264DecodeQueue::removeDecodeData();
        newest = std::move(frame);
    }
    if (!newest || m_canvas.isEmpty() || !hasMode())
        return false;
    return m_canvas.drawFrame(*newest, m_nServerEncodeWidth, m_nServerEncodeHeight);
}

} // namespace viewer
