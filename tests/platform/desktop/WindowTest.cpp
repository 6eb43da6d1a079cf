#include "QtTestApp.h"
#include "platform/desktop/Geometry.h"
#include "platform/desktop/InputGrab.h"
#include "platform/desktop/WindowController.h"
#include "platform/desktop/WindowLevels.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputDevice>
#include <QKeyEvent>
#include <QScreen>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace desktop;

TEST(WindowLevels, TableRunsFromViewerToOverlay) {
    const std::vector<int> expected{20, 21, 22, 23, 24, 25};
    ASSERT_EQ(kWindowLevels.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(kWindowLevels[i].level, expected[i]);
}

TEST(WindowLevels, AgentWindowsStackInLevelOrderWhateverTheShowOrder) {
    testing_support::qtApp();
    Window overlay(Window::Style::Borderless), box(Window::Style::Borderless),
        lock(Window::Style::Borderless), panel(Window::Style::Borderless), viewer(Window::Style::Borderless),
        canvas(Window::Style::Borderless);
    overlay.setLevel(level::kBlinkOverlay);
    box.setLevel(level::kMessageBox);
    lock.setLevel(level::kLockScreen);
    panel.setLevel(level::kPanel);
    viewer.setLevel(level::kScreenShareViewer);
    canvas.setLevel(level::kDrawingCanvas);
    // Shown top first: the stack must still put the lower levels underneath.
    for (Window* w : {&overlay, &box, &lock, &panel, &canvas, &viewer})
        w->orderFront();
    const std::vector<QWidget*> expected{&viewer, &canvas, &panel, &lock, &box, &overlay};
    EXPECT_EQ(WindowStack::shared().order(), expected);

    // Within a level the last one brought forward lies on top; a hidden window leaves the stack.
    Window secondBox(Window::Style::Borderless);
    secondBox.setLevel(level::kMessageBox);
    secondBox.orderFront();
    box.orderFront();
    lock.orderOut();
    const std::vector<QWidget*> after{&viewer, &canvas, &panel, &secondBox, &box, &overlay};
    EXPECT_EQ(WindowStack::shared().order(), after);
    for (Window* w : {&overlay, &box, &secondBox, &panel, &canvas, &viewer})
        w->closeFromCode();
    EXPECT_TRUE(WindowStack::shared().order().empty());
}

// A window keeps its level while hidden and shown again, whether the program hides it or the window
// system does (a minimise hides a window the program still shows): shown again it stands at its
// level, so the windows above a board stay above it.
TEST(WindowLevels, AWindowKeepsItsLevelAcrossHideAndShow) {
    testing_support::qtApp();
    Window canvas(Window::Style::Borderless), panel(Window::Style::Borderless),
        box(Window::Style::Borderless);
    canvas.setLevel(level::kDrawingCanvas);
    panel.setLevel(level::kPanel);
    box.setLevel(level::kMessageBox);
    for (Window* w : {&box, &panel, &canvas})
        w->orderFront();
    const std::vector<QWidget*> all{&canvas, &panel, &box};
    panel.hide();
    EXPECT_EQ(WindowStack::shared().order(), (std::vector<QWidget*>{&canvas, &box}));
    panel.show();
    EXPECT_EQ(WindowStack::shared().order(), all);
    panel.showMinimized();
    EXPECT_EQ(WindowStack::shared().order(), all) << "a minimised window left its level";
    panel.showNormal();
    EXPECT_EQ(WindowStack::shared().order(), all);
    for (Window* w : {&box, &panel, &canvas})
        w->closeFromCode();
    EXPECT_TRUE(WindowStack::shared().order().empty());
}

// Over a board nothing could bring back a window the window manager minimised: it is restored at
// once, or minimised its own way when it has one. Over the desktop it stays minimised.
TEST(WindowLevels, AWindowMinimisedOverABackdropComesBackOrGoesItsOwnWay) {
    testing_support::qtApp();
    Window canvas(Window::Style::Borderless), panel(Window::Style::Borderless),
        chat(Window::Style::Borderless);
    canvas.setLevel(level::kDrawingCanvas);
    panel.setLevel(level::kPanel);
    chat.setLevel(level::kPanel);
    int ownWays = 0;
    panel.shouldMiniaturizeOverBackdrop = [&] {
        ++ownWays;
        panel.orderOut();
        return true;
    };
    for (Window* w : {&canvas, &panel, &chat})
        w->orderFront();
    chat.showMinimized();
    panel.showMinimized();
    // Only the posted calls: a whole pass of events makes Qt's stand-in devices, which fail as this
    // program's lasting application ends.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    EXPECT_FALSE(chat.isMinimized());
    EXPECT_EQ(ownWays, 1);
    EXPECT_FALSE(panel.isVisible());

    canvas.closeFromCode();
    chat.showMinimized();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    EXPECT_TRUE(chat.isMinimized());
    EXPECT_EQ(ownWays, 1);
    chat.closeFromCode();
    panel.closeFromCode();
    EXPECT_TRUE(WindowStack::shared().order().empty());
}

TEST(WindowLevels, SheetsStayWithTheirWindowAndModalAlertsStandAboveThePanel) {
    testing_support::qtApp();
    Window panel(Window::Style::Borderless), chat(Window::Style::Borderless), lock(Window::Style::Borderless);
    panel.setLevel(level::kPanel);
    chat.setLevel(level::kPanel);
    lock.setLevel(level::kLockScreen);
    for (Window* w : {&lock, &panel, &chat})
        w->orderFront();
    QWidget sheet, modal;
    WindowStack::shared().track(&sheet, level::kPanel, &panel);
    WindowStack::shared().track(&modal, level::kModalAlert);
    sheet.show();
    modal.show();
    // Another window of the sheet's level brought forward leaves the sheet with its window.
    chat.orderFront();
    const std::vector<QWidget*> expected{&panel, &sheet, &modal, &chat, &lock};
    EXPECT_EQ(WindowStack::shared().order(), expected);
    sheet.hide();
    modal.hide();
    const std::vector<QWidget*> closed{&panel, &chat, &lock};
    EXPECT_EQ(WindowStack::shared().order(), closed);
    for (Window* w : {&lock, &panel, &chat})
        w->closeFromCode();
}

TEST(WindowLevels, LockAndOverlayBypassTheWindowManagerOtherLevelsDoNot) {
    testing_support::qtApp();
    for (const LevelEntry& entry : kWindowLevels) {
        Window window(Window::Style::Borderless);
        window.setLevel(entry.level);
        const bool bypass = entry.level == level::kLockScreen || entry.level == level::kBlinkOverlay;
        EXPECT_EQ(window.windowFlags().testFlag(Qt::X11BypassWindowManagerHint), bypass) << entry.windows;
        EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << entry.windows;
    }
}

// Only a window given a level stays above other programs; one without (permission, login) is an
// ordinary window, brought forward once when shown and never kept above the rest.
TEST(WindowLevels, OnlyWindowsWithALevelStayOnTop) {
    testing_support::qtApp();
    Window titled;
    Window borderless(Window::Style::Borderless);
    EXPECT_FALSE(titled.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(titled.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(borderless.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(borderless.windowFlags().testFlag(Qt::FramelessWindowHint));
    titled.orderFront();
    EXPECT_TRUE(WindowStack::shared().order().empty());
    titled.setLevel(level::kPanel);
    EXPECT_TRUE(titled.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(titled.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(titled.isVisible());
    EXPECT_EQ(WindowStack::shared().order(), std::vector<QWidget*>{&titled});
    titled.closeFromCode();
}

struct GeometryCase {
    const char* name;
    Frame frame;
    QRect screen;
    QRect qt;
};

TEST(Geometry, BottomLeftFramesConvertToQtAndBack) {
    const QRect screen(0, 0, 1440, 900);
    const std::vector<GeometryCase> cases{
        // The lock screen below a 24-point top panel.
        {"lock", {0, 0, 1440, 876}, screen, QRect(0, 24, 1440, 876)},
        // The main panel at the right edge.
        {"panel", {1255, 615, 185, 177}, screen, QRect(1255, 108, 185, 177)},
        // The overlay at (100, 100).
        {"overlay", {100, 100, 10, 10}, screen, QRect(100, 790, 10, 10)},
        // A primary screen that does not start at the origin of the virtual desktop.
        {"offset", {0, 0, 100, 50}, QRect(1920, 200, 1280, 800), QRect(1920, 950, 100, 50)},
        // Half points round to whole pixels.
        {"fraction", {10.5, 438.0, 480, 414}, screen, QRect(11, 48, 480, 414)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toQtGeometry(c.frame, c.screen), c.qt);
        const Frame back = fromQtGeometry(c.qt, c.screen);
        EXPECT_EQ(toQtGeometry(back, c.screen), c.qt);
    }
}

TEST(Geometry, WindowFrameRoundTripsOnThePrimaryScreen) {
    testing_support::qtApp();
    Window window(Window::Style::Borderless);
    const Frame frame{40, 60, 300, 200};
    window.setFrame(frame);
    EXPECT_EQ(window.frame(), frame);
    window.setFrameOrigin(70, 80);
    EXPECT_EQ(window.frame(), (Frame{70, 80, 300, 200}));
    EXPECT_GE(menuBarHeight(), 0.0);
}

TEST(Geometry, FramesAreMovedWhollyInsideTheVisibleArea) {
    const Frame visible{0, 0, 1440, 776}; // 1440 x 800 below a 24-point panel
    const std::vector<std::pair<Frame, Frame>> cases{
        {{720, 388, 480, 414}, {720, 362, 480, 414}},   // top past the panel: moved down
        {{1300, 100, 185, 177}, {1255, 100, 185, 177}}, // past the right edge: moved left
        {{-30, -20, 100, 100}, {0, 0, 100, 100}},       // past the left and bottom edges
        {{10, 10, 100, 100}, {10, 10, 100, 100}},       // inside: kept
        {{200, 50, 1600, 900}, {0, -124, 1600, 900}},   // larger: its top-left corner stays inside
    };
    for (const auto& [frame, fitted] : cases)
        EXPECT_EQ(fitInside(frame, visible), fitted) << frame.x << "," << frame.y;
}

// A window class as the later folders write them.
struct Journal {
    std::vector<std::string> events;
};

class JournalView : public ViewController {
public:
    explicit JournalView(Journal& journal) : m_journal(journal) {}
    void viewDidLoad() override {
        m_journal.events.push_back(view()->parentWidget() ? "viewDidLoad-placed" : "viewDidLoad-unplaced");
    }
    void viewDidAppear() override { m_journal.events.push_back("viewDidAppear"); }

private:
    Journal& m_journal;
};

class JournalWindow : public WindowController {
public:
    explicit JournalWindow(Journal& journal)
        : WindowController(std::make_unique<Window>(Window::Style::Borderless),
                           std::make_unique<JournalView>(journal)),
          m_journal(journal) {}
    ~JournalWindow() override { m_journal.events.push_back("destroyed"); }
    bool refuseUserClose = false;

protected:
    void windowDidLoad() override {
        window()->setLevel(level::kMessageBox);
        m_journal.events.push_back("windowDidLoad");
    }
    bool windowShouldClose() override {
        m_journal.events.push_back("shouldClose");
        return !refuseUserClose;
    }
    void windowDidClose() override { m_journal.events.push_back("didClose"); }

private:
    Journal& m_journal;
};

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::qtApp();
        WindowRegistry::registerFactory(storyboard::kMessageboxWindow,
                                        [this] { return std::make_shared<JournalWindow>(journal); });
    }
    void TearDown() override {
        WindowRegistry::closeAll();
        WindowRegistry::unregisterFactory(storyboard::kMessageboxWindow);
    }
    Journal journal;
};

TEST_F(Registry, InstantiateLoadsViewThenWindowAtOnce) {
    auto controller = WindowRegistry::instantiate(storyboard::kMessageboxWindow);
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->identifier(), "messageboxWindow");
    EXPECT_TRUE(controller->isWindowLoaded());
    EXPECT_EQ(journal.events, (std::vector<std::string>{"viewDidLoad-placed", "windowDidLoad"}));
    EXPECT_EQ(controller->window()->level(), level::kMessageBox);
    EXPECT_FALSE(controller->window()->isVisible());
}

TEST_F(Registry, UnknownIdentifierGivesNothing) {
    EXPECT_EQ(WindowRegistry::instantiate("noSuchWindow"), nullptr);
    EXPECT_TRUE(WindowRegistry::has("messageboxWindow"));
    EXPECT_FALSE(WindowRegistry::has("noSuchWindow"));
}

TEST_F(Registry, ShownWindowLivesWithoutOwnerUntilClosedFromCode) {
    std::weak_ptr<WindowController> weak;
    {
        auto controller = WindowRegistry::instantiate(storyboard::kMessageboxWindow);
        controller->showWindow();
        controller->showWindow(); // a second show neither re-loads nor re-appears
        weak = controller;
    }
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(WindowRegistry::openCount(), 1u);
    EXPECT_TRUE(weak.lock()->window()->isVisible());

    weak.lock()->close();
    EXPECT_EQ(WindowRegistry::openCount(), 0u);
    // Released after the close event unwound, on the next turn of the loop.
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(journal.events, (std::vector<std::string>{"viewDidLoad-placed", "windowDidLoad",
                                                        "viewDidAppear", "didClose", "destroyed"}));
}

TEST_F(Registry, UserCloseAsksControllerOrDelegateButCodeCloseNever) {
    auto controller =
        std::static_pointer_cast<JournalWindow>(WindowRegistry::instantiate(storyboard::kMessageboxWindow));
    controller->refuseUserClose = true;
    controller->showWindow();
    controller->window()->close(); // as the window manager's close button does
    EXPECT_TRUE(controller->isOpen());

    int delegateAsked = 0;
    controller->setCloseDelegate([&] {
        ++delegateAsked;
        return false;
    });
    controller->window()->close();
    EXPECT_EQ(delegateAsked, 1);
    EXPECT_TRUE(controller->isOpen());

    controller->close();
    EXPECT_EQ(delegateAsked, 1);
    EXPECT_FALSE(controller->isOpen());
    EXPECT_EQ(std::count(journal.events.begin(), journal.events.end(), "shouldClose"), 1);
}

// A borderless window has no close control: only a window manager sends it a user's close, and
// only an answer of the window's own lets it through. Closes from code always go.
TEST(CloseRequests, BorderlessWindowsCloseForAUserOnlyWhenTheirOwnerSaysSo) {
    testing_support::qtApp();
    enum class Answer { None, Refuse, Accept };
    struct Case {
        Window::Style style;
        Answer answer;
        bool withController;
        bool closes;
    };
    const Case cases[] = {
        {Window::Style::Borderless, Answer::None, false, false},
        {Window::Style::Titled, Answer::None, false, true},
        {Window::Style::Borderless, Answer::Accept, false, true},
        {Window::Style::Titled, Answer::Refuse, false, false},
        {Window::Style::Borderless, Answer::None, true, false},
        {Window::Style::Titled, Answer::None, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.style == Window::Style::Titled ? "titled" : "borderless") +
                     (c.withController ? " with a plain controller" : "") + " answer " +
                     std::to_string(static_cast<int>(c.answer)));
        auto controller = std::make_shared<WindowController>(std::make_unique<Window>(c.style), nullptr);
        if (c.withController)
            controller->showWindow();
        Window* window = controller->window();
        if (c.answer != Answer::None)
            window->shouldClose = [&c] { return c.answer == Answer::Accept; };
        window->orderFront();
        window->close(); // as a window manager's close request arrives
        EXPECT_EQ(window->isVisible(), !c.closes);
        window->closeFromCode();
        EXPECT_FALSE(window->isVisible());
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    }
}

// Counts the keys that reach it.
class KeyCounter : public QWidget {
public:
    using QWidget::QWidget;
    int keys = 0;

protected:
    void keyReleaseEvent(QKeyEvent*) override { ++keys; }
};

// While a window holds the input, keys meant for the agent's windows at or below its level are
// dropped (the covered panel cannot be worked blind) and windows above it keep theirs.
TEST(InputHold, KeysReachOnlyWindowsAboveTheHolderWhileItIsShown) {
    testing_support::qtApp();
    Window panel(Window::Style::Borderless), lock(Window::Style::Borderless), box(Window::Style::Titled);
    panel.setLevel(level::kPanel);
    lock.setLevel(level::kLockScreen);
    box.setLevel(level::kMessageBox);
    auto* panelKeys = new KeyCounter(&panel); // owned by the window
    auto* boxKeys = new KeyCounter(&box);
    lock.setHoldsInput(true);
    panel.orderFront();
    box.orderFront();
    // Key releases, with a keyboard of the test's own: a press goes through the shortcut map, which
    // makes Qt's stand-in keyboard, and that one fails as this program's lasting application ends.
    const QInputDevice keyboard(QStringLiteral("test keyboard"), 1, QInputDevice::DeviceType::Keyboard);
    auto type = [&keyboard](QWidget* target) {
        QKeyEvent key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 0, 0, 0, QStringLiteral("a"), false, 1,
                      &keyboard);
        QCoreApplication::sendEvent(target, &key);
    };
    type(panelKeys);
    EXPECT_EQ(panelKeys->keys, 1);
    EXPECT_EQ(lock.inputGrab(), nullptr);

    lock.orderFront();
    ASSERT_NE(lock.inputGrab(), nullptr);
    type(panelKeys);
    type(boxKeys);
    EXPECT_EQ(panelKeys->keys, 1);
    EXPECT_EQ(boxKeys->keys, 1);

    lock.orderOut();
    EXPECT_EQ(lock.inputGrab(), nullptr);
    type(panelKeys);
    EXPECT_EQ(panelKeys->keys, 2);
}

TEST(SeeThrough, TranslucentWhereCompositedOpaqueOtherwise) {
    testing_support::qtApp();
    Window window(Window::Style::Borderless);
    window.setSeeThrough(true, QColor(Qt::darkGray));
    EXPECT_EQ(window.isSeeThrough(), compositorRunning());
    EXPECT_EQ(window.testAttribute(Qt::WA_TranslucentBackground), compositorRunning());
    if (!compositorRunning()) {
        EXPECT_TRUE(window.autoFillBackground());
    }
    window.setIgnoresMouseEvents(true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowTransparentForInput));

    // Without a compositor a shaped fallback shows only the shape; with one the window stays whole.
    const QRegion dot(0, 9, 1, 1);
    Window shaped(Window::Style::Borderless);
    shaped.setSeeThrough(true, QColor(Qt::transparent), dot);
    EXPECT_EQ(shaped.mask(), compositorRunning() ? QRegion() : dot);
}

} // namespace
