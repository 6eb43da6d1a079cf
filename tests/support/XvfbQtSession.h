// A Qt application on a private Xvfb, for the tests that draw real windows and keep screenshots:
// the server, the environment Qt reads at start, the application and the main queue on Qt's event
// loop, made in that order and torn down in reverse, so Qt closes its display connection before the
// server goes. Main thread; one session per test.
#pragma once

#include "platform/desktop/Application.h"
#include "platform/desktop/QtRunLoop.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace testsupport {

class XvfbQtSession {
public:
    static constexpr const char* kGeometry = "1280x800x24";

    // configHome becomes XDG_CONFIG_HOME, so the settings suite stays inside the build folder.
    explicit XvfbQtSession(const char* configHome, const char* geometry = kGeometry) {
        if (!streaming::test::XvfbServer::installed()) {
            m_skipReason = "Xvfb is not installed";
            return;
        }
        m_server = std::make_unique<streaming::test::XvfbServer>(geometry);
        if (m_server->display().empty()) {
            m_skipReason = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", m_server->display().c_str(), 1);
        setenv("XDG_CONFIG_HOME", configHome, 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        m_app = std::make_unique<QApplication>(s_argc, s_argv);
        m_mainQueue = std::make_unique<desktop::QtRunLoop>();
        m_mainQueue->install();
        desktop::Application::refreshScreens();
    }

    XvfbQtSession(const XvfbQtSession&) = delete;
    XvfbQtSession& operator=(const XvfbQtSession&) = delete;

    // Empty when the session stands; otherwise why the test should be skipped.
    const std::string& skipReason() const { return m_skipReason; }

    // The whole screen as the X server shows it, written as a PNG into dir; false when it failed.
    static bool saveScreen(const std::filesystem::path& dir, const std::string& name) {
        std::filesystem::create_directories(dir);
        QApplication::processEvents();
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        return !shot.isNull() && shot.save(QString::fromStdString((dir / name).string()), "PNG");
    }

private:
    // QApplication keeps references to its arguments for its whole life.
    static inline int s_argc = 1;
    static inline char s_name[] = "olvex-xvfb-test";
    static inline char* s_argv[] = {s_name, nullptr};

    std::string m_skipReason;
    std::unique_ptr<streaming::test::XvfbServer> m_server;
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<desktop::QtRunLoop> m_mainQueue;
};

} // namespace testsupport
