#include "tests/e2e/XServer.h"

#include <X11/Xlib.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStartTimeout = std::chrono::seconds(15);

// Starts a program with its output silenced; keepFd, when given, is handed over to it.
// Only async-signal-safe calls between fork and exec: the caller may already have threads.
pid_t spawn(const std::vector<const char*>& argv, int keepFd = -1) {
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid > 0) {
        // Also here, so the group exists before anyone signals it, whoever runs first.
        setpgid(pid, pid);
        return pid;
    }
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO)
            close(null);
    }
    if (keepFd >= 0)
        fcntl(keepFd, F_SETFD, 0);
    // Its own process group: a Ctrl-C meant for the tests must not take the display away
    // before the tests have cleaned up, and whatever it starts is stopped with it.
    setpgid(0, 0);
    execvp(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
}

bool exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// Stops the program and what it started in its group.
void terminate(pid_t pid) {
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < deadline) {
        if (exited(pid))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Whether a window manager has announced itself on the root window (EWMH).
bool windowManagerRunning(Display* display) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool announced =
        check != None &&
        XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success &&
        type != None && count == 1;
    XFree(data);
    return announced;
}

// Whether a window mapped now gets managed. openbox announces itself before it handles map
// requests, and a window mapped in between stays unmapped for good: a test's first window would
// never show.
bool managesNewWindows(Display* display) {
    const Atom state = XInternAtom(display, "WM_STATE", False);
    const Window probe =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, probe, PropertyChangeMask);
    XMapWindow(display, probe);
    bool managed = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(500);
    while (!managed && Clock::now() < deadline) {
        XEvent event;
        if (XCheckTypedWindowEvent(display, probe, PropertyNotify, &event))
            managed = event.xproperty.atom == state;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XDestroyWindow(display, probe);
    XSync(display, False);
    return managed;
}

// The window manager named by KELVRIN_E2E_WM, openbox when it names none, as it is started.
std::vector<const char*> windowManagerCommand(const std::string& name) {
    if (name == "openbox")
        return {"openbox", "--sm-disable", nullptr};
    // xfwm4 finds its settings only through xfconf, which needs a session bus.
    if (name == "xfwm4")
        return {"dbus-run-session",    "--",   "xfwm4", "--compositor=off",
                "--sm-client-disable", nullptr};
    // An empty configuration: the user's own could start anything.
    if (name == "i3")
        return {"i3", "-c", "/dev/null", nullptr};
    return {name.c_str(), nullptr};
}

} // namespace

XServer::XServer() {
    const char* windowManager = std::getenv("KELVRIN_E2E_WM");
    _windowManagerName = windowManager && *windowManager ? windowManager : "openbox";
    if (const char* previous = std::getenv("DISPLAY"))
        _previousDisplay = previous;
    try {
        startXvfb();
        startWindowManager();
    } catch (...) {
        stop();
        throw;
    }
}

XServer::~XServer() {
    stop();
}

void XServer::startXvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    // Xvfb writes the display number there once it listens.
    const std::string fd = std::to_string(fds[1]);
    // -noreset: an X server resets when its last client leaves, and a client that comes during
    // the reset is refused; our own probes are such last clients.
    _xvfb = spawn({"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "-screen", "0",
                   "1280x800x24", nullptr},
                  fds[1]);
    close(fds[1]);

    char number[16] = {};
    FILE* reported = fdopen(fds[0], "r");
    const bool got =
        reported && std::fgets(number, sizeof number, reported) && std::strchr(number, '\n');
    reported ? std::fclose(reported) : close(fds[0]);
    if (!got)
        throw std::runtime_error("Xvfb did not report a display number (is it installed?)");
    _display = ":" + std::string(number, std::strcspn(number, "\n"));
    const auto deadline = Clock::now() + kStartTimeout;
    setenv("DISPLAY", _display.c_str(), 1);

    // The number is written once the server listens; a first connection proves it answers.
    while (true) {
        if (Display* display = XOpenDisplay(_display.c_str())) {
            XCloseDisplay(display);
            return;
        }
        if (exited(_xvfb)) {
            _xvfb = -1;
            throw std::runtime_error("Xvfb exited on " + _display);
        }
        if (Clock::now() > deadline)
            throw std::runtime_error("Xvfb on " + _display + " accepts no connection");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void XServer::startWindowManager() {
    _windowManager = spawn(windowManagerCommand(_windowManagerName));
    // Windows mapped before the manager runs would never be managed; wait for it to settle.
    const auto deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline) {
        if (exited(_windowManager)) {
            _windowManager = -1;
            break;
        }
        if (Display* display = XOpenDisplay(_display.c_str())) {
            const bool running = windowManagerRunning(display) && managesNewWindows(display);
            XCloseDisplay(display);
            if (running)
                return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error(_windowManagerName + " did not start on " + _display);
}

void XServer::stop() {
    terminate(_windowManager);
    _windowManager = -1;
    terminate(_xvfb);
    _xvfb = -1;
    if (_previousDisplay)
        setenv("DISPLAY", _previousDisplay->c_str(), 1);
    else
        unsetenv("DISPLAY");
}
