// The teacher console's commands: state they set, events they post for the windows, replies on the
// link they came from. Every handler runs on the receive thread of its link, inside the post.
#include "client/ArchivedRecords.h"
#include "client/ClientEvents.h"
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/ScreenGridRule.h"
#include "client/SettingsKeys.h"
#include "client/StudentClient.h"
#include "client/StudentSessionInfo.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace client {
namespace {

using Link = StudentClient::Link;

// Short pauses the console's timing relies on after these commands.
constexpr double kRemoteViewPauseSeconds = 0.0005;
constexpr double kFileResetPauseSeconds = 0.001;
constexpr double kPercent = 100.0;

constexpr const char* kTrue = "true";
constexpr const char* kFalse = "false";

// A high-density screen's image is made in pixels rounded down to whole pairs, so a side of one
// point there comes out empty.
constexpr std::int32_t kHighDensityPixelsPerPoint = 2;
// The console can repeat a command or a packet without end: the lines each kind logs are held to a
// few a second, each kind under its own limit, and the next line let through counts those held back.
constexpr int kRepeatedLinesPerSecond = 3;

platform::LogRateLimit& refusalLog() {
    static platform::LogRateLimit limit(kRepeatedLinesPerSecond);
    return limit;
}

platform::LogRateLimit& h264ModeLog() {
    static platform::LogRateLimit limit(kRepeatedLinesPerSecond);
    return limit;
}

platform::LogRateLimit& keyPacketLog() {
    static platform::LogRateLimit limit(kRepeatedLinesPerSecond);
    return limit;
}

struct URLLogs {
    platform::LogRateLimit success{kRepeatedLinesPerSecond};
    platform::LogRateLimit failure{kRepeatedLinesPerSecond};
    platform::LogRateLimit refused{kRepeatedLinesPerSecond};
};

URLLogs& urlLogs() {
    static URLLogs logs;
    return logs;
}

// Every opening hands the address to the student's browser, which starts, or opens a window or a
// tab: a console repeating "[MV00143]" would start as many. A teacher sends a link at a time, or a
// lesson's few together; openings past these within the window are refused.
constexpr int kURLOpensPerWindow = 3;
constexpr double kURLOpenWindowSeconds = 5.0;

// Stores the thumbnail size the console asked for. A side of 0 turns thumbnails off (the capture
// queue sends none). A size that would make an empty image (a negative side, or one point on a
// high-density screen) asks for no image either, so it turns thumbnails off too, logged once per
// command, until a usable size comes: every captured frame would otherwise fail on it and log.
void storeThumbnailSize(const std::vector<std::string>& fields) {
    std::int32_t width = parseInt32(fieldAt(fields, 0));
    std::int32_t height = parseInt32(fieldAt(fields, 1));
    const std::int32_t smallest = platform::screens::isHighDensity() ? kHighDensityPixelsPerPoint : 1;
    const bool off = width == 0 || height == 0;
    if (!off && (width < smallest || height < smallest)) {
        refusalLog().logf("[ZQ]Thumbnail size %dx%d makes no image; thumbnails off", width, height);
        width = 0;
        height = 0;
    }
    StudentSessionInfo& info = gStudentSessionInfo();
    info.m_nThumbWidth.store(width);
    info.m_nThumbHeight.store(height);
}

std::string text(std::int32_t value) {
    return std::to_string(value);
}

std::int32_t clampedSize(std::size_t size) {
    return static_cast<std::int32_t>(std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

// A side of an announced screen; anything beyond this is no screen, and bounds nothing.
constexpr std::int32_t kMaxAnnouncedSide = 16384;

std::uint64_t announcedSide(std::int32_t value) {
    return value < 1 || value > kMaxAnnouncedSide ? 0 : static_cast<std::uint64_t>(value);
}

// The grid the viewer will cut this canvas into bounds every strip the links parse from now on.
void announceGrid(transport::ScreenUpdateLimits& limits, std::int32_t width, std::int32_t height,
                  screengrid::Thresholds thresholds) {
    const bool usable = announcedSide(width) > 0 && announcedSide(height) > 0;
    const screengrid::GridSize grid =
        usable ? screengrid::gridSize(width, height, thresholds) : screengrid::GridSize{};
    limits.setGrid(grid.tiles, grid.tilePixels);
}

bool isWebURL(const std::string& url) {
    auto hasScheme = [&url](std::string_view scheme) {
        if (url.size() <= scheme.size())
            return false;
        for (std::size_t i = 0; i < scheme.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i])
                return false;
        return true;
    };
    return hasScheme("http://") || hasScheme("https://");
}

} // namespace

void StudentClient::registerHandlers() {
    struct Row {
        const char* direct; // nullptr: no handler on that link
        const char* relay;
        void (StudentClient::*handler)(Record&, Link);
    };
    static const Row kRows[] = {
        {"READ_MSG_MV00001", "READ_MSG_MV00001_RELAY", &StudentClient::onThumbnailRequest},
        {"READ_MSG_MV00002", nullptr, &StudentClient::onScreenFormatRequest},
        {"READ_MSG_MV00003", "READ_MSG_MV00003_RELAY", &StudentClient::onThumbnailSize},
        {"READ_MSG_MV00004", "READ_MSG_MV00004_RELAY", &StudentClient::onRemoteViewStart},
        {"READ_MSG_MV00005", "READ_MSG_MV00005_RELAY", &StudentClient::onRemoteViewStop},
        {"READ_MSG_MV00006", "READ_MSG_MV00006_RELAY", &StudentClient::onRefreshDelay},
        {"READ_MSG_MV00014", "READ_MSG_MV00014_RELAY", &StudentClient::onQuality},
        {"READ_MSG_MV00079", "READ_MSG_MV00079_RELAY", &StudentClient::onServerDrawSeq},
        {"READ_MSG_MV00080", "READ_MSG_MV00080_RELAY", &StudentClient::onRemoteViewResume},
        {"READ_MSG_MV00124", nullptr, &StudentClient::onScreenUploadStatus},
        {"READ_MSG_MV00126", nullptr, &StudentClient::onScreenUploadState},
        {"READ_MSG_MV00127", nullptr, &StudentClient::onShareScreenStatus},
        {"READ_MSG_MV00264", nullptr, &StudentClient::onH264Mode},
        {"READ_MSG_MV00265", nullptr, &StudentClient::onH264StreamSize},
        {"READ_MSG_MV00102", "READ_MSG_MV00102_RELAY", &StudentClient::onBroadcast},
        {"READ_MSG_MV00103", "READ_MSG_MV00103_RELAY", &StudentClient::onScreenShareInit},
        {"READ_MSG_AN00001", "READ_MSG_AN00001_RELAY", &StudentClient::onAnswerModeStart},
        {"READ_MSG_MV00107", "READ_MSG_MV00107_RELAY", &StudentClient::onAnswerMode},
        {"READ_MSG_COMBINED_DIB", "READ_MSG_UCOMBINED_DIB_RELAY", &StudentClient::onCombinedDib},
        {"READ_MSG_H264", nullptr, &StudentClient::onH264Frame},
        {"READ_MSG_MV00009", "READ_MSG_MV00009_RELAY", &StudentClient::onAlias},
        {"READ_MSG_MV00013", "READ_MSG_MV00013_RELAY", &StudentClient::onOverwriteMode},
        {"READ_MSG_MV00030", "READ_MSG_MV00030_RELAY", &StudentClient::onTransferPath},
        {"READ_MSG_MV00050", "READ_MSG_MV00050_RELAY", &StudentClient::onScreenLock},
        {"READ_MSG_MV00052", "READ_MSG_MV00052_RELAY", &StudentClient::onCloseButton},
        {"READ_MSG_MV00061", "READ_MSG_MV00061_RELAY", &StudentClient::onForbiddenWeb},
        {"READ_MSG_MV00074", "READ_MSG_MV00074_RELAY", &StudentClient::onPreventApp},
        {"READ_MSG_MV00075", "READ_MSG_MV00075_RELAY", &StudentClient::onForbiddenList},
        {"READ_MSG_MV00072", "READ_MSG_MV00072_RELAY", &StudentClient::onTeacherChat},
        {"READ_MSG_MV00105", "READ_MSG_MV00105_RELAY", &StudentClient::onFileReceivedReset},
        {"READ_MSG_MV00143", "READ_MSG_MV00143_RELAY", &StudentClient::onOpenURL},
        {"READ_MSG_MV10000", nullptr, &StudentClient::onAnotherDevice},
        {"READ_MSG_FILE", "READ_MSG_UFILE_RELAY", &StudentClient::onFileChunk},
        {"READ_MSG_KEY", nullptr, &StudentClient::onKeyPacket},
        {"READ_MSG_MV00230", nullptr, &StudentClient::onShareNoteTool},
        {"READ_MSG_MV00231", nullptr, &StudentClient::onNoteToolShowHide},
        {"READ_MSG_MV00232", nullptr, &StudentClient::onNoteToolEnable},
        {"READ_MSG_MV00259", "READ_MSG_MV00259_RELAY", &StudentClient::onNoteToolLock},
        {"READ_MSG_MV00304", nullptr, &StudentClient::onNoteSaveMode},
    };
    // Codes whose handling is only releasing the record need no observer: an unobserved record is
    // released with its notification.
    for (const Row& row : kRows) {
        if (row.direct != nullptr)
            observeLink(row.direct, Link::Direct, row.handler);
        if (row.relay != nullptr)
            observeLink(row.relay, Link::Relay, row.handler);
    }
}

void StudentClient::onThumbnailRequest(Record& r, Link link) {
    auto f = splitFields(r.strParams);
    StudentSessionInfo& info = gStudentSessionInfo();
    storeThumbnailSize(f);
    m_nRefreshDelay.store(parseInt32(fieldAt(f, 2)));
    m_fQuality.store(static_cast<float>(parseInt32(fieldAt(f, 3)) / kPercent));
    if (link == Link::Direct) {
        Forms forms;
        forms.directBytes = transport::builder::kCompressionBodyBytes;
        forms.direct = [](transport::SRequestData& request) {
            return transport::builder::MakeSendPacket(request, 0, 0);
        };
        send(Link::Direct, forms);
        return;
    }
    sendCommand(command::clientVersion(), link);
    sendCommand(command::osKind(info.m_nOsKind.load(), info.m_szOsKind.get()), link);
    sendCommand(command::screenSize(getClientWidth(), getClientHeight()), link);
}

void StudentClient::onScreenFormatRequest(Record&, Link) {
    sendScreenFormat();
}

void StudentClient::onThumbnailSize(Record& r, Link) {
    storeThumbnailSize(splitFields(r.strParams));
}

void StudentClient::onRemoteViewStart(Record&, Link link) {
    m_bRemoteViewFirst.store(true);
    // A new live view is a new H.264 stream for the console's decoder: announced again and opened
    // with a key frame, never continued from the last view's predicted frames.
    m_bH264Init.store(false);
    // The draw sequence starts again at 0, set by the capture queue before its next image: a
    // reset made here would race the thumbnail that queue may be encoding.
    m_remoteViewState.fetch_or(kRemoteViewOn | kDrawSeqResetPending);
    platform::sleepFor(kRemoteViewPauseSeconds);
    if (link == Link::Direct) {
        post(events::kScreenUploadEnable);
        post(events::kScreenShareHide);
    }
}

void StudentClient::onRemoteViewStop(Record&, Link link) {
    sendCommand(command::screenSize(getClientWidth(), getClientHeight()), link);
    m_remoteViewState.fetch_and(static_cast<std::uint8_t>(~kRemoteViewOn));
    if (link == Link::Direct) {
        post(events::kScreenShareShow);
        platform::sleepFor(kRemoteViewPauseSeconds);
    }
}

void StudentClient::onRefreshDelay(Record& r, Link) {
    m_nRefreshDelay.store(parseInt32(r.strParams));
}

void StudentClient::onQuality(Record& r, Link) {
    m_fQuality.store(static_cast<float>(parseInt32(r.strParams) / kPercent));
}

void StudentClient::onServerDrawSeq(Record& r, Link) {
    m_nServerDrawSeq.store(parseInt32(r.strParams));
}

void StudentClient::onRemoteViewResume(Record& r, Link link) {
    // The direct console never expects this to change anything; only the relay path resumes.
    if (link == Link::Relay && r.strParams == kTrue) {
        m_bRemoteViewFirst.store(true);
        m_remoteViewState.fetch_or(kRemoteViewOn);
    }
}

void StudentClient::onScreenUploadStatus(Record& r, Link) {
    if (r.strParams == "start")
        m_nScreenUploadStatus.store(1);
    else if (r.strParams == "stop" || r.strParams == "otheruse")
        m_nScreenUploadStatus.store(2);
    postStatus(events::kScreenUploadStatus, events::kKeyStatus, m_nScreenUploadStatus.load());
}

void StudentClient::onScreenUploadState(Record& r, Link) {
    if (r.strParams == "0" || r.strParams == "1" || r.strParams == "2")
        m_nScreenUploadStatus.store(parseInt32(r.strParams));
    postStatus(events::kScreenUploadStatus, events::kKeyStatus, m_nScreenUploadStatus.load());
}

void StudentClient::onShareScreenStatus(Record& r, Link) {
    if (r.strParams == "0" || r.strParams == "1" || r.strParams == "2")
        m_nShareScreenStatus.store(parseInt32(r.strParams));
    postStatus(events::kShareScreenStatus, events::kKeyStatus, m_nShareScreenStatus.load());
}

void StudentClient::onH264Mode(Record& r, Link link) {
    h264ModeLog().logf("MV00264 Received");
    sendCommand(command::kH264Supported, link);
    bool on = r.strParams == kTrue;
    m_bH264RemoteScreen.store(on);
    if (on) {
        m_bH264Init.store(false); // a new stream: announced and opened with a key frame
    }
    sendCommand(on ? command::kH264On : command::kH264Off, link);
    sendCommand(command::h264Size(), link);
}

void StudentClient::onH264StreamSize(Record& r, Link) {
    auto f = splitFields(r.strParams);
    m_shared->setString(settings::kServerEncodeWidth, text(parseInt32(fieldAt(f, 0))));
    m_shared->setString(settings::kServerEncodeHeight, text(parseInt32(fieldAt(f, 1))));
    m_screenLimits->setEncodeSize(announcedSide(parseInt32(fieldAt(f, 0))),
                                  announcedSide(parseInt32(fieldAt(f, 1))));
    m_shared->setString(settings::kScreenH264Init, settings::kScreenH264InitValue);
    synchronizeSettings();
}

void StudentClient::onBroadcast(Record& r, Link link) {
    if (link == Link::Direct)
        sendScreenFormat();
    bool start = r.strParams == "start";
    m_bScreenShared.store(start);
    m_shared->setString(settings::kBroadcast, start ? "1" : "0");
    synchronizeSettings();
    post(start ? events::kBroadcast : events::kBroadcastStop);
}

void StudentClient::onScreenShareInit(Record& r, Link link) {
    auto f = splitFields(r.strParams);
    std::int32_t width = parseInt32(fieldAt(f, 0));
    std::int32_t height = parseInt32(fieldAt(f, 1));
    gStudentSessionInfo().m_nServerWidth.store(width);
    gStudentSessionInfo().m_nServerHeight.store(height);
    m_shared->setString(settings::kCanvasWidth, text(width));
    m_shared->setString(settings::kCanvasHeight, text(height));
    m_shared->setString(settings::kScreenInit, settings::kScreenInitShare);
    synchronizeSettings();
    announceGrid(*m_screenLimits, width, height, screengrid::kShareThresholds);
    m_bScreenShared.store(true);
    if (link == Link::Direct)
        post(events::kScreenShareInit);
}

void StudentClient::onAnswerModeStart(Record& r, Link) {
    auto f = splitFields(r.strParams);
    std::int32_t width = parseInt32(fieldAt(f, 0));
    std::int32_t height = parseInt32(fieldAt(f, 1));
    gStudentSessionInfo().m_nServerWidth.store(width);
    gStudentSessionInfo().m_nServerHeight.store(height);
    m_shared->setString(settings::kServerWidth, text(width));
    m_shared->setString(settings::kServerHeight, text(height));
    m_shared->setString(settings::kCanvasWidth, text(getClientWidth()));
    m_shared->setString(settings::kCanvasHeight, text(getClientHeight()));
    m_shared->setString(settings::kScreenInit, settings::kScreenInitAnswer);
    synchronizeSettings();
    announceGrid(*m_screenLimits, getClientWidth(), getClientHeight(), screengrid::kAnswerThresholds);
    post(events::kBroadcast);
    m_bScreenShared.store(false);
    m_bAnswer.store(true);
}

void StudentClient::onAnswerMode(Record& r, Link link) {
    if (r.strParams == kTrue) {
        sendCommand(command::kAnswerModeOn, link);
        m_bAnswer.store(true);
    } else if (r.strParams == kFalse) {
        sendCommand(command::kAnswerModeOff, link);
        post(events::kBroadcastStop);
        m_bAnswer.store(false);
    }
}

void StudentClient::onCombinedDib(Record& r, Link link) {
    // A refused update shows nothing, but the console paces its strips on the acknowledgement.
    if (!r.bStripRefused) {
        // The parser keeps the sizes consistent with the vectors; the vectors are the bytes present.
        ImageSample sample;
        sample.bitmap(r.pDibData.empty() ? nullptr : r.pDibData.data(), clampedSize(r.pDibData.size()),
                      clampedSize(r.pBlockList.size()), r.pBlockList.empty() ? nullptr : r.pBlockList.data(),
                      static_cast<std::int32_t>(r.nDrawSeq));
        postShared(events::kScreenData, events::kKeyCombinedDib, sample.archiveText());
    }
    auto sequence = static_cast<std::int32_t>(r.nDrawSeq);
    if (m_bAnswer.load())
        sendCommand(command::answerFrameAck(sequence), link);
    else if (m_bScreenShared.load())
        sendCommand(command::sharedFrameAck(sequence), link);
}

void StudentClient::onH264Frame(Record& r, Link) {
    // The frame moves out of the record into its archive, so it is held at most twice while the
    // archive is written and once from then on. No digest of it is taken: hashing every frame of
    // many megabytes on the receive thread would hold the next packet back for nothing read.
    std::string archive =
        H264Sample::archiveText(std::move(r.pH264Data), static_cast<std::int32_t>(r.nDrawSeq));
    r.pH264Data = {};
    postShared(events::kScreenH264Data, events::kKeyH264, std::move(archive));
}

void StudentClient::onAlias(Record& r, Link) {
    auto suite = platform::UserDefaults::suite();
    suite->setString(settings::kAlias, r.strParams);
    suite->synchronize();
}

void StudentClient::onOverwriteMode(Record& r, Link) {
    m_shared->setString(settings::kDataFileOverwrite, r.strParams);
    synchronizeSettings();
}

void StudentClient::onTransferPath(Record& r, Link) {
    m_shared->setString(settings::kTransferPath, r.strParams);
    synchronizeSettings();
}

void StudentClient::onScreenLock(Record& r, Link) {
    if (r.strParams == kTrue || r.strParams == kFalse)
        post(events::kScreenLock, {{events::kKeyLock, r.strParams}});
}

void StudentClient::onCloseButton(Record& r, Link) {
    if (r.strParams == kTrue)
        post(events::kDisabledX);
    else if (r.strParams == kFalse)
        post(events::kEnabledX);
}

void StudentClient::onForbiddenWeb(Record& r, Link) {
    post(events::kForbiddanceWeb, {{events::kKeyWeb, r.strParams}});
}

void StudentClient::onPreventApp(Record& r, Link) {
    m_bPreventApp.store(r.strParams == kTrue);
}

void StudentClient::onForbiddenList(Record& r, Link) {
    post(events::kForbiddanceList, {{events::kKeyList, r.strParams}});
}

void StudentClient::onTeacherChat(Record& r, Link) {
    // Commas separate the command's fields, so the console writes a comma inside the text as
    // "&comma;"; fields after the first are not part of the line.
    auto f = splitFields(r.strParams);
    post(events::kTeacherChat, {{events::kKeyChat, replaceAll(fieldAt(f, 0), "&comma;", ",")}});
}

void StudentClient::onFileReceivedReset(Record&, Link) {
    if (m_shared->stringValue(settings::kDataFileReceived) == "0") {
        m_shared->setString(settings::kDataFileReceived, "0");
        synchronizeSettings();
        platform::sleepFor(kFileResetPauseSeconds);
    }
    m_shared->setString(settings::kDataFileReceived, "0");
    synchronizeSettings();
}

bool StudentClient::takeURLOpening() {
    std::lock_guard lock(m_urlOpenLock);
    const double now = platform::monotonicNow();
    if (!m_bURLWindowStarted || now - m_fURLWindowStart >= kURLOpenWindowSeconds || now < m_fURLWindowStart) {
        m_bURLWindowStarted = true;
        m_fURLWindowStart = now;
        m_nURLOpensInWindow = 0;
    }
    if (m_nURLOpensInWindow >= kURLOpensPerWindow)
        return false;
    ++m_nURLOpensInWindow;
    return true;
}

void StudentClient::onOpenURL(Record& r, Link) {
    auto f = splitFields(r.strParams);
    const std::string& url = fieldAt(f, 0);
    // Only web addresses are opened; anything else (file:, custom schemes) could start programs.
    if (!isWebURL(url)) {
        urlLogs().failure.logf("[ZQ]URL open failure.");
        return;
    }
    if (!takeURLOpening()) {
        urlLogs().refused.logf("[ZQ]URL open refused: %d opened within %g seconds already.",
                               kURLOpensPerWindow, kURLOpenWindowSeconds);
        return;
    }
    if (platform::openURL(url))
        urlLogs().success.logf("[ZQ]URL open success.");
    else
        urlLogs().failure.logf("[ZQ]URL open failure.");
}

void StudentClient::onAnotherDevice(Record&, Link) {
    m_shared->setString(settings::kEvent, settings::kEventAnotherDevice);
    synchronizeSettings();
    post(events::kAnotherDevice);
}

void StudentClient::onFileChunk(Record& r, Link) {
    settings::registerMemoryOnlyKeys();
    if (r.bFileRefused) {
        // Nothing of the piece is readable: no archive is left, so the file receiver logs it,
        // fails the file it belonged to and still acknowledges it.
        m_shared->remove(settings::kArchivedFileData);
        post(events::kFileData);
        synchronizeSettings();
        return;
    }
    // The piece's bytes move into the archive and the archive into the suite: a piece of many
    // megabytes is never held twice over here. The file receiver reads it from this memory-only
    // key while the post runs.
    m_shared->setData(settings::kArchivedFileData, FileSample::archive(std::move(r.pFileData), r.strFileName,
                                                                       static_cast<std::int32_t>(r.nSplitCnt),
                                                                       static_cast<std::int32_t>(r.nSeq)));
    r.pFileData = {};
    post(events::kFileData);
    synchronizeSettings();
}

void StudentClient::onKeyPacket(Record& r, Link) {
    constexpr std::uint32_t kCaseBit = 32;
    constexpr int kFirstPrintable = 0x20;
    constexpr int kLastPrintable = 0x7E;
    int character = static_cast<int>((r.nKeyValue2 ^ kCaseBit) & 0xFF);
    if (character < kFirstPrintable || character > kLastPrintable)
        character = '?'; // keeps control bytes from the network out of the log
    keyPacketLog().logf("[ZQ]KeyPacket %d %d %d %d / %c", r.nKeyValue1, static_cast<int>(r.nKeyValue2),
                        static_cast<int>(r.nKeyValue3), static_cast<int>(r.nKeyValue4), character);
}

void StudentClient::onShareNoteTool(Record& r, Link) {
    if (r.strParams == kFalse)
        post(events::kShareNoteToolStatus, {{events::kKeyStatus, "2"}});
}

void StudentClient::onNoteToolShowHide(Record& r, Link) {
    if (r.strParams == "show")
        post(events::kNoteToolShowHide, {{events::kKeyStatus, "1"}});
    else if (r.strParams == "hide")
        post(events::kNoteToolShowHide, {{events::kKeyStatus, "0"}});
}

void StudentClient::onNoteToolEnable(Record& r, Link) {
    if (r.strParams == "enable")
        post(events::kShareNoteToolStatus, {{events::kKeyStatus, "1"}});
    else if (r.strParams == "disable")
        post(events::kShareNoteToolStatus, {{events::kKeyStatus, "0"}});
}

void StudentClient::onNoteToolLock(Record& r, Link) {
    if (r.strParams == "0")
        post(events::kNoteToolLock, {{events::kKeyMaximize, "1"}});
    else if (r.strParams == "2")
        post(events::kNoteToolLock, {{events::kKeyLock, "1"}});
}

void StudentClient::onNoteSaveMode(Record& r, Link) {
    auto f = splitFields(r.strParams);
    const std::string& mode = fieldAt(f, 1);
    if (fieldAt(f, 0) == kFalse)
        post(events::kNoteSaveMode, {{events::kKeyNoteSave, "0"}});
    else if (fieldAt(f, 0) == kTrue && (mode == "0" || mode == "1" || mode == "2"))
        post(events::kNoteSaveMode, {{events::kKeyNoteSave, mode}});
}

} // namespace client
