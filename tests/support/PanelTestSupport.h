// Shared set-up of the window suites (the Qt application is made by support/WindowTestMain.cpp,
// offscreen), a virtual main clock, a known screen (1440 x 900 points, 24-point menu bar), the
// windows of the panel, the chat and file transfer registered, the process's end caught by a hook,
// and every window closed afterwards.
#pragma once

#include "chat/MessageWindow.h"
#include "panel/AppDelegate.h"
#include "panel/PanelWindows.h"
#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/ProcessInfo.h"
#include "platform/Screens.h"
#include "platform/desktop/Images.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/WindowController.h"
#include "transfer/PanelTransfers.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace paneltest {

constexpr double kScreenWidth = 1440;
constexpr double kScreenHeight = 900;
constexpr double kMenuBar = 24;

class WindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_loop.install();
        platform::screens::setInfo({kScreenWidth, kScreenHeight, kMenuBar, {1.0}});
        panel::registerPanelWindows();
        transfer::registerTransferWindows();
        chat::registerChatWindows();
        platform::setTerminateHook([this](int status) { m_exits.push_back(status); });
        platform::setLogSink([this](const std::string& line) { m_logged.push_back(line); });
    }
    void TearDown() override {
        desktop::WindowRegistry::closeAll();
        panel::AppDelegate::shared().resetForTesting();
        platform::setTerminateHook({});
        platform::setLogSink({});
        QApplication::processEvents();
    }

    // Open agent windows at a level, bottom to top.
    static std::vector<desktop::Window*> openWindows(int level) {
        std::vector<desktop::Window*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* window = dynamic_cast<desktop::Window*>(w);
            if (window && window->isVisible() && window->level() == level)
                found.push_back(window);
        }
        return found;
    }
    static QString labelText(QWidget* window) {
        QString text;
        for (QLabel* label : window->findChildren<QLabel*>())
            text += label->text();
        return text;
    }
    static QPushButton* button(QWidget* window) { return window->findChild<QPushButton*>(); }
    // The icon a message box shows, told by its picture: "messagebox_info", "messagebox_caution",
    // or "" for neither.
    static std::string boxIcon(QWidget* box) {
        for (QLabel* label : box->findChildren<QLabel*>()) {
            const QPixmap shown = label->pixmap();
            if (shown.isNull())
                continue;
            for (const char* name : {"messagebox_info", "messagebox_caution"}) {
                const QPixmap icon = desktop::images::named(name, shown.deviceIndependentSize().toSize(),
                                                            shown.devicePixelRatio());
                if (!icon.isNull() && icon.toImage() == shown.toImage())
                    return name;
            }
        }
        return {};
    }

    // The lines logged from index `from` on, without the warning the offscreen platform gives at
    // every raise of a window (an X server gives none).
    std::vector<std::string> agentLines(std::size_t from = 0) const {
        std::vector<std::string> lines;
        for (std::size_t i = from; i < m_logged.size(); ++i)
            if (m_logged[i].find("This plugin does not support raise()") == std::string::npos)
                lines.push_back(m_logged[i]);
        return lines;
    }

    platform::ManualRunLoop m_loop;
    std::vector<int> m_exits;
    std::vector<std::string> m_logged;
};

} // namespace paneltest
