// The dark scroller of the chat log: a track of 0x1B1B1B and a rounded knob of 0x3B3B3B, 3 points
// narrower on each side than the knob the style computes. The first drawing shows the track only.
// Main thread.
#pragma once

#include <QColor>
#include <QRect>
#include <QScrollBar>

namespace chat {

class NSCustomScroller : public QScrollBar {
public:
    static constexpr std::uint32_t kTrackColour = 0x1B1B1B;
    static constexpr std::uint32_t kKnobColour = 0x3B3B3B;
    static constexpr int kKnobInset = 3;
    static constexpr double kKnobRadius = 3.0;

    explicit NSCustomScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

    QColor getColorBlack() const { return m_colorBlack; }
    QColor getColorWhite() const { return m_colorWhite; }
    bool isHorizontal() const { return m_bIsHorizontal; }
    // The rectangle the knob is filled in: the style's knob, inset across the scroller's length.
    QRect knobRect() const;
    // Whether the last drawing drew the knob (tests).
    bool drewKnob() const { return m_bDrewKnob; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void drawKnob(class QPainter& painter);

    QColor m_colorBlack;
    QColor m_colorWhite;
    bool m_bIsHorizontal = false;
    bool m_bFirst = true;
    bool m_bDrewKnob = false;
};

} // namespace chat
