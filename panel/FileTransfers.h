// What the main view controller holds of file transfer, whose objects live in a library of their
// own: the drop target in its view, the receiving of the teacher's pieces and the sending of the
// student's drops. Made by the factory the transfer library registers, when the panel's view loads;
// a panel without one takes no files. Main thread, except callbackOnReceivedFileData.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace panel {

class FileTransfers {
public:
    virtual ~FileTransfers() = default;
    // The drop target, a Qt child of the panel's view that the note tool places among its controls.
    virtual QWidget* dropView() const = 0;
    // Whether a file is dragged over the drop target: the panel must not move then.
    virtual bool isDragging() const = 0;
    // The teacher's piece (receive thread, inside the client's post): on disk and acknowledged
    // before the link reads on.
    virtual void callbackOnReceivedFileData() = 0;
    // The drop: starts sending, or answers the key of the box that refuses it.
    virtual const char* sendFileToServer(const std::vector<std::string>& paths) = 0;
};

} // namespace panel
