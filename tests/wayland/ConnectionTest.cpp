// Kelvrin's own connection to the compositor, opened from this process as the program opens it:
// no wait on the compositor lasts for ever, and the connection follows the compositor's seats
// and its own breaking, with the modules on it.
#include "tests/wayland/KelvrinInSession.h"
#include "tests/wayland/OwnConnection.h"

#include "ScopedEnvironment.h"
#include "platform/Log.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/wlroots/WlrootsKeyEvents.h"
#include "platform/wayland/wlroots/WlrootsToplevels.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <condition_variable>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <wayland-client.h>

namespace {

// Runs the rescue on a thread of its own after the time, unless it went first: a wait that does
// not end by itself is ended then, and the test fails instead of hanging.
class Rescue {
public:
    Rescue(int afterMs, std::function<void()> rescue)
        : _thread([this, afterMs, rescue = std::move(rescue)] {
              std::unique_lock lock(_mutex);
              if (!_ended.wait_for(lock, std::chrono::milliseconds(afterMs), [&] { return _over; }))
                  rescue();
          }) {}
    ~Rescue() {
        {
            const std::lock_guard lock(_mutex);
            _over = true;
        }
        _ended.notify_all();
        _thread.join();
    }

private:
    std::mutex _mutex;
    std::condition_variable _ended;
    bool _over = false;
    std::thread _thread;
};

} // namespace

// Kelvrin gives up its start with a message against a compositor that takes the connection and
// never answers; a round trip with one that stopped answering ends in time; a reader woken for
// events another one already took returns at once instead of waiting for the next ones.
TEST(WaylandConnection, NoWaitOnTheCompositorLastsForEver) {
    const SwaySession sway(kKelvrin);
    {
        SCOPED_TRACE("the start");
        QLocalServer silent;
        silent.setSocketOptions(QLocalServer::WorldAccessOption);
        ASSERT_TRUE(silent.listen(sway.home() + QStringLiteral("/silent")));
        const SwaySession::Result start = sway.run(
            QStringLiteral("env"), {"WAYLAND_DISPLAY=" + silent.fullServerName(), kKelvrin}, 15000);
        EXPECT_EQ(start.status, 1);
        EXPECT_TRUE(start.err.contains("the compositor accepted the connection but did not answer "
                                       "within 5 s"))
            << start.err.constData();
    }
    const ScopedEnvironment display{{"WAYLAND_DISPLAY", qPrintable(sway.socketPath())}};
    const std::unique_ptr<WaylandConnection> connection = openWatched();
    ASSERT_TRUE(connection);
    {
        SCOPED_TRACE("a compositor that stopped");
        sway.signal(SIGSTOP);
        QElapsedTimer waited;
        waited.start();
        {
            const Rescue wake(5000, [&] { sway.signal(SIGCONT); });
            EXPECT_FALSE(connection->roundtrip());
        }
        EXPECT_LT(waited.elapsed(), 2 * WaylandConnection::kAnswerTimeoutMs);
        sway.signal(SIGCONT);
        EXPECT_TRUE(connection->roundtrip());
    }
    SCOPED_TRACE("woken for nothing");
    auto* notifier = connection->findChild<QSocketNotifier*>();
    ASSERT_TRUE(notifier);
    QElapsedTimer handled;
    handled.start();
    {
        // An answer to a request sent from the rescue's thread wakes a reader waiting for events.
        const Rescue answer(3000, [&] {
            static const wl_callback_listener forget{
                [](void*, wl_callback* callback, uint32_t) { wl_callback_destroy(callback); }};
            wl_callback_add_listener(wl_display_sync(connection->display()), &forget, nullptr);
            wl_display_flush(connection->display());
        });
        QEvent woken(QEvent::SockAct);
        QCoreApplication::sendEvent(notifier, &woken);
    }
    EXPECT_LT(handled.elapsed(), 1000);
    EXPECT_TRUE(connection->roundtrip());
}

