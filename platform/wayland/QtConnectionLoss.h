#pragma once

#include <QObject>
#include <functional>

// Qt's Wayland platform ends the process itself when its own connection to the compositor
// breaks (the compositor died, or closed the connection): it says so in a warning, then calls
// _exit from the thread that noticed, so neither the event loop nor a destructor runs again.
// That warning is the last moment a program has; this is where Kelvrin hears it.
namespace QtConnectionLoss {

// From now on Qt's warning of its broken connection runs save on the context's thread, once,
// while the thread that warned waits for it; then it says in the log what happened. Nothing
// runs once the context is gone.
void install(QObject* context, std::function<void()> save);

} // namespace QtConnectionLoss
