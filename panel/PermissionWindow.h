// The first window: with screen capture allowed it opens the login window and closes itself;
// otherwise it explains that capture needs an X11 session and offers a button that asks again (on
// the first launch since the launch-status file was missing) or, one second after the press, leads
// to where capture is granted. Main thread.
#pragma once

#include "platform/desktop/WindowController.h"
#include "startup/ScreenCapturePermission.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <string>

namespace panel {

class PermissionViewController : public desktop::ViewController {
public:
    static constexpr double kSettingsDelay = 1.0;

    void viewDidAppear() override;
    void onScreenPermission();

    bool isFirstAppExecution() const { return m_bFirstAppExecution; }
    QPushButton* permissionButton() const { return m_button; }
    // The launch-status file (tests point it elsewhere).
    static void setLaunchStatusPathForTesting(std::string path);

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    startup::ScreenCapturePermission* permission() const;

    bool m_bFirstAppExecution = false;
    QPointer<QLabel> m_explanation;
    QPointer<QPushButton> m_button;
};

class PermissionWindowController : public desktop::WindowController {
public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 270;
    static constexpr int kHalfWidthOffset = 300;

    PermissionWindowController();
    static desktop::Frame intendedFrame();
    static int getClientWidth();
    static int getClientHeight();

protected:
    void windowDidLoad() override;
};

void registerPermissionWindow();

} // namespace panel
