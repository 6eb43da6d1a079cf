#include "platform/desktop/WindowController.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

namespace desktop {
namespace {

std::map<std::string, WindowRegistry::Factory>& factories() {
    static std::map<std::string, WindowRegistry::Factory> table;
    return table;
}

// Controllers of open windows; each holds itself here from showWindow until its window closes.
std::vector<std::shared_ptr<WindowController>>& openControllers() {
    static std::vector<std::shared_ptr<WindowController>> open;
    return open;
}

} // namespace

ViewController::ViewController() = default;
ViewController::~ViewController() = default;

std::unique_ptr<QWidget> ViewController::loadView() {
    return std::make_unique<QWidget>();
}

QWidget* ViewController::view() {
    if (m_view.isNull()) {
        m_unplacedView = loadView();
        m_view = m_unplacedView.get();
    }
    return m_view.data();
}

WindowController::WindowController(std::unique_ptr<Window> window, std::unique_ptr<ViewController> content)
    : m_window(std::move(window)), m_content(std::move(content)) {
    if (!m_window)
        m_window = std::make_unique<Window>();
    m_window->didClose = [this] { handleClosed(); };
    if (m_content)
        m_content->m_windowController = this;
}

WindowController::~WindowController() {
    if (m_window) {
        m_window->didClose = nullptr;
        m_window->shouldClose = nullptr;
    }
    // The content view is a Qt child of the window and goes with it; the controller object after.
    m_window.reset();
}

void WindowController::loadWindow() {
    if (m_loaded)
        return;
    m_loaded = true;
    m_window->shouldClose = [this] { return m_closeDelegate ? m_closeDelegate() : windowShouldClose(); };
    if (m_content) {
        QWidget* view = m_content->view();
        auto* layout = new QVBoxLayout(m_window.get()); // owned by the window
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view); // the window now owns the view
        static_cast<void>(m_content->m_unplacedView.release());
        m_content->viewDidLoad();
    }
    windowDidLoad();
}

void WindowController::showWindow() {
    loadWindow();
    if (!m_open) {
        m_open = true;
        auto& open = openControllers();
        if (std::find(open.begin(), open.end(), shared_from_this()) == open.end())
            open.push_back(shared_from_this());
    }
    m_window->orderFront();
    // Showing a window makes it the key window: the keys go to its focused field at once, even on
    // an X server where no manager hands out the focus. A window the manager never sees (lock,
    // overlay) is left to its own handling.
    if (!m_window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
        m_window->activateWindow();
    if (!m_appeared && m_content) {
        m_appeared = true;
        m_content->viewDidAppear();
    }
}

void WindowController::close() {
    m_window->closeFromCode();
}

void WindowController::handleClosed() {
    if (!m_open) {
        windowDidClose();
        return;
    }
    m_open = false;
    windowDidClose();
    // Let go of the self-reference after the close event has unwound: the window (and with it this
    // controller) must not be destroyed inside its own event handler.
    auto& open = openControllers();
    auto it = std::find_if(open.begin(), open.end(),
                           [this](const std::shared_ptr<WindowController>& c) { return c.get() == this; });
    if (it == open.end())
        return;
    std::shared_ptr<WindowController> keep = std::move(*it);
    open.erase(it);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [keep] {}, Qt::QueuedConnection);
}

void WindowRegistry::registerFactory(const std::string& identifier, Factory factory) {
    factories()[identifier] = std::move(factory);
}

void WindowRegistry::unregisterFactory(const std::string& identifier) {
    factories().erase(identifier);
}

bool WindowRegistry::has(const std::string& identifier) {
    return factories().count(identifier) != 0;
}

std::vector<std::string> WindowRegistry::identifiers() {
    std::vector<std::string> names;
    for (const auto& entry : factories())
        names.push_back(entry.first);
    return names;
}

std::shared_ptr<WindowController> WindowRegistry::instantiate(const std::string& identifier) {
    auto it = factories().find(identifier);
    if (it == factories().end() || !it->second) {
        platform::logf("[ZQ]No window registered for identifier %s.", identifier.c_str());
        return nullptr;
    }
    std::shared_ptr<WindowController> controller = it->second();
    if (!controller) {
        platform::logf("[ZQ]Window %s could not be made.", identifier.c_str());
        return nullptr;
    }
    controller->m_identifier = identifier;
    controller->loadWindow();
    return controller;
}

std::size_t WindowRegistry::openCount() {
    return openControllers().size();
}

void WindowRegistry::closeAll() {
    std::vector<std::shared_ptr<WindowController>> open = openControllers();
    for (const auto& controller : open)
        controller->close();
    openControllers().clear();
    // Closed controllers still queued for release go with the posted events.
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
}

} // namespace desktop
