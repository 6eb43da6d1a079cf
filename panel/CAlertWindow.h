// Alerts whose button captions follow the user's first preferred language (Korean for "ko...",
// English for every other language). Two-button forms answer the OK block for the second button
// (response 1001) and the Cancel block for any other response. Main thread only.
#pragma once

#include <functional>
#include <string>

class QWidget;

class CAlertWindow {
public:
    using Block = std::function<void()>;

    static bool isEnglish();

    // The captions, left to right.
    static std::string cancelCaption();    // "CANCEL" / "아니오"
    static std::string confirmCaption();   // "OK" / "예"
    static std::string oneButtonCaption(); // "OK" / "확인"

    // Attached to window; returns the alert at once (it deletes itself once answered), the block
    // runs when the user answers.
    static QWidget* createAlertWindow(QWidget* window, const std::string& title, const std::string& content,
                                      Block okBlock, Block cancelBlock);
    // Application-modal; returns after the user answered and the block ran.
    static void createAlertModal(const std::string& title, const std::string& content, Block okBlock,
                                 Block cancelBlock);
    static void createAlertModalOne(const std::string& title, const std::string& content, Block okBlock);

    // Runs the block that a two-button alert's response selects (a missing block is skipped).
    static void dispatchTwoButtonResponse(int response, const Block& okBlock, const Block& cancelBlock);
};
