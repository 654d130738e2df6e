#pragma once

// Keystrokes made for the application in front as if the user typed them. On X11 they go
// through XTest; on any other platform nothing is sent.
namespace KeyEvents {

// Sends the paste keystroke, Control+V, or Control+Shift+V for a terminal. First waits, at most a
// second, until the user has let go of every modifier key, which would otherwise join ours. False,
// with nothing sent, when the server has no XTest or a modifier stays down.
bool sendPaste(bool terminal);

} // namespace KeyEvents