// A protocol error closes Kelvrin's connection alone: it says what happened, a new connection
// to the same compositor takes its place, and the clipboard, the window list and the keystroke
// work on it, the clipboard's count going on.
TEST(WaylandConnection, AfterAProtocolErrorANewConnectionServesTheClipboardWindowsAndKeystroke) {
    const SwaySession sway(kKelvrin);
    sway.copy("there before");
    const ScopedEnvironment display{{"WAYLAND_DISPLAY", qPrintable(sway.socketPath())}};
    // The user's keyboard, there all along: a seat without a keyboard gives the windows none,
    // and ours is made anew.
    const std::unique_ptr<WaylandConnection> users = openWatched();
    ASSERT_TRUE(users);
    const WlrootsKeyEvents usersKeyboard(*users, nullptr);
    QProcess target;
    ASSERT_TRUE(startPasteTarget(sway, target));
    QByteArray said;

    const std::unique_ptr<WaylandConnection> connection = openWatched();
    ASSERT_TRUE(connection);
    const std::shared_ptr<WlrootsToplevels> toplevels = WlrootsToplevels::open(*connection);
    ASSERT_TRUE(toplevels);
    WlrootsKeyEvents keys(*connection, toplevels);
    WaylandPasteboard pasteboard(*connection);
    const qint64 countBefore = pasteboard.changeCount();
    const auto notes = [&] {
        const auto front = toplevels->activated();
        return front && front->title == u"Notes" ? front->id : 0;
    };
    const quint32 before = notes();
    ASSERT_NE(before, 0u);

    const Log::Capture log;
    QSignalSpy lost(connection.get(), &WaylandConnection::connectionLost);
    QSignalSpy reconnected(connection.get(), &WaylandConnection::reconnected);
    // The compositor ends a connection that binds a global it never announced.
    wl_registry* registry = wl_display_get_registry(connection->display());
    auto* bogus = static_cast<wl_proxy*>(wl_registry_bind(registry, 0xffff, &wl_seat_interface, 1));
    EXPECT_FALSE(connection->roundtrip());
    wl_proxy_destroy(bogus);
    wl_registry_destroy(registry);
    ASSERT_TRUE(waitUntil([&] { return reconnected.count() == 1; }));
    EXPECT_EQ(lost.count(), 1);
    ASSERT_EQ(log.lines().size(), 2) << log.lines().join(u'\n').toStdString();
    EXPECT_TRUE(log.lines()[0].contains(u"(protocol error 0 on wl_registry@"))
        << log.lines()[0].toStdString();
    EXPECT_TRUE(log.lines()[1].contains(u"a new connection to the compositor replaces"));

    const quint32 after = notes();
    EXPECT_NE(after, 0u);
    EXPECT_NE(after, before) << "a window's number from the old connection reused";
    const std::optional<qint64> written =
        pasteboard.write({{PasteboardType::String, "pasted over the new connection"}});
    ASSERT_TRUE(written) << "the clipboard was not made anew";
    EXPECT_GT(*written, countBefore);
    EXPECT_TRUE(keys.sendPaste(KeyEvents::Paste::ControlV, after));
    EXPECT_TRUE(saidLine(
        target, "paste ctrl+v " + QByteArray("pasted over the new connection").toBase64(), said))
        << said.constData();
    target.terminate();
    target.waitForFinished(5000);
}

// A seat the compositor withdraws is told of before it goes; one announced while there is none
// becomes the seat; with two, the second takes the place of the first when that one goes.
TEST(WaylandConnection, ASeatThatGoesIsToldOfAndTheNextOneTakesItsPlace) {
    SeatServer server;
    WaylandConnection* connection = server.connection();
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->seat());

    QSignalSpy withdrawn(connection, &WaylandConnection::seatWithdrawn);
    QSignalSpy announced(connection, &WaylandConnection::seatAnnounced);
    ASSERT_TRUE(server.tell("withdraw"));
    EXPECT_EQ(withdrawn.count(), 1);
    EXPECT_EQ(announced.count(), 0);
    EXPECT_FALSE(connection->seat());

    ASSERT_TRUE(server.tell("announce"));
    EXPECT_EQ(announced.count(), 1);
    wl_seat* const first = connection->seat();
    EXPECT_TRUE(first);
    ASSERT_TRUE(server.tell("announce"));
    EXPECT_EQ(announced.count(), 1) << "a second seat taken in place of the one in use";
    EXPECT_EQ(connection->seat(), first);

    ASSERT_TRUE(server.tell("withdraw"));
    EXPECT_EQ(withdrawn.count(), 2);
    EXPECT_EQ(announced.count(), 2);
    EXPECT_TRUE(connection->seat());
    EXPECT_FALSE(connection->broken());
}
