#include "panel/CAlertWindow.h"

#include "platform/LocalizedStrings.h"
#include "platform/desktop/Alert.h"

namespace {

constexpr const char* kKoreanPrefix = "ko";

void run(const CAlertWindow::Block& block) {
    if (block)
        block();
}

} // namespace

bool CAlertWindow::isEnglish() {
    return platform::firstPreferredLanguage().rfind(kKoreanPrefix, 0) != 0;
}

std::string CAlertWindow::cancelCaption() {
    return isEnglish() ? "CANCEL" : "아니오";
}
std::string CAlertWindow::confirmCaption() {
    return isEnglish() ? "OK" : "예";
}
std::string CAlertWindow::oneButtonCaption() {
    return isEnglish() ? "OK" : "확인";
}

void CAlertWindow::dispatchTwoButtonResponse(int response, const Block& okBlock, const Block& cancelBlock) {
    run(response == desktop::kSecondButtonResponse ? okBlock : cancelBlock);
}

QWidget* CAlertWindow::createAlertWindow(QWidget* window, const std::string& title,
                                         const std::string& content, Block okBlock, Block cancelBlock) {
    return desktop::beginSheetAlert(
        {title, content, {cancelCaption(), confirmCaption()}}, window,
        [okBlock = std::move(okBlock), cancelBlock = std::move(cancelBlock)](int response) {
            dispatchTwoButtonResponse(response, okBlock, cancelBlock);
        });
}

void CAlertWindow::createAlertModal(const std::string& title, const std::string& content, Block okBlock,
                                    Block cancelBlock) {
    const int response = desktop::runModalAlert({title, content, {cancelCaption(), confirmCaption()}});
    dispatchTwoButtonResponse(response, okBlock, cancelBlock);
}

void CAlertWindow::createAlertModalOne(const std::string& title, const std::string& content, Block okBlock) {
    const int response = desktop::runModalAlert({title, content, {oneButtonCaption()}});
    if (response == desktop::kFirstButtonResponse)
        run(okBlock);
}
