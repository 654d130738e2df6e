// Kelvrin's clipboard on its own connection, driven from the tests' process as the program drives
// it: what it writes while the compositor stalls, and what becomes of it when the compositor
// ends its access to the clipboard or takes its seat away.
#include "tests/wayland/KelvrinInSession.h"
#include "tests/wayland/OwnConnection.h"

#include "platform/Log.h"
#include "platform/wayland/WaylandPasteboard.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

const QList<PasteboardEntry> kText{{PasteboardType::String, "a clipping"}};

} // namespace

// Two writes made while the compositor does not answer (stopped for a moment) are each known as
// ours when their echoes come: neither is counted again nor taken for another program's copy,
// and the clipboard holds the second.
TEST(WaylandPasteboard, WritesMadeWhileTheCompositorStallsAreEachKnownAsOurOwn) {
    const SwaySession sway(kKelvrin);
    const ScopedEnvironment display{{"WAYLAND_DISPLAY", qPrintable(sway.socketPath())}};
    const std::unique_ptr<WaylandConnection> connection = openWatched();
    ASSERT_TRUE(connection);
    WaylandPasteboard pasteboard(*connection);
    const qint64 start = pasteboard.changeCount();

    sway.signal(SIGSTOP);
    const std::optional<qint64> first = pasteboard.write({{PasteboardType::String, "first"}});
    const std::optional<qint64> second = pasteboard.write({{PasteboardType::String, "second"}});
    sway.signal(SIGCONT);
    EXPECT_EQ(first, start + 1);
    EXPECT_EQ(second, start + 2);
    ASSERT_TRUE(connection->roundtrip(WaylandConnection::kFirstAnswerTimeoutMs));
    QTest::qWait(300);
    EXPECT_EQ(pasteboard.changeCount(), start + 2) << "an echo of ours taken for a copy";
    EXPECT_EQ(sway.paste(), "second");
}

// A device the compositor ends is asked for again, and a write without one fails rather than
// leave another content on the clipboard for the paste; a device ended before it heard of the
// selection was refused, and is not asked for again until a seat comes. A seat that goes takes
// the device with it, and the next seat brings a new one.
TEST(WaylandPasteboard, AClipboardTheCompositorEndsIsAskedForAgainAndNothingIsWrittenWithoutIt) {
    SeatServer server;
    ASSERT_TRUE(server.connection());
    Log::Capture log;
    WaylandPasteboard pasteboard(*server.connection());
    ASSERT_TRUE(server.said("device"));
    const auto writes = [&] { return pasteboard.write(kText) && server.said("selection"); };
    EXPECT_TRUE(writes());

    ASSERT_TRUE(server.tell("finish"));
    EXPECT_FALSE(pasteboard.write(kText)) << "written without a device";
    ASSERT_TRUE(server.said("device")) << "not asked for again";
    EXPECT_TRUE(writes());

    ASSERT_TRUE(server.tell("withdraw"));
    EXPECT_FALSE(pasteboard.write(kText)) << "written without a seat";
    ASSERT_TRUE(server.tell("announce"));
    ASSERT_TRUE(server.said("device")) << "no device on the new seat";
    EXPECT_TRUE(writes());

    ASSERT_TRUE(server.tell("refuse"));
    ASSERT_TRUE(server.tell("finish"));
    ASSERT_TRUE(server.said("refused")) << "not asked for again";
    EXPECT_FALSE(server.said("refused", 500)) << "asked again for a refused device";
    EXPECT_FALSE(pasteboard.write(kText));
    const QString cannotWrite = QStringLiteral(
        "warning*** :[wayland] [the clipboard cannot be written: the compositor has taken it from "
        "Kelvrin]");
    const QString askingAgain = QStringLiteral("warning*** :[wayland] [the compositor took the "
                                               "clipboard from Kelvrin; asking for it again]");
    const QString untilBack =
        QStringLiteral(": nothing is captured, and a chosen clipping is not pasted, until the "
                       "clipboard is back]");
    EXPECT_EQ(
        log.lines(),
        (QStringList{
            cannotWrite, askingAgain, "warning*** :[wayland] [the seat went away" + untilBack,
            cannotWrite, askingAgain,
            "warning*** :[wayland] [the compositor took the clipboard from Kelvrin" + untilBack,
            cannotWrite}));
    EXPECT_FALSE(server.connection()->broken());
}
