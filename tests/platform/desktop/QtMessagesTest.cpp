// Qt's own messages land in the agent's log with their kind and category, and nothing of them
// reaches standard error.
#include "platform/desktop/QtMessages.h"

#include "platform/Log.h"
#include "platform/ManualRunLoop.h"
#include "platform/PlatformTestSupport.h"
#include "platform/desktop/Application.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

Q_LOGGING_CATEGORY(lcXcbLike, "qt.qpa.xcb")

// Standard error sent to a file for the life of the object, then read back.
class CapturedStderr {
public:
    CapturedStderr() {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        m_file = std::tmpfile();
        ::dup2(::fileno(m_file), STDERR_FILENO);
    }
    ~CapturedStderr() {
        restore();
        std::fclose(m_file);
    }
    std::string text() {
        restore();
        std::string out;
        std::rewind(m_file);
        char buffer[256];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, m_file))
            out.append(buffer, n);
        return out;
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    int m_saved = -1;
    std::FILE* m_file = nullptr;
};

TEST(QtMessages, GoIntoTheLogWithTheirCategoryNotOntoStandardError) {
    struct Case {
        const char* name;
        void (*raise)();
        std::string line;
    };
    const std::vector<Case> cases{
        {"a platform plugin warning",
         [] { qCWarning(lcXcbLike, "Unhandled client message: \"%s\"", "_KDE_WM_CHANGE_STATE"); },
         "[ZQ]Qt warning (qt.qpa.xcb): Unhandled client message: \"_KDE_WM_CHANGE_STATE\""},
        {"a warning without a category", [] { qWarning("QStandardPaths: XDG_RUNTIME_DIR not set"); },
         "[ZQ]Qt warning (default): QStandardPaths: XDG_RUNTIME_DIR not set"},
        {"a critical message", [] { qCritical("out of %d", 3); }, "[ZQ]Qt critical (default): out of 3"},
    };
    std::vector<std::string> logged;
    platform::setLogSink([&](const std::string& line) { logged.push_back(line); });
    // The agent's own application object, as it starts: the only one of this process.
    static int argc = 1;
    static char name[] = "olvex-student";
    static char* argv[] = {name, nullptr};
    desktop::Application application(argc, argv);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logged.clear();
        CapturedStderr errors;
        c.raise();
        EXPECT_EQ(errors.text(), "");
        EXPECT_NE(std::find(logged.begin(), logged.end(), c.line), logged.end());
    }
    qInstallMessageHandler(nullptr);
    platform::setLogSink({});
}

// Qt warns about what it is handed, and a console hands it pictures without end: a few lines a
// second of each category reach the log, the next line counting those held back.
TEST(QtMessages, AFloodOfOneCategoryIsHeldToAFewLinesASecond) {
    constexpr int kWarnings = 10'000;
    constexpr std::size_t kFewLines = 5;
    platform::ManualRunLoop loop;
    loop.install();
    std::vector<std::string> logged;
    platform::setLogSink([&](const std::string& line) { logged.push_back(line); });
    desktop::installQtMessageHandler();
    for (int i = 0; i < kWarnings; ++i)
        qCWarning(lcXcbLike, "QImage: out of memory, returning null image");
    EXPECT_LE(logged.size(), kFewLines);
    qWarning("another category still speaks");
    EXPECT_NE(logged.back().find("another category"), std::string::npos);
    loop.advance(1.0);
    qCWarning(lcXcbLike, "QImage: out of memory, returning null image");
    EXPECT_EQ(platform::testing::faultsLogged(logged, "out of memory"), kWarnings + 1u);
    qInstallMessageHandler(nullptr);
    platform::setLogSink({});
}

} // namespace
