// Informational alerts with buttons laid out left to right in the order given. A response is
// kFirstButtonResponse plus the index of the pressed button; kAbortResponse when the alert closed
// without a button. Modal alerts block in a nested event loop; sheets return at once and report
// through their completion. A modal alert stands in front of the panel windows, a sheet right above
// its window, at that window's level. Main thread only.
#pragma once

#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace desktop {

struct AlertContent {
    std::string title; // the alert's message text
    std::string text;  // its informative text
    std::vector<std::string> buttons;
};

constexpr int kFirstButtonResponse = 1000;
constexpr int kSecondButtonResponse = 1001;
constexpr int kAbortResponse = -1000;

// The configured box (for callers that show it themselves, and tests).
std::unique_ptr<QMessageBox> makeAlert(const AlertContent& content, QWidget* parent = nullptr);
// The response for the button that closed box (kAbortResponse for none).
int alertResponse(const QMessageBox& box);

// Application-modal: returns the response once the user answered.
int runModalAlert(const AlertContent& content);

// Attached to window (application-modal when window is null); completion runs once with the
// response, on the main thread. Returns the alert, which Qt deletes once it is answered; closed
// without a button (reject()), it answers kAbortResponse.
QMessageBox* beginSheetAlert(const AlertContent& content, QWidget* window,
                             std::function<void(int response)> completion);

} // namespace desktop
