#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// A private X display for one process: its own Xvfb on a free display number, with a window
// manager managing it, so what runs here never touches the desktop of whoever started it.
// KELVRIN_E2E_WM names the window manager: openbox unless it names another (xfwm4, i3, ...).
// DISPLAY points at the display while it lives; both servers are stopped when it goes.
//
// It is built before any Qt object exists: Qt reads DISPLAY once, when the application starts.
class XServer {
public:
    // Throws std::runtime_error when Xvfb or the window manager cannot be started.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

private:
    void startXvfb();
    void startWindowManager();
    void stop();

    pid_t _xvfb = -1;
    pid_t _windowManager = -1;
    std::string _windowManagerName;
    std::string _display;
    std::optional<std::string> _previousDisplay;
};
