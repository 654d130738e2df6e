#pragma once

#include <QStringView>
#include <QtGlobal>
#include <memory>
#include <vector>

// Keystrokes made for the application in front as if the user typed them. The session installs
// the display system's way of making them (XTest on X11, a virtual keyboard on Wayland); until
// then (Qt's offscreen platform in the tests) nothing is sent.
namespace KeyEvents {

// The keystrokes programs paste with.
enum class Paste {
    // Most programs.
    ControlV,
    // Terminal emulators, where Control+V types a control character.
    ControlShiftV,
    // The xterm family, which pastes the primary selection.
    ShiftInsert,
};

// The keystroke the program of that window class pastes with, the program being known by its
// class or its instance without regard to case: the class and instance of WM_CLASS on X11, the
// app_id on Wayland.
Paste pasteKeystroke(QStringView windowClass, QStringView instance = {});
// Whether the keystroke pastes the primary selection, which must then hold the content too.
bool pastesPrimary(Paste keystroke);

// The keys a paste keystroke is made of, each display system finding them on its keyboard.
enum class Key { Control, Shift, V, Insert };
// The keys of the keystroke in the order they go down; they come up in the reverse order.
std::vector<Key> keysOf(Paste keystroke);

// Sends the paste keystroke to the target window, once the user's own keys cannot join it and
// only while the target itself is the active window: keys go to whichever window is. False,
// with nothing sent, when the display system cannot make keystrokes, the user's keys stay down,
// or another window is active (a dialog that came up over the target, a window that took the
// focus from it).
bool sendPaste(Paste keystroke, quint32 target);

// What a display system does for sendPaste. This one sends nothing.
class Backend {
public:
    virtual ~Backend() = default;
    virtual bool sendPaste(Paste, quint32) { return false; }
};

// Puts the display system's backend in place of the one before; null goes back to the one that
// sends nothing. Only the session chooses.
void installBackend(std::unique_ptr<Backend> backend);

} // namespace KeyEvents
