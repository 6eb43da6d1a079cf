#include "platform/desktop/Alert.h"

#include "platform/desktop/Window.h"

#include <QAbstractButton>
#include <QPushButton>

namespace desktop {
namespace {

// Buttons of one role keep the order in which they were added.
constexpr QMessageBox::ButtonRole kButtonRole = QMessageBox::ActionRole;
constexpr const char* kResponseProperty = "olvexResponse";

} // namespace

std::unique_ptr<QMessageBox> makeAlert(const AlertContent& content, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(QMessageBox::Information);
    box->setText(QString::fromStdString(content.title));
    box->setInformativeText(QString::fromStdString(content.text));
    int response = kFirstButtonResponse;
    for (const auto& caption : content.buttons) {
        QPushButton* button = box->addButton(QString::fromStdString(caption), kButtonRole);
        button->setProperty(kResponseProperty, response++);
    }
    return box;
}

int alertResponse(const QMessageBox& box) {
    const QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        return kAbortResponse;
    bool ok = false;
    const int response = clicked->property(kResponseProperty).toInt(&ok);
    return ok ? response : kAbortResponse;
}

int runModalAlert(const AlertContent& content) {
    std::unique_ptr<QMessageBox> box = makeAlert(content);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    WindowStack::shared().track(box.get(), level::kModalAlert);
    box->exec();
    return alertResponse(*box);
}

QMessageBox* beginSheetAlert(const AlertContent& content, QWidget* window,
                             std::function<void(int response)> completion) {
    // Qt owns the box from here: it deletes itself once finished.
    QMessageBox* box = makeAlert(content, window).release();
    box->setAttribute(Qt::WA_DeleteOnClose, true);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // A sheet stands with its window (a sheet of the hidden centre window at that window's level).
    QWidget* owner = window ? window->window() : nullptr;
    const auto* agentWindow = dynamic_cast<const Window*>(owner);
    WindowStack::shared().track(box, agentWindow ? agentWindow->level() : level::kModalAlert, owner);
    QObject::connect(box, &QMessageBox::finished, box, [box, completion = std::move(completion)](int) {
        if (completion)
            completion(alertResponse(*box));
    });
    box->open();
    return box;
}

} // namespace desktop
