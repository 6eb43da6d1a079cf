// The lock screen the teacher puts over the student's desktop: a borderless see-through window over
// the whole primary screen below the menu bar, at the lock level, showing the lock picture and the
// lock symbol. Made by identifier "lockViewWindow"; the main view controller opens and closes it,
// and no one else can: a close request of the student or the window manager is refused. Main thread.
#pragma once

#include "platform/desktop/WindowController.h"

#include <QLabel>
#include <QPointer>

namespace panel {

class TouchLockViewWindow : public desktop::Window {
public:
    TouchLockViewWindow();
};

class TouchLockViewController : public desktop::ViewController {
public:
    static constexpr double kLockPictureOpacity = 0.5;
    static constexpr double kLockIconOpacity = 0.7;
    static constexpr const char* kLockPicture = "lock_background";
    static constexpr const char* kLockIcon = "lock_icon";

    void viewDidLoad() override;
    QLabel* lockPicture() const { return m_imageViewLock; }
    QLabel* lockIcon() const { return m_imageViewLockIcon; }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    QPointer<QLabel> m_imageViewLock;
    QPointer<QLabel> m_imageViewLockIcon;
};

class TouchLockViewWindowController : public desktop::WindowController {
public:
    TouchLockViewWindowController();

protected:
    void windowDidLoad() override;
    // Only the teacher ends the lock: every close the student asks for is refused.
    bool windowShouldClose() override { return false; }
};

void registerLockViewWindow();

} // namespace panel
