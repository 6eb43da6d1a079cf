// The login window: teacher ID, seat and name fields with their input filter, the login and cancel
// buttons, a progress indicator and a status line. Its view controller is the window side of the
// login (login/LoginFlow does the steps); a student's close or cancel ends the process. Made by
// identifier "loginWindow". Main thread.
#pragma once

#include "login/LoginFlow.h"
#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <cstdint>
#include <memory>
#include <string>

namespace panel {

class LoginViewController : public desktop::ViewController, public login::LoginView {
public:
    static constexpr std::uint32_t kBackground = 0x1D2434;
    static constexpr int kExitStatus = 0;
    static constexpr const char* kConnectImageKo = "login_btn_connect_kr";
    static constexpr const char* kCancelImageKo = "login_btn_cancel_kr";
    static constexpr const char* kConnectImageEn = "login_btn_connect_en";
    static constexpr const char* kCancelImageEn = "login_btn_cancel_en";

    explicit LoginViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    ~LoginViewController() override;

    void viewDidLoad() override;
    void viewDidAppear() override;

    // The per-keystroke filter of the field with this tag.
    void controlTextDidChange(int tag);
    void onClickLogin();
    void onClickCancel();

    // login::LoginView
    void setTeacherIdText(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setProgressEnabled(bool enabled) override;
    void showMessagebox(const std::string& text) override;
    void showAlert(const std::string& title, const std::string& content, std::function<void()> ok) override;
    void openMainWindow() override;

    QLineEdit* teacherIdField() const { return m_tfTeacherId; }
    QLineEdit* slotField() const { return m_tfStudentNumber; }
    QLineEdit* nameField() const { return m_tfStudentName; }
    QPushButton* connectButton() const { return m_btnConnect; }
    QPushButton* cancelButton() const { return m_btnCancel; }
    QLabel* statusField() const { return m_txMessageBox; }
    QProgressBar* progressIndicator() const { return m_progressbar; }
    const std::string& connectImageName() const { return m_connectImage; }
    login::LoginFlow* flow() const { return m_flow.get(); }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    void initValue();
    QLineEdit* fieldWithTag(int tag) const;

    QPointer<QLineEdit> m_tfTeacherId;
    QPointer<QLineEdit> m_tfStudentNumber;
    QPointer<QLineEdit> m_tfStudentName;
    QPointer<QProgressBar> m_progressbar;
    platform::NotificationCenter& m_pNotificationCenter;
    QPointer<QPushButton> m_btnConnect;
    QPointer<QPushButton> m_btnCancel;
    QPointer<QLabel> m_txMessageBox;
    std::shared_ptr<login::LoginFlow> m_flow;
    std::string m_connectImage;
};

class LoginWindowController : public desktop::WindowController {
public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 414;

    explicit LoginWindowController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());
    static desktop::Frame intendedFrame();

protected:
    void windowDidLoad() override;
    // A student's close ends the process (the application delegate answers once registered).
    bool windowShouldClose() override;
};

// Makes the window factory known under "loginWindow".
void registerLoginWindow();

} // namespace panel
