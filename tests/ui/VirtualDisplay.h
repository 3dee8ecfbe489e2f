#pragma once

// A virtual X server (Xvfb) of the caller's own, for what only a real windowing system does: frames that go through
// the X platform to a real window, a window unmapped without being hidden. Make it before the QApplication: the
// application then runs on the xcb platform of that server.

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <QWindow>

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) {
            error_ = QStringLiteral("pipe: %1").arg(std::strerror(errno));
            return;
        }
        const pid_t child = ::fork();
        if (child < 0) {
            error_ = QStringLiteral("fork: %1").arg(std::strerror(errno));
            ::close(fds[0]);
            ::close(fds[1]);
            return;
        }
        if (child == 0) {
            ::close(fds[0]);
            const int devnull = ::open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                ::dup2(devnull, STDIN_FILENO);
                ::dup2(devnull, STDOUT_FILENO);
                ::dup2(devnull, STDERR_FILENO);
            }
            // Xvfb tells the display it picked through the pipe: parallel runs never race for a number.
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
                     "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        server_ = child;
        ::close(fds[1]);
        QByteArray number;
        pollfd wait{fds[0], POLLIN, 0};
        while (::poll(&wait, 1, 10000) > 0) {
            char buffer[16];
            const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            number.append(buffer, got);
            if (number.contains('\n'))
                break;
        }
        ::close(fds[0]);
        number = number.trimmed();
        if (number.isEmpty()) {
            error_ = QStringLiteral("Xvfb did not start (is the xvfb package installed?)");
            return;
        }
        display_ = ":" + QString::fromLatin1(number);
        qputenv("DISPLAY", display_.toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    ~VirtualDisplay() {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            int status = 0;
            ::waitpid(server_, &status, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool started() const { return !display_.isEmpty(); }
    // The display it serves (":N"), empty when it did not start.
    QString display() const { return display_; }
    // Why it did not start.
    QString error() const { return error_; }

    // Unmaps or maps `window` at the X server behind the toolkit's back, as a window manager does when the user
    // minimises it or switches workspace: the toolkit hears of it only through the server's map and expose events.
    static bool setMapped(QWindow* window, bool mapped) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !window)
            return false;
        xcb_connection_t* connection = x11->connection();
        const auto id = xcb_window_t(window->winId());
        if (mapped)
            xcb_map_window(connection, id);
        else
            xcb_unmap_window(connection, id);
        xcb_flush(connection);
        return true;
    }

private:
    pid_t server_ = -1;
    QString display_;
    QString error_;
};

// The main() of a test program that runs on a virtual display of its own (the file includes QApplication and QTest).
#define ORVANE_VIRTUAL_DISPLAY_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv) {                                                                                  \
        VirtualDisplay display;                                                                                        \
        if (!display.started()) {                                                                                      \
            std::fprintf(stderr, "Xvfb did not start (is the xvfb package installed?)\n");                             \
            return 1;                                                                                                  \
        }                                                                                                              \
        QApplication app(argc, argv);                                                                                  \
        TestClass tests;                                                                                               \
        return QTest::qExec(&tests, argc, argv);                                                                       \
    }
