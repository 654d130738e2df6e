#pragma once

#include <QString>
#include <optional>

// The X display this process is about to open, looked at before Qt opens it: Qt ends the process
// with an abort when it cannot, and waits for ever on a server that does not answer.
namespace XDisplay {

// Why there is no X display to run on: none is named, the one named cannot be opened, or it
// does not answer within the time. Nothing when it answers.
std::optional<QString> trouble(int timeoutMs);

// Whether Qt may go on and open its X11 platform: true when the display answers, or when Qt is
// to open another platform (the tests' offscreen one). Otherwise it says on standard error what
// is wrong and how to give Kelvrin a display.
bool answers();

} // namespace XDisplay
