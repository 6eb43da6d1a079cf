// The upload progress window: the name of the file being sent and a bar of the piece just sent
// against the piece count. Opened by identifier "fileUploaderWindow" when a sending starts; follows
// the sender's events and closes at its end. Main thread.
#pragma once

#include "platform/NotificationCenter.h"
#include "platform/desktop/WindowController.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <string>

namespace transfer {

class FileUploadViewController : public desktop::ViewController {
public:
    static constexpr int kInitialMax = 100;

    explicit FileUploadViewController(
        platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter());

    void viewDidLoad() override;
    void callbackOnSendFileStart(const platform::Notification& note);
    void callbackOnSendedFile(const platform::Notification& note);
    void callbackOnClose(const platform::Notification& note);
    void initFileUploader(int min, int max, const std::string& fName);
    void updateFileUploader(int value, int max, const std::string& fName);
    void setMinValue(int value);
    void setMaxValue(int value);
    void stopObserving() { m_observers.removeAll(); }

    QLabel* fileNameLabel() const { return m_tfFileName; }
    QProgressBar* progressBar() const { return m_progressbar; }

protected:
    std::unique_ptr<QWidget> loadView() override;

private:
    QPointer<QLabel> m_tfFileName;
    QPointer<QProgressBar> m_progressbar;
    platform::ObserverSet m_observers;
};

class FileUploadWindowController : public desktop::WindowController {
public:
    FileUploadWindowController();

protected:
    void windowDidLoad() override;
    void windowDidClose() override;
    // The progress has no close control of its own: it lasts the upload run, whatever the window
    // manager's title bar offers.
    bool windowShouldClose() override { return false; }
};

// Makes the window factory known under "fileUploaderWindow".
void registerFileUploadWindow();

} // namespace transfer
