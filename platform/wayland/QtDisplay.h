#pragma once

// Qt's own connection to the Wayland compositor, which Qt's windows and clipboard speak through.
namespace QtDisplay {

// Waits until the compositor has handled every request Qt made so far (a clipboard Qt set, a
// window it hid): what follows through another channel then comes after them. False when Qt does
// not run on Wayland or the compositor did not answer in the time given. Qt's own events stay
// where they are, dispatched by Qt.
bool sync(int timeoutMs);

} // namespace QtDisplay
