#pragma once

#include "platform/wayland/WaylandConnection.h"

#include <gtest/gtest.h>
#include <memory>

// Kelvrin's own connection, opened from the tests' process as the program opens it, with
// WAYLAND_DISPLAY as it is now, and dispatched from the event loop.
inline std::unique_ptr<WaylandConnection> openWatched() {
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open();
    EXPECT_TRUE(connection);
    if (connection)
        connection->makeCurrent();
    return connection;
}
