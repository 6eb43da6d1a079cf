// What the panel and the note tool ask of the open teacher-screen viewer, whose window lives in a
// library of its own: reading its mode again, whether answers are on, and the teacher's canvas
// size; and what the hub hands it when it opens it. Implemented by the viewer's view controller;
// main thread.
#pragma once

#include <functional>
#include <memory>

namespace client {
class StudentClient;
}

namespace panel {

class ScreenShareViewing {
public:
    // The login's client at the moment it is asked (empty before the first login).
    using StudentClientSource = std::function<std::shared_ptr<client::StudentClient>()>;

    virtual ~ScreenShareViewing() = default;
    // Where the share-board strokes drawn in the viewer go: the hub's current client.
    virtual void setStudentClientSource(StudentClientSource source) = 0;
    virtual void initCanvas() = 0;
    virtual bool getAnswerEnabled() const = 0;
    virtual int getScreenCanvasWidth() const = 0;
    virtual int getScreenCanvasHeight() const = 0;
};

} // namespace panel
