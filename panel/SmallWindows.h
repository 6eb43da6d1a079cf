// Two windows the application delegate makes at launch and keeps for the process: a 10 x 10 point
// see-through overlay whose one-point view, at its lower-left corner, blinks red and blue every
// half second above every other window (it never takes a click, and where no compositor runs the
// window is shaped to that view), and a hidden window at the centre of the screen that the note
// tool uses as the parent of its sheet alerts. Main thread.
#pragma once

#include "platform/MainQueue.h"
#include "platform/desktop/Window.h"

#include <QColor>
#include <memory>

namespace panel {

class BlinkOverlayWindow : public desktop::Window {
public:
    static constexpr double kBlinkInterval = 0.5;
    static constexpr double kOriginX = 100.0;
    static constexpr double kOriginY = 100.0;
    static constexpr double kSize = 10.0;
    static constexpr int kBlinkViewSize = 1;

    BlinkOverlayWindow();
    ~BlinkOverlayWindow() override;

    void toggleBlink();
    QColor blinkColour() const;
    QWidget* blinkView() const { return m_blinkView; }

    // The phase every overlay shares (false at start).
    static void resetBlinkPhaseForTesting();

private:
    std::shared_ptr<platform::Timer> m_blinkTimer;
    QWidget* m_blinkView = nullptr; // a Qt child of this window
};

class CenterHidedWindow : public desktop::Window {
public:
    static constexpr double kSize = 0.1;
    static constexpr double kRaise = 400.0;
    static constexpr const char* kTitle = "중앙에 위치한 숨겨진 윈도우";

    CenterHidedWindow();
    // The bottom-left frame it asks for on the current primary screen.
    static desktop::Frame intendedFrame();
};

} // namespace panel
