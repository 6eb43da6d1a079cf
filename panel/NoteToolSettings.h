// The drawing settings of the note-tool panel, as the drawing surfaces read them each time they
// draw or send (the canvas of the boards, the share-board layer of the teacher-screen viewer).
// Implemented by the note-tool panel; main thread only.
#pragma once

#include <array>
#include <cstdint>

namespace panel {

class NoteToolSettings {
public:
    virtual ~NoteToolSettings() = default;
    // 0 pointer, 2 capture board, 3 share board, 5 white board.
    virtual int getMode() const = 0;
    // 0 pen, 1 eraser, 2 erase-all.
    virtual int getToolMode() const = 0;
    // The pen width in points: 2, 5, 8 or 12.
    virtual float getThickness() const = 0;
    virtual int getThicknessMode() const = 0;
    virtual bool getIsBlend() const = 0;
    // 0 black, 1 red, 2 blue, 3 white, 4 yellow, 5 pink, 6 green, 7 cyan.
    virtual int getColorMode() const = 0;
    // Records that a pen stroke put ink on a board that is not saved yet.
    virtual void setWrite(bool written) = 0;
};

} // namespace panel
