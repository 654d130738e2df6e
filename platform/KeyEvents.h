#pragma once

#include <QStringView>

// Keystrokes made for the application in front as if the user typed them. On X11 they go
// through XTest; on any other platform nothing is sent.
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

// The keystroke the program of that WM_CLASS pastes with, the program being known by its class
// or its instance without regard to case.
Paste pasteKeystroke(QStringView windowClass, QStringView instance = {});
// Whether the keystroke pastes the primary selection, which must then hold the content too.
bool pastesPrimary(Paste keystroke);

// Sends the paste keystroke. First waits, at most a second, until the user has let go of every
// modifier key, which would otherwise join ours. False, with nothing sent, when the server has
// no XTest or a modifier stays down.
bool sendPaste(Paste keystroke);

} // namespace KeyEvents
