#pragma once

#include "tests/wayland/WaylandSession.h"

#include "ScopedEnvironment.h"
#include "platform/wayland/WaylandConnection.h"

#include <QProcess>
#include <QTemporaryDir>
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

// wl_seat_server on a socket of its own, which WAYLAND_DISPLAY names while it runs, with
// Kelvrin's own connection to it.
class SeatServer {
public:
    SeatServer()
        : _socket(_folder.filePath(QStringLiteral("seats"))), _display{{"WAYLAND_DISPLAY",
                                                                        qPrintable(_socket)}} {
        _server.start(QStringLiteral(WL_SEAT_SERVER), {_socket});
        if (said("ready"))
            _connection = openWatched();
    }
    ~SeatServer() {
        _server.closeWriteChannel();
        _server.waitForFinished(5000);
    }

    // Null when the server or the connection did not come up.
    WaylandConnection* connection() const { return _connection.get(); }
    // Tells the server the command; true once the connection has dispatched what it said in
    // answer.
    bool tell(const QByteArray& command) {
        _server.write(command + '\n');
        return said("done") && _connection->roundtrip();
    }
    // Whether the server said the line, waiting for it until the time is up.
    bool said(const QByteArray& line, int timeoutMs = 10000) {
        return saidLine(_server, line, _said, timeoutMs);
    }

private:
    QTemporaryDir _folder;
    const QString _socket;
    const ScopedEnvironment _display;
    QProcess _server;
    QByteArray _said;
    std::unique_ptr<WaylandConnection> _connection;
};
