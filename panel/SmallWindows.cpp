#include "panel/SmallWindows.h"

#include "platform/Screens.h"

namespace panel {
namespace {

bool gBlinkPhase = false; // main thread only

} // namespace

BlinkOverlayWindow::BlinkOverlayWindow() : desktop::Window(Style::Borderless) {
    // The dot sits at the origin of the window's bottom-left coordinates: its lower-left corner.
    const QRect dot(0, static_cast<int>(kSize) - kBlinkViewSize, kBlinkViewSize, kBlinkViewSize);
    // Without a compositor the clear square would show black above everything: the window is then
    // shaped to its dot.
    setSeeThrough(true, QColor(Qt::transparent), QRegion(dot));
    setIgnoresMouseEvents(true);
    setLevel(desktop::level::kBlinkOverlay);
    setFrame({kOriginX, kOriginY, kSize, kSize});
    m_blinkView = new QWidget(this);
    m_blinkView->setGeometry(dot);
    m_blinkView->setAutoFillBackground(true);
    m_blinkTimer =
        platform::Timer::scheduled(kBlinkInterval, true, [this](platform::Timer&) { toggleBlink(); });
}

BlinkOverlayWindow::~BlinkOverlayWindow() {
    if (m_blinkTimer)
        m_blinkTimer->invalidate();
}

void BlinkOverlayWindow::toggleBlink() {
    const bool wasSet = gBlinkPhase;
    gBlinkPhase = !gBlinkPhase;
    QPalette pal = m_blinkView->palette();
    pal.setColor(QPalette::Window, wasSet ? QColor(Qt::blue) : QColor(Qt::red));
    m_blinkView->setPalette(pal);
}

QColor BlinkOverlayWindow::blinkColour() const {
    return m_blinkView->palette().color(QPalette::Window);
}

void BlinkOverlayWindow::resetBlinkPhaseForTesting() {
    gBlinkPhase = false;
}

desktop::Frame CenterHidedWindow::intendedFrame() {
    const double width = platform::screens::info().width;
    const double height = platform::screens::info().height;
    return {width * 0.5 - kSize / 2, height * 0.5 - kSize / 2 + kRaise, kSize, kSize};
}

CenterHidedWindow::CenterHidedWindow() : desktop::Window(Style::Titled) {
    // Qt sizes windows in whole points; the window is never shown, so one point stands for 0.1.
    setFrame(intendedFrame());
    setLevel(desktop::level::kMessageBox);
    setWindowTitle(QString::fromUtf8(kTitle));
    orderOut();
}

} // namespace panel
