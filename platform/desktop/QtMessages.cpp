#include "platform/desktop/QtMessages.h"

#include "platform/Log.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
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

void logQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string line = qtMessageLine(type, context.category, text);
    platform::logLine(line);
    if (type == QtFatalMsg) {
        // Qt aborts right after a fatal message: the one line the person at the terminal needs.
        std::fprintf(stderr, "%s\n", line.c_str());
        platform::flushLog();
    }
}

} // namespace

void installQtMessageHandler() {
    qInstallMessageHandler(&logQtMessage);
}

} // namespace desktop
