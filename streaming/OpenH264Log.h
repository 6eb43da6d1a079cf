// Routes the H.264 library's own messages (warnings and errors) into the agent's log instead of
// standard error, where the library would print them on every troubled frame. Called by the
// encoder and decoder wrappers right after they create their library object; any thread.
#pragma once

class ISVCEncoder;
class ISVCDecoder;

namespace streaming {

void routeLibraryLog(ISVCEncoder* encoder);
void routeLibraryLog(ISVCDecoder* decoder);

} // namespace streaming
