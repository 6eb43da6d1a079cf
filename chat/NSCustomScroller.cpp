#include "chat/NSCustomScroller.h"

#include "panel/CGColorHex.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QStyleOptionSlider>

namespace chat {

NSCustomScroller::NSCustomScroller(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent), m_colorBlack(CGColorHex::getNSColorHex(kTrackColour)),
      m_colorWhite(CGColorHex::getNSColorHex(kKnobColour)) {}

void NSCustomScroller::resizeEvent(QResizeEvent* event) {
    QScrollBar::resizeEvent(event);
    m_bIsHorizontal = event->size().width() > event->size().height();
}

QRect NSCustomScroller::knobRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    QRect knob = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    if (m_bIsHorizontal)
        return knob.adjusted(0, kKnobInset, 0, -kKnobInset);
    return knob.adjusted(kKnobInset, 0, -kKnobInset, 0);
}

void NSCustomScroller::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), m_colorBlack);
    m_bDrewKnob = false;
    if (m_bFirst) {
        m_bFirst = false;
        return;
    }
    drawKnob(painter);
}

void NSCustomScroller::drawKnob(QPainter& painter) {
    const QRect knob = knobRect();
    if (knob.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(knob, kKnobRadius, kKnobRadius);
    painter.fillPath(path, m_colorWhite);
    m_bDrewKnob = true;
}

} // namespace chat
