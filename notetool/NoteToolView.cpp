#include "notetool/NoteToolView.h"

#include "client/GlobalConfig.h"
#include "notetool/NoteToolEvents.h"
#include "panel/AppDelegate.h"
#include "panel/CGColorHex.h"
#include "panel/MainViewController.h"
#include "panel/MainWindow.h"
#include "panel/MessageboxWindow.h"
#include "panel/PanelEvents.h"
#include "platform/LocalizedStrings.h"
#include "platform/MainQueue.h"
#include "platform/desktop/Images.h"

#include <QAction>
#include <QLabel>
#include <QVariant>

namespace notetool {
namespace {

constexpr const char* kImageProperty = "olvexImage";
constexpr int kButtonSide = 36;
constexpr int kColumn[] = {8, 52, 96, 140};
constexpr int kHeaderY = 6;
constexpr int kHeaderHeight = 28;
constexpr int kModeRowY = 42;
constexpr int kScreenRowY = 90;
constexpr int kRowStep = 44;
constexpr int kDropY = 84;
constexpr int kDropWidth = 80;
constexpr int kDropHeight = 60;
constexpr int kGroupInsetY = 8;
constexpr int kControlHeight = kShortHeight - panel::MainViewController::kTitleHeight;
constexpr int kDrawHeight = 4 * kRowStep + kGroupInsetY;
constexpr int kEtcHeight = kRowStep + kGroupInsetY;
constexpr int kTitleWidth = 84;

constexpr std::uint32_t kControlColour = 0x92A1C4;
constexpr std::uint32_t kDrawColour = 0xE1E1E1;

void fill(QWidget* view, const QColor& colour) {
    view->setAutoFillBackground(true);
    QPalette pal = view->palette();
    pal.setColor(QPalette::Window, colour);
    view->setPalette(pal);
}

} // namespace

NoteToolView::NoteToolView(QWidget* parent, platform::NotificationCenter& center)
    : QWidget(parent), m_pNotificationCenter(center), m_observers(center),
      m_lifetime(std::make_shared<int>(0)),
      m_settingsHandle(m_lifetime, static_cast<panel::NoteToolSettings*>(this)), m_self(this) {
    setObjectName(kObjectName);
    setFixedWidth(kPanelWidth);
    m_controlView = new QWidget(this);
    m_drawView = new QWidget(this);
    m_etcView = new QWidget(this);
    layoutGroups();

    m_tfMemberName = new QLabel(m_controlView);
    m_tfMemberName->setGeometry(kColumn[0], kHeaderY, kTitleWidth, kHeaderHeight);
    m_btnMinimize =
        addButton(m_controlView, "m_btnMinimize", kMinimizeX, kHeaderY, [this] { onClickMinimize(); });
    m_btnClose = addButton(m_controlView, "m_btnClose", kCloseX, kHeaderY, [this] { onClickClose(); });
    m_btnMinimize->setFixedHeight(kHeaderHeight);
    m_btnClose->setFixedHeight(kHeaderHeight);
    m_btnMac = addButton(m_controlView, "m_btnMac", kColumn[0], kModeRowY, [this] { onClickMacMode(); });
    m_btnCaptureBoard = addButton(m_controlView, "m_btnCaptureBoard", kColumn[1], kModeRowY,
                                  [this] { onClickCaptureBoardMode(); });
    m_btnWhiteBoard = addButton(m_controlView, "m_btnWhiteBoard", kColumn[2], kModeRowY,
                                [this] { onClickWhiteBoardMode(); });
    m_btnShareBoard = addButton(m_controlView, "m_btnShareBoard", kColumn[3], kModeRowY,
                                [this] { onClickScreenShareBoardMode(); });
    m_btnScreenUpload = addButton(m_controlView, "m_btnScreenUpload", kColumn[0], kScreenRowY,
                                  [this] { onClickScreenUpload(); });
    m_btnScreenShare = addButton(m_controlView, "m_btnScreenShare", kColumn[1], kScreenRowY,
                                 [this] { onClickScreenShare(); });

    const char* tools[] = {"m_btnPen", "m_btnErase", "m_btnEraseAll"};
    addButton(m_drawView, tools[0], kColumn[0], kGroupInsetY, [this] { onClickPenMode(); });
    addButton(m_drawView, tools[1], kColumn[1], kGroupInsetY, [this] { onClickEraseMode(); });
    addButton(m_drawView, tools[2], kColumn[2], kGroupInsetY, [this] { onClickEraseAllMode(); });
    for (int i = 0; i < kThicknessButtons; ++i)
        addButton(m_drawView, "m_btnThickness" + std::to_string(i + 1), kColumn[i], kGroupInsetY + kRowStep,
                  [this, i] { onClickThickness(i); });
    for (int i = 0; i < kColourButtons; ++i)
        addButton(m_drawView, NoteToolModel::colourOutlet(i), kColumn[i % 4],
                  kGroupInsetY + kRowStep * (2 + i / 4), [this, i] { onClickColor(i); });
    m_btnBlendOption =
        addButton(m_etcView, "m_btnBlendOption", kColumn[0], kGroupInsetY, [this] { onClickBlendMode(); });
    m_btnSaveImage =
        addButton(m_etcView, "m_btnSaveImage", kColumn[1], kGroupInsetY, [this] { onClickBoardSave(); });
    setImage(m_btnClose, "btn_close_normal");
    setImage(m_btnMinimize, "btn_minimize_normal");
    setImage(m_btnScreenUpload, "btn_upscreen_normal");
    setImage(m_btnScreenShare, "note_sharescreen");
    setImage(m_btnShareBoard, "note_sb");
    applyModeImages(mode::kPointer);
}

NoteToolView::~NoteToolView() {
    m_observers.removeAll();
}

void NoteToolView::layoutGroups() {
    m_controlView->setGeometry(0, 0, kPanelWidth, kControlHeight);
    m_drawView->setGeometry(0, kControlHeight, kPanelWidth, kDrawHeight);
    m_etcView->setGeometry(0, kControlHeight + kDrawHeight, kPanelWidth, kEtcHeight);
}

QPushButton* NoteToolView::addButton(QWidget* parent, const std::string& outletName, int x, int y,
                                     std::function<void()> action) {
    auto* button = new QPushButton(parent); // a Qt child of its group
    button->setObjectName(QString::fromStdString(outletName));
    button->setGeometry(x, y, kButtonSide, kButtonSide);
    button->setIconSize(QSize(kButtonSide, kButtonSide));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    connect(button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
    m_outlets[outletName] = button;
    return button;
}

void NoteToolView::setImage(QPushButton* button, const std::string& image) {
    if (!button)
        return;
    button->setProperty(kImageProperty, QString::fromStdString(image));
    button->setIcon(desktop::images::icon(image));
}

NoteToolView* NoteToolView::in(QWidget* window) {
    // Found by name: the panel declares no meta-object of its own, so findChild cannot tell it by type.
    return window ? dynamic_cast<NoteToolView*>(window->findChild<QWidget*>(kObjectName)) : nullptr;
}

QPushButton* NoteToolView::outlet(const std::string& name) const {
    auto it = m_outlets.find(name);
    return it == m_outlets.end() ? nullptr : it->second;
}

std::string NoteToolView::imageOf(const QPushButton* button) {
    return button ? button->property(kImageProperty).toString().toStdString() : std::string();
}

void NoteToolView::noteToolView(panel::MainViewController& controller) {
    m_mainView = &controller;
    controller.setCloseButton(m_btnClose);
    controller.setMinimizeButton(m_btnMinimize);
    setUpTitleAndGroups();
    observeBoards();
    observeTeacher();
    m_model.setUp();
    initialButtons();
    client::GlobalConfig::shared().setIsMinimizeEnabled(false);
    placeFileDrop(controller);
    addTitleMenu(controller);
    controller.setNoteToolView(m_settingsHandle);
    controller.setMoveEnabledQuery([this] { return m_model.isMoveEnabled(); });
}

void NoteToolView::setUpTitleAndGroups() {
    m_tfMemberName->setText(QString::fromStdString(platform::localizedString("ZQ_WRITING_TOOL")));
    fill(m_controlView, CGColorHex::getCGColorHexByView(kControlColour));
    fill(m_drawView, CGColorHex::getCGColorHexByDrawView(kDrawColour));
    fill(m_etcView, CGColorHex::getCGColorHexByView(kControlColour));
    m_drawView->hide();
    m_etcView->hide();
}

void NoteToolView::observeBoards() {
    observe(events::kCaptureBoardPressed,
            [this](const platform::Notification& n) { callbackReceivedCaptureboard(n); });
    observe(events::kWhiteBoardPressed,
            [this](const platform::Notification& n) { callbackReceivedWhiteboard(n); });
}

void NoteToolView::observeTeacher() {
    auto status = [this](void (NoteToolView::*handler)(const std::string&)) {
        return [this, handler](const platform::Notification& note) {
            const std::string* text = note.entry(client::events::kKeyStatus);
            if (!text)
                return;
            const std::string value = *text;
            teacherEffect([handler, value](NoteToolView& view) { (view.*handler)(value); });
        };
    };
    observe(client::events::kShareNoteToolStatus, status(&NoteToolView::callbackReceivedShareNoteToolStatus));
    observe(client::events::kScreenUploadStatus, status(&NoteToolView::callbackReceivedScreenUploadStatus));
    observe(client::events::kShareScreenStatus, status(&NoteToolView::callbackReceivedShareScreenStatus));
    observe(client::events::kDisabledX, [this](const platform::Notification&) {
        teacherEffect([](NoteToolView& view) { view.callbackReceivedDisabledX(); });
    });
    observe(client::events::kEnabledX, [this](const platform::Notification&) {
        teacherEffect([](NoteToolView& view) { view.callbackReceivedEnabledX(); });
    });
    observe(client::events::kNoteSaveMode,
            [this](const platform::Notification& n) { callbackReceivedNoteSaveMode(n); });
    observe(client::events::kNoteToolShowHide,
            [this](const platform::Notification& n) { callbackReceivedNoteToolShowHide(n); });
    observe(client::events::kNoteToolLock,
            [this](const platform::Notification& n) { callbackNotetoolLock(n); });
}

void NoteToolView::initialButtons() {
    setImage(outlet("m_btnPen"), "pencil_pressed.png");
    setImage(outlet("m_btnErase"), "erase_normal.png");
    setImage(outlet("m_btnEraseAll"), "erase_all_normal.png");
    setImage(outlet("m_btnThickness1"), "thickness1_pressed.png");
    for (int i = 1; i < kThicknessButtons; ++i)
        setImage(outlet("m_btnThickness" + std::to_string(i + 1)),
                 NoteToolModel::thicknessImage(i, 0) + ".png");
    setImage(outlet("m_btnColorBlack"), "color_black_normal.png");
    setImage(outlet("m_btnColorRed"), "color_red_pressed.png");
    // The colours after black and red start unselected.
    for (int i = 2; i < kColourButtons; ++i)
        setImage(outlet(NoteToolModel::colourOutlet(i)), NoteToolModel::colourImage(i, kDefaultColour));
    setImage(m_btnBlendOption, "blend_type_normal.png");
    setImage(m_btnSaveImage, "save_normal.png");
}

void NoteToolView::placeFileDrop(panel::MainViewController& controller) {
    // The file drop target sits beside the screen buttons.
    if (QWidget* drop = controller.fileDropView()) {
        drop->setParent(m_controlView);
        drop->setGeometry(kColumn[2], kDropY, kDropWidth, kDropHeight);
        drop->show();
    }
}

void NoteToolView::addTitleMenu(panel::MainViewController& controller) {
    // The application menu's one student action, on the panel's title; its debug actions are not
    // offered in the program students run.
    QWidget* title = controller.titleView();
    if (!title)
        return;
    auto* openNotes =
        new QAction(QString::fromStdString(platform::localizedString("ZQ_MENU_NOTE_OPEN")), title);
    openNotes->setObjectName("onClickNoteOpen");
    connect(openNotes, &QAction::triggered, title, [] { panel::AppDelegate::shared().onClickNoteOpen(); });
    title->addAction(openNotes);
    title->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void NoteToolView::observe(const char* name, std::function<void(const platform::Notification&)> handler) {
    m_observers.add(name, nullptr, std::move(handler));
}

void NoteToolView::onMainQueue(std::function<void(NoteToolView&)> work) {
    QPointer<NoteToolView> self = m_self;
    platform::mainQueue::async([self, work = std::move(work)] {
        if (self)
            work(*self);
    });
}

void NoteToolView::teacherEffect(std::function<void(NoteToolView&)> work) {
    // The main queue keeps the arrival order; the list keeps it across a board being opened.
    onMainQueue([work = std::move(work)](NoteToolView& view) {
        view.m_teacherEffects.push_back(work);
        view.runTeacherEffects();
    });
}

void NoteToolView::runTeacherEffects() {
    while (m_nOpeningRequest == 0 && !m_teacherEffects.empty()) {
        auto work = std::move(m_teacherEffects.front());
        m_teacherEffects.pop_front();
        work(*this);
    }
}

void NoteToolView::boardOpeningEnded(int request) {
    // A newer capture request keeps the effects waiting for its own opening.
    if (m_nOpeningRequest != request)
        return;
    m_nOpeningRequest = 0;
    runTeacherEffects();
}

int NoteToolView::getMode() const {
    auto* window = dynamic_cast<panel::MainWindowController*>(
        panel::AppDelegate::shared().getMainWindowController().get());
    return window ? window->getMode() : m_model.getMode();
}

void NoteToolView::setMode(int mode) {
    if (auto* window = dynamic_cast<panel::MainWindowController*>(
            panel::AppDelegate::shared().getMainWindowController().get()))
        window->setMode(mode);
}

void NoteToolView::setWrite(bool written) {
    if (written)
        m_model.inkWritten();
    else
        m_model.inkDropped();
}

void NoteToolView::initPencilTool() {
    const int toolMode = m_model.getToolMode();
    if (toolMode < tool::kPen || toolMode > tool::kEraseAll)
        return;
    const char* outlets[] = {"m_btnPen", "m_btnErase", "m_btnEraseAll"};
    for (int i = 0; i < 3; ++i)
        setImage(outlet(outlets[i]), NoteToolModel::toolImage(i, toolMode));
}

void NoteToolView::initThicknessTool() {
    const int thicknessMode = m_model.getThicknessMode();
    if (thicknessMode < 0 || thicknessMode >= kThicknessButtons)
        return;
    for (int i = 0; i < kThicknessButtons; ++i)
        setImage(outlet("m_btnThickness" + std::to_string(i + 1)),
                 NoteToolModel::thicknessImage(i, thicknessMode));
}

void NoteToolView::initColorPicker() {
    const int colorMode = m_model.getColorMode();
    if (colorMode < 0 || colorMode >= kColourButtons)
        return;
    for (int i = 0; i < kColourButtons; ++i)
        setImage(outlet(NoteToolModel::colourOutlet(i)), NoteToolModel::colourImage(i, colorMode));
}

void NoteToolView::onClickPenMode() {
    m_model.selectTool(tool::kPen);
    initPencilTool();
}

void NoteToolView::onClickEraseMode() {
    m_model.selectTool(tool::kEraser);
    initPencilTool();
}

void NoteToolView::onClickEraseAllMode() {
    m_model.selectTool(tool::kEraseAll);
    initPencilTool();
    const bool teacherClears = m_model.eraseAll();
    initPencilTool();
    m_pNotificationCenter.post(events::kCaptureBoardRemoveAll);
    if (teacherClears)
        m_pNotificationCenter.post(panel::events::kShareBoardRemoveAll);
}

void NoteToolView::onClickThickness(int thicknessMode) {
    m_model.selectThickness(thicknessMode);
    initThicknessTool();
}

void NoteToolView::onClickColor(int colorMode) {
    m_model.selectColour(colorMode);
    initColorPicker();
}

void NoteToolView::onClickBlendMode() {
    setImage(m_btnBlendOption, m_model.toggleBlend() ? "blend_type_selected" : "blend_type_normal");
}

void NoteToolView::applyModeImages(int mode) {
    const ModeImages images = NoteToolModel::modeImages(mode);
    setImage(m_btnMac, images.pointer);
    setImage(m_btnCaptureBoard, images.captureBoard);
    setImage(m_btnWhiteBoard, images.whiteBoard);
    if (images.shareBoard)
        setImage(m_btnShareBoard, images.shareBoard);
    else if (m_btnShareBoard->isEnabled())
        setImage(m_btnShareBoard, "note_sb");
}

void NoteToolView::showGroups(int mode) {
    m_drawView->setVisible(NoteToolModel::drawGroupShown(mode));
    m_etcView->setVisible(NoteToolModel::etcGroupShown(mode));
}

PanelFrame NoteToolView::panelFrame() const {
    auto* agentWindow = dynamic_cast<const desktop::Window*>(window());
    if (!agentWindow)
        return {};
    const desktop::Frame f = agentWindow->frame();
    return {f.x, f.y, f.width, f.height};
}

void NoteToolView::setPanelFrame(const PanelFrame& frame) {
    auto* agentWindow = dynamic_cast<desktop::Window*>(window());
    if (!agentWindow)
        return;
    agentWindow->setFrame(desktop::Frame{frame.x, frame.y, frame.width, frame.height});
}

void NoteToolView::showMessagebox(const std::string& text, float closeTime, int msgLv) {
    constexpr int kHiddenButton = 1;
    panel::showMessagebox(text, closeTime, msgLv, kHiddenButton);
}

} // namespace notetool
