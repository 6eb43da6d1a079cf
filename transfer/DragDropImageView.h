// The panel's drop target: an image that takes files dragged onto it, framed in red while a copy
// drag is over it, and hands a drop to the main view controller's file sender; a refused drop gets
// a caution box. While a file is dragged over it the panel must not move (isDragging(), and
// moveEnabledChanged for the owner of a move flag of its own). Main thread.
#pragma once

#include <QLabel>
#include <functional>
#include <string>
#include <vector>

namespace transfer {

class DragDropImageView : public QLabel {
public:
    static constexpr const char* kNormalImage = "transfer_normal";
    static constexpr const char* kDragImage = "transfer_normal_drag";
    static constexpr std::uint32_t kHighlightColour = 0xFF0000;
    static constexpr int kHighlightWidth = 5;

    explicit DragDropImageView(QWidget* parent = nullptr);

    // Told false while a file is dragged over the view and true when the drag ends.
    std::function<void(bool)> moveEnabledChanged;

    bool draggingEntered(const std::vector<std::string>& paths);
    void draggingExited();
    void draggingEnded();
    bool performDragOperation(const std::vector<std::string>& paths);

    bool highlighted() const { return m_highlight; }
    bool isDragging() const { return m_bDragging; }
    // A caution box without time-out ("hidden" "0").
    static void showMessagebox(const std::string& text, float closeTime, int msgLv);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setImage(const char* name);

    bool m_highlight = false;
    bool m_bDragging = false;
    const char* m_imageName = kNormalImage;
};

} // namespace transfer
