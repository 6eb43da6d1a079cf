// The main view controller's board backgrounds and the hooks through which the note tool, a
// library of its own, fills the panel and captures the screen.
#include "panel/MainViewController.h"
#include "panel/PanelEvents.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/desktop/Images.h"

#include <QPainter>
#include <mutex>

namespace panel {
namespace {

constexpr const char* kWhitePage = "white";
// On a high-density display every point of a board is two pixels.
constexpr int kRetinaScale = 2;

struct Hooks {
    std::mutex lock;
    MainViewController::NoteToolInstaller installer;
    MainViewController::ScreenStillSource still;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

} // namespace

void MainViewController::setNoteToolInstaller(NoteToolInstaller installer) {
    std::lock_guard<std::mutex> lock(hooks().lock);
    hooks().installer = std::move(installer);
}

void MainViewController::setScreenStillSource(ScreenStillSource source) {
    std::lock_guard<std::mutex> lock(hooks().lock);
    hooks().still = std::move(source);
}

void MainViewController::installNoteTool(MainViewController& controller, QWidget* area) {
    NoteToolInstaller installer;
    {
        std::lock_guard<std::mutex> lock(hooks().lock);
        installer = hooks().installer;
    }
    if (installer)
        installer(controller, area);
}

void MainViewController::setWhiteBoardImageDataForCanvas() {
    m_captureBoardImageData = QImage();
    const int scale = m_bIsRetinaDisplay ? kRetinaScale : 1;
    const int width = getClientWidth() * scale;
    const int height = (getClientHeight() - static_cast<int>(platform::screens::menuBarHeight())) * scale;
    if (width <= 0 || height <= 0) {
        platform::logf("[ZQ]Invalid Image");
        return;
    }
    const QPixmap white = desktop::images::named(kWhitePage, QSize(width, height));
    if (white.isNull()) {
        // No asset: still a white page rather than a see-through board.
        m_captureBoardImageData = QImage(width, height, QImage::Format_RGB32);
        m_captureBoardImageData.fill(Qt::white);
        return;
    }
    m_captureBoardImageData = white.toImage().convertToFormat(QImage::Format_RGB32);
}

void MainViewController::setCaptureBoardImageDataForCanvas() {
    ScreenStillSource still;
    {
        std::lock_guard<std::mutex> lock(hooks().lock);
        still = hooks().still;
    }
    m_captureBoardImageData = still ? still() : QImage();
    if (m_captureBoardImageData.isNull())
        platform::logf("[ZQ]Screen capture for the capture board failed; the board has no background.");
    m_pNotificationCenter.post(events::kCaptureBoardPressed);
}

} // namespace panel
