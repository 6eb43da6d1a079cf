// Makes a view accept files dragged onto it (local files only). The handlers run on the main thread
// with the dragged files' paths; a drag of anything else is refused without calling them.
#pragma once

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace desktop {

class DropTarget : public QObject {
public:
    using Paths = std::vector<std::string>;
    struct Handlers {
        // A drag with files entered the view; false refuses it.
        std::function<bool(const Paths&)> draggingEntered;
        // The drag left the view or was given up.
        std::function<void()> draggingExited;
        // Files were dropped; false reports the drop as not taken.
        std::function<bool(const Paths&)> performDrop;
        // Every drag that entered ends here, dropped or not.
        std::function<void()> draggingEnded;
    };

    // Installs itself on view; it lives as long as the view (a Qt child of it).
    static DropTarget* install(QWidget* view, Handlers handlers);

    // Local file paths of a drag's data; empty when it carries anything else.
    static Paths localFiles(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DropTarget(QWidget* view, Handlers handlers);
    Handlers m_handlers;
    bool m_inside = false;
};

} // namespace desktop
