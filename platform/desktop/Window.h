// A top-level window of the agent, placed with bottom-left frames. A window given a level stays
// above other applications and is stacked among the agent's windows by it; one without stays an
// ordinary window. Borderless windows ignore any frame decoration asked for later. Main thread
// only.
#pragma once

#include "platform/desktop/Geometry.h"
#include "platform/desktop/WindowLevels.h"

#include <QColor>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace desktop {

class InputGrab;

// True when a compositing manager runs, so translucent windows show what lies below them.
// Without one an X server draws their clear parts black.
bool compositorRunning();

class Window : public QWidget {
public:
    enum class Style { Titled, Borderless };

    explicit Window(Style style = Style::Titled);
    ~Window() override;

    Style style() const { return m_style; }

    void setLevel(int level);
    int level() const { return m_level; }

    // Frame in bottom-left points (see Geometry.h), moved where needed to lie wholly on the primary
    // screen below its menu bar.
    void setFrame(const Frame& frame);
    Frame frame() const;
    // Moves the window as asked, on screen or not (a drag).
    void setFrameOrigin(double x, double y);
    // Where the program last placed the window's content (Qt geometry), if it did; a titled window
    // placed before it is made is placed by its frame, and has none.
    std::optional<QRect> placedGeometry() const { return m_placedGeometry; }

    // See-through windows: a clear background where a compositor runs, `fallback` otherwise.
    // Without a compositor a non-empty `fallbackShape` (window coordinates, top left) becomes the
    // window's shape: an X server draws a clear background black, but nothing outside a window's
    // shape, so only what is drawn there is seen. Call before the window is first shown.
    void setSeeThrough(bool seeThrough, const QColor& fallback = QColor(Qt::black),
                       const QRegion& fallbackShape = {});
    bool isSeeThrough() const { return m_seeThrough; }
    // Clicks pass through to whatever lies below.
    void setIgnoresMouseEvents(bool ignores);

    // Shows the window and brings it to the front of its level.
    void orderFront();
    void orderOut();

    // While shown, the window holds the keyboard and the pointer (see InputGrab.h); given back the
    // moment it is hidden or closed.
    void setHoldsInput(bool holds);
    const InputGrab* inputGrab() const { return m_inputGrab.get(); }
    // Puts the window back as the program placed it, whatever another program did to it: shown
    // (mapped again), at its placed frame, in front of its level, and holding the keyboard and the
    // pointer again when it holds input.
    void reassert();

    // Closes without asking shouldClose: a close made by the program is never a user's request.
    void closeFromCode();

    // Asked when the user closes the window; answering false keeps it open. A user's close of a
    // borderless window can only come from a window manager (the window has no close control of
    // its own): without an answer here it is refused.
    std::function<bool()> shouldClose;
    // Told after the window closed, by the user or the program.
    std::function<void()> didClose;
    // Asked when the window manager minimised the window while a full-screen window of a lower level
    // (a board, the viewer) is open, which would leave nothing on the screen to bring it back by:
    // true when the window took the minimise its own way (the panel goes into its tab). Otherwise,
    // and without an answer here, the window is restored at once.
    std::function<bool()> shouldMiniaturizeOverBackdrop;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Style m_style;
    int m_level = level::kNormal;
    bool m_seeThrough = false;
    bool m_closingFromCode = false;
    bool m_holdsInput = false;
    std::optional<QRect> m_placedGeometry;
    std::unique_ptr<InputGrab> m_inputGrab;
};

} // namespace desktop
