#include "notetool/NoteToolWindows.h"

#include "notetool/CanvasWindow.h"
#include "notetool/MinimizeWindow.h"
#include "notetool/NoteToolView.h"
#include "notetool/ScreenStill.h"
#include "panel/MainViewController.h"

#include <QVBoxLayout>

namespace notetool {

void registerNoteToolWindows() {
    registerCanvasWindow();
    registerMinimizeWindow();
    panel::MainViewController::setScreenStillSource([] { return grabScreenStill(); });
    panel::MainViewController::setNoteToolInstaller([](panel::MainViewController& controller, QWidget* area) {
        if (!area)
            return;
        auto* layout = area->layout() ? area->layout() : new QVBoxLayout(area); // owned by the area
        layout->setContentsMargins(0, 0, 0, 0);
        auto* panelView = new NoteToolView(area); // a Qt child of the area
        layout->addWidget(panelView);
        panelView->noteToolView(controller);
    });
}

} // namespace notetool
