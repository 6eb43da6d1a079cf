#include "platform/desktop/QtMessages.h"

#include "platform/Log.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace desktop {
namespace {

const char* kindName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "message";
}

std::string qtMessageLine(QtMsgType type, const char* category, const QString& text) {
    std::string line = "[ZQ]Qt ";
    line += kindName(type);
    line += " (";
    line += category && *category ? category : "default";
    line += "): ";
    line += text.toStdString();
    return line;
}

// Qt warns about what it is handed, and what the agent hands it can come from the console (a picture
// of a strip, a size): each category is held to a few lines a second, the next line let through
// counting those held back. Categories are Qt's own names, a fixed few, so the map stays small.
constexpr int kQtLinesPerSecond = 5;

platform::LogRateLimit& limitFor(const char* category) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<platform::LogRateLimit>> limits;
    std::lock_guard<std::mutex> lock(mutex);
    auto& limit = limits[category && *category ? category : ""];
    if (!limit)
        limit = std::make_unique<platform::LogRateLimit>(kQtLinesPerSecond);
    return *limit;
}

void logQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string line = qtMessageLine(type, context.category, text);
    if (type != QtFatalMsg) {
        limitFor(context.category).logf("%s", line.c_str());
        return;
    }
    // Qt aborts right after a fatal message: the one line the person at the terminal needs.
    platform::logLine(line);
    std::fprintf(stderr, "%s\n", line.c_str());
    platform::flushLog();
}

} // namespace

void installQtMessageHandler() {
    qInstallMessageHandler(&logQtMessage);
}

} // namespace desktop
