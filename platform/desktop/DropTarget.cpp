#include "platform/desktop/DropTarget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace desktop {

DropTarget* DropTarget::install(QWidget* view, Handlers handlers) {
    if (!view)
        return nullptr;
    return new DropTarget(view, std::move(handlers)); // a Qt child of view
}

DropTarget::DropTarget(QWidget* view, Handlers handlers) : QObject(view), m_handlers(std::move(handlers)) {
    view->setAcceptDrops(true);
    view->installEventFilter(this);
}

DropTarget::Paths DropTarget::localFiles(const QMimeData* data) {
    Paths paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {}; // a mixed drag is refused whole
        paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        const Paths paths = localFiles(drag->mimeData());
        if (paths.empty() || (m_handlers.draggingEntered && !m_handlers.draggingEntered(paths))) {
            drag->ignore();
            return true;
        }
        m_inside = true;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::DragMove:
        if (m_inside)
            static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    case QEvent::DragLeave:
        if (m_inside) {
            m_inside = false;
            if (m_handlers.draggingExited)
                m_handlers.draggingExited();
            if (m_handlers.draggingEnded)
                m_handlers.draggingEnded();
        }
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const Paths paths = localFiles(drop->mimeData());
        const bool taken = !paths.empty() && m_handlers.performDrop && m_handlers.performDrop(paths);
        if (taken)
            drop->acceptProposedAction();
        else
            drop->ignore();
        m_inside = false;
        if (m_handlers.draggingEnded)
            m_handlers.draggingEnded();
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace desktop
