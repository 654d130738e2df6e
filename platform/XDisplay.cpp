#include "platform/XDisplay.h"

#include <future>
#include <memory>
#include <thread>
#include <xcb/xcb.h>

namespace XDisplay {

std::optional<QString> trouble(int timeoutMs) {
    const QString name = qEnvironmentVariable("DISPLAY");
    if (name.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    // A server that accepts the connection and never answers holds the connecting thread for
    // ever: that thread is left behind, and this process is about to end anyway.
    auto opened = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = opened->get_future();
    std::thread([opened] {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        opened->set_value(xcb_connection_has_error(connection) == 0);
        xcb_disconnect(connection);
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready)
        return QStringLiteral("the display \"%1\" does not answer").arg(name);
    if (!answer.get())
        return QStringLiteral("the display \"%1\" cannot be opened").arg(name);
    return std::nullopt;
}

} // namespace XDisplay
