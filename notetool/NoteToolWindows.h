// Makes the note tool's windows known by identifier (the drawing canvas, the minimised tab) and
// gives the main view controller its note-tool panel and the screen still of the capture board.
// Called once at start-up, on the main thread, before the main panel opens.
#pragma once

namespace notetool {

void registerNoteToolWindows();

} // namespace notetool
