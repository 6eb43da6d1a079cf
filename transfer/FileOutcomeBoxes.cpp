#include "transfer/FileOutcomeBoxes.h"

#include "panel/FloatText.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/MainQueue.h"

#include <QString>
#include <utility>

namespace transfer {
namespace {

constexpr const char* kButtonShown = "0";
constexpr const char* kEllipsis = "\xE2\x80\xA6"; // U+2026

std::size_t indexOf(FileOutcomeBoxes::Kind kind) {
    return kind == FileOutcomeBoxes::Kind::Received ? 0 : 1;
}

// Whole characters only: a surrogate pair or a UTF-8 sequence is never cut.
QString shownName(const std::string& fileName) {
    const QList<uint> points = QString::fromStdString(fileName).toUcs4();
    const int length = static_cast<int>(points.size());
    if (length <= FileOutcomeBoxes::kMaxShownNameLength)
        return QString::fromStdString(fileName);
    // The end carries the extension, which tells the student most about the file.
    const int head = FileOutcomeBoxes::kMaxShownNameLength / 2;
    const int tail = FileOutcomeBoxes::kMaxShownNameLength - head - 1;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.data()), head) +
           QString::fromUtf8(kEllipsis) +
           QString::fromUcs4(reinterpret_cast<const char32_t*>(points.data() + length - tail), tail);
}

} // namespace

std::string FileOutcomeBoxes::boxText(Kind kind, const std::string& fileName, std::uint64_t count) {
    const bool received = kind == Kind::Received;
    if (count <= 1)
        return platform::localizedString(received ? kReceivedKey : kFailedKey);
    // Both places are filled in one pass, so a "%2" in a file name stays as it is.
    const QString pattern =
        QString::fromStdString(platform::localizedString(received ? kReceivedManyKey : kFailedManyKey));
    return pattern.arg(shownName(fileName), QString::number(count - 1)).toStdString();
}

void FileOutcomeBoxes::record(Kind kind, const std::string& fileName) {
    {
        std::lock_guard lock(m_mutex);
        Pending& pending = m_pending[indexOf(kind)];
        ++pending.count;
        pending.latest = fileName;
        if (m_bShowQueued)
            return;
        m_bShowQueued = true;
    }
    platform::mainQueue::async([self = shared_from_this()] { self->showPending(); });
}

void FileOutcomeBoxes::showPending() {
    std::array<Pending, kKinds> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        m_bShowQueued = false;
    }
    for (Kind kind : {Kind::Received, Kind::Failed}) {
        if (pending[indexOf(kind)].count > 0)
            show(kind, pending[indexOf(kind)]);
    }
}

void FileOutcomeBoxes::show(Kind kind, const Pending& pending) {
    Shown& shown = m_shown[indexOf(kind)];
    auto box = shown.box.lock();
    auto* content = box && box->isOpen()
                        ? static_cast<panel::MessageboxViewController*>(box->contentViewController())
                        : nullptr;
    // A box that another message has taken over since (every box takes every posting) is no longer
    // this kind's.
    if (content && content->messageField()->text().toStdString() == shown.text) {
        shown.count += pending.count;
        shown.text = boxText(kind, pending.latest, shown.count);
        // Only the text: the box keeps its icon, its button and the time-out it opened with.
        content->messageField()->setText(QString::fromStdString(shown.text));
        return;
    }
    shown.count = pending.count;
    shown.text = boxText(kind, pending.latest, shown.count);
    const bool received = kind == Kind::Received;
    shown.box = panel::openMessagebox(
        {{panel::events::kKeyMessage, shown.text},
         {panel::events::kKeyCloseTime,
          received ? panel::formatFloat(kReceivedBoxSeconds) : panel::MessageboxViewController::kNeverClose},
         {panel::events::kKeyMsgLv,
          received ? panel::events::kMsgLvInformationText : panel::events::kMsgLvCautionText},
         {panel::events::kKeyHidden, kButtonShown}});
}

} // namespace transfer
