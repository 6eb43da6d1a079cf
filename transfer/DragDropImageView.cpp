#include "transfer/DragDropImageView.h"

#include "panel/AppDelegate.h"
#include "panel/CGColorHex.h"
#include "panel/MainViewController.h"
#include "panel/MessageboxWindow.h"
#include "platform/LocalizedStrings.h"
#include "platform/desktop/DropTarget.h"
#include "platform/desktop/Images.h"

#include <QPainter>

namespace transfer {
namespace {
constexpr float kNoTimeOut = 0.0f;
constexpr int kButtonShown = 0;
} // namespace

DragDropImageView::DragDropImageView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    // The panel's layout gives the drop target its room; the picture follows the size it gets.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setImage(kNormalImage);
    desktop::DropTarget::install(
        this, {[this](const desktop::DropTarget::Paths& paths) { return draggingEntered(paths); },
               [this] { draggingExited(); },
               [this](const desktop::DropTarget::Paths& paths) { return performDragOperation(paths); },
               [this] { draggingEnded(); }});
}

bool DragDropImageView::draggingEntered(const std::vector<std::string>&) {
    m_bDragging = true;
    if (moveEnabledChanged)
        moveEnabledChanged(false);
    m_highlight = true; // the drop target only ever offers a copy
    update();
    return true;
}

void DragDropImageView::draggingExited() {
    m_highlight = false;
    update();
    m_bDragging = false;
    if (moveEnabledChanged)
        moveEnabledChanged(true);
}

void DragDropImageView::draggingEnded() {
    setImage(kDragImage);
    m_bDragging = false;
    if (moveEnabledChanged)
        moveEnabledChanged(true);
}

bool DragDropImageView::performDragOperation(const std::vector<std::string>& paths) {
    m_highlight = false;
    update();
    const auto hub = panel::AppDelegate::shared().getMainViewController();
    if (!hub)
        return true; // no session to send to
    if (const char* refusal = hub->sendFileToServer(paths))
        showMessagebox(platform::localizedString(refusal), kNoTimeOut, panel::events::kMsgLvCaution);
    return true;
}

void DragDropImageView::showMessagebox(const std::string& text, float closeTime, int msgLv) {
    panel::showMessagebox(text, closeTime, msgLv, kButtonShown);
}

void DragDropImageView::setImage(const char* name) {
    m_imageName = name;
    setPixmap(desktop::images::named(name, size(), devicePixelRatioF()));
}

void DragDropImageView::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    setPixmap(desktop::images::named(m_imageName, size(), devicePixelRatioF()));
}

void DragDropImageView::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!m_highlight)
        return;
    QPainter painter(this);
    painter.setPen(QPen(CGColorHex::getNSColorHex(kHighlightColour), kHighlightWidth));
    painter.drawRect(rect());
}

} // namespace transfer
