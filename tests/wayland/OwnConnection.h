#pragma once

#include "platform/wayland/WaylandConnection.h"

#include <gtest/gtest.h>
#include <memory>

// Kelvrin's own connection, opened from the tests' process as the program opens it, with
// WAYLAND_DISPLAY as it is now, and dispatched from the event loop.
inline std::unique_ptr<WaylandConnection> openWatched() {
    QString trouble;
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::open(&trouble);
    EXPECT_TRUE(connection) << trouble.toStdString();
    if (connection)
        connection->watch();
    return connection;
}
