// What the panel and the note tool ask of the open teacher-screen viewer, whose window lives in a
// library of its own: reading its mode again, whether answers are on, and the teacher's canvas
// size. Implemented by the viewer's view controller; main thread.
#pragma once

namespace panel {

class ScreenShareViewing {
public:
    virtual ~ScreenShareViewing() = default;
    virtual void initCanvas() = 0;
    virtual bool getAnswerEnabled() const = 0;
    virtual int getScreenCanvasWidth() const = 0;
    virtual int getScreenCanvasHeight() const = 0;
};

} // namespace panel
