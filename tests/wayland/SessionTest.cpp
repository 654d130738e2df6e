#include "tests/wayland/SwaySession.h"

#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QString kelvrin() {
    return QStringLiteral(KELVRIN_BINARY);
}

} // namespace

// Under a compositor that offers the clipboard and the window list, the window is a native one;
// asked for X11 without an X display, or for a system that does not exist, Kelvrin says why.
TEST(Session, AWlrootsCompositorIsUsedNativelyAndTheOverrideIsObeyed) {
    const SwaySession sway(kelvrin() + QStringLiteral(" --paste-window"));
    QProcess running;
    running.setProcessChannelMode(QProcess::ForwardedChannels);
    sway.start(running, kelvrin(), {});
    ASSERT_TRUE(running.waitForStarted());
    ASSERT_TRUE(
        waitUntil([&] { return sway.run(kelvrin(), {QStringLiteral("--show")}).status == 0; }));
    ASSERT_TRUE(waitUntil([&] {
        for (const QJsonObject& window : sway.windows())
            if (window.value(QStringLiteral("app_id")).toString() == QLatin1String(KELVRIN_APP_ID))
                return window.value(QStringLiteral("shell")).toString() == u"xdg_shell";
        return false;
    }));
    EXPECT_EQ(sway.run(kelvrin(), {QStringLiteral("--quit")}).status, 0);
    // The answer to --quit may come after the program has ended and been seen to.
    EXPECT_TRUE(waitUntil([&] { return running.state() == QProcess::NotRunning; }));

    const SwaySession::Result x11 =
        sway.run(QStringLiteral("env"), {QStringLiteral("KELVRIN_PLATFORM=x11"), kelvrin()});
    EXPECT_EQ(x11.status, 1);
    EXPECT_TRUE(x11.err.contains("no X display")) << x11.err.constData();
    const SwaySession::Result unknown =
        sway.run(QStringLiteral("env"), {QStringLiteral("KELVRIN_PLATFORM=mir"), kelvrin()});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains("KELVRIN_PLATFORM must be x11 or wayland"))
        << unknown.err.constData();
}
