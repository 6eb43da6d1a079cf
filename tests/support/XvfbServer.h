// Starts a private Xvfb server for a test and stops it again. The server picks a free display
// number itself (-displayfd), so parallel test runs never collide.
#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace streaming::test {

class XvfbServer {
public:
    static constexpr int kStartTimeoutMs = 15000;

    static bool installed() {
        const char* path = std::getenv("PATH");
        std::string paths = path != nullptr ? path : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= paths.size()) {
            const std::size_t end = paths.find(':', start);
            const std::string dir =
                paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!dir.empty() && access((dir + "/Xvfb").c_str(), X_OK) == 0) {
                return true;
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
        return false;
    }

    // Starts "Xvfb -screen 0 <geometry> -nolisten tcp -noreset"; display() is empty when it failed.
    // Without -noreset the server wipes the screen whenever its last client disconnects.
    explicit XvfbServer(const std::string& geometry = "1280x720x24") {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb",   "-displayfd", fd,    "-screen", "0",
                                         geometry, "-nolisten",  "tcp", "-noreset"};
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int devNull = open("/dev/null", O_WRONLY);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        close(fds[1]);
        if (m_pid > 0) {
            m_display = readDisplay(fds[0]);
        }
        close(fds[0]);
    }

    ~XvfbServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }

    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& display() const { return m_display; }
    pid_t pid() const { return m_pid; }

private:
    // Xvfb writes its display number and a line feed once it accepts connections.
    static std::string readDisplay(int fd) {
        std::string number;
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, kStartTimeoutMs) <= 0) {
                return {};
            }
            char c = 0;
            if (read(fd, &c, 1) != 1) {
                return {};
            }
            if (c == '\n') {
                return number.empty() ? std::string() : ":" + number;
            }
            number.push_back(c);
        }
    }

    pid_t m_pid = -1;
    std::string m_display;
};

} // namespace streaming::test
