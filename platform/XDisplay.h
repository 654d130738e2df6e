#pragma once

#include <QString>
#include <optional>

// The X display this process is about to open, looked at before Qt opens it: Qt ends the process
// with an abort when it cannot, and waits for ever on a server that does not answer.
namespace XDisplay {

// Why there is no X display to run on: none is named, the one named cannot be opened, or it
// does not answer within the time. Nothing when it answers.
std::optional<QString> trouble(int timeoutMs);

} // namespace XDisplay
