#pragma once

#include <string>
#include <sys/types.h>

// A private X display for one process: its own Xvfb on a free display number, with openbox
// managing it, so what runs here never touches the desktop of whoever started it. DISPLAY
// points at it while it lives; both servers are stopped when it goes.
//
// It is built before any Qt object exists: Qt reads DISPLAY once, when the application starts.
class XServer {
public:
    // Throws std::runtime_error when Xvfb or openbox cannot be started.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N"
    const std::string& display() const { return _display; }

private:
    void startXvfb();
    void startWindowManager();
    void stop();

    pid_t _xvfb = -1;
    pid_t _windowManager = -1;
    std::string _display;
    bool _hadDisplay = false;
    std::string _previousDisplay;
};
