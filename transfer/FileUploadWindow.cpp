#include "transfer/FileUploadWindow.h"

#include "platform/Screens.h"
#include "transfer/TransferEvents.h"

#include <QVBoxLayout>
#include <cstdlib>

namespace transfer {
namespace {

constexpr int kWindowWidth = 360;
constexpr int kWindowHeight = 90;
constexpr int kMargin = 14;
// Centred near the top of the screen, clear of the panel at the right edge.
constexpr double kTopInset = 60;

// A number text as its float reading, truncated (the bar counts whole pieces).
int intValue(const platform::Dictionary* d, const char* key) {
    const std::string* text = platform::dictionaryEntry(d, key);
    return text ? static_cast<int>(std::strtof(text->c_str(), nullptr)) : 0;
}

} // namespace

FileUploadViewController::FileUploadViewController(platform::NotificationCenter& center)
    : m_observers(center) {}

std::unique_ptr<QWidget> FileUploadViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* column = new QVBoxLayout(view.get()); // Qt children: owned by the view
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_tfFileName = new QLabel;
    m_tfFileName->setTextFormat(Qt::PlainText);
    m_progressbar = new QProgressBar;
    m_progressbar->setTextVisible(false);
    column->addWidget(m_tfFileName);
    column->addWidget(m_progressbar);
    return view;
}

void FileUploadViewController::viewDidLoad() {
    m_observers.add(events::kSendFileDataStart, nullptr,
                    [this](const platform::Notification& note) { callbackOnSendFileStart(note); });
    m_observers.add(events::kSendedServerFileData, nullptr,
                    [this](const platform::Notification& note) { callbackOnSendedFile(note); });
    m_observers.add(events::kFileUploadViewClose, nullptr,
                    [this](const platform::Notification& note) { callbackOnClose(note); });
    m_progressbar->setRange(0, kInitialMax);
    m_progressbar->show();
}

void FileUploadViewController::callbackOnSendFileStart(const platform::Notification& note) {
    const platform::Dictionary* d = note.dictionary();
    initFileUploader(intValue(d, events::kKeyFileMin), intValue(d, events::kKeyFileMax),
                     platform::dictionaryValue(d, events::kKeyFileName));
}

void FileUploadViewController::callbackOnSendedFile(const platform::Notification& note) {
    const platform::Dictionary* d = note.dictionary();
    updateFileUploader(intValue(d, events::kKeyFileMin), intValue(d, events::kKeyFileMax),
                       platform::dictionaryValue(d, events::kKeyFileName));
}

void FileUploadViewController::callbackOnClose(const platform::Notification&) {
    if (desktop::WindowController* owner = windowController())
        owner->close();
}

void FileUploadViewController::initFileUploader(int min, int max, const std::string& fName) {
    m_tfFileName->setText(QString::fromStdString(fName));
    setMinValue(min);
    setMaxValue(max);
    m_progressbar->setValue(min);
}

void FileUploadViewController::updateFileUploader(int value, int max, const std::string& fName) {
    m_tfFileName->setText(QString::fromStdString(fName));
    setMaxValue(max);
    m_progressbar->setValue(value);
}

void FileUploadViewController::setMinValue(int value) {
    m_progressbar->setMinimum(value);
}

void FileUploadViewController::setMaxValue(int value) {
    m_progressbar->setMaximum(value);
}

FileUploadWindowController::FileUploadWindowController()
    : desktop::WindowController(std::make_unique<desktop::Window>(desktop::Window::Style::Titled),
                                std::make_unique<FileUploadViewController>()) {}

void FileUploadWindowController::windowDidLoad() {
    window()->setLevel(desktop::level::kPanel);
    const double x = (platform::screens::clientWidth() - kWindowWidth) / 2.0;
    const double y =
        platform::screens::clientHeight() - platform::screens::menuBarHeight() - kWindowHeight - kTopInset;
    window()->setFrame({x, y, kWindowWidth, kWindowHeight});
}

void FileUploadWindowController::windowDidClose() {
    static_cast<FileUploadViewController*>(contentViewController())->stopObserving();
}

void registerFileUploadWindow() {
    desktop::WindowRegistry::registerFactory(desktop::storyboard::kFileUploaderWindow,
                                             [] { return std::make_shared<FileUploadWindowController>(); });
}

} // namespace transfer
