#include "tests/wayland/KelvrinInSession.h"

// Under a compositor that offers the clipboard and the window list, the window is a native one,
// even where Qt programs are told to run through XWayland: Kelvrin's windows and its services
// always live on the same display system. Asked for X11 without an X display, or for a system
// that does not exist, Kelvrin says why.
TEST(Session, AWlrootsCompositorIsUsedNativelyAndTheOverrideIsObeyed) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --paste-window"));
    KelvrinInSession running(sway, {QStringLiteral("QT_QPA_PLATFORM=xcb")});
    ASSERT_TRUE(running.answered()) << running.errors().constData();
    ASSERT_EQ(sway.run(kKelvrin, {QStringLiteral("--show")}).status, 0);
    ASSERT_TRUE(waitUntil([&] {
        const auto window = pasteWindow(sway);
        return window && window->value(u"shell").toString() == u"xdg_shell";
    }));
    EXPECT_EQ(running.quit(), 0);

    const auto x11 = sway.run(QStringLiteral("env"),
                              {"KELVRIN_PLATFORM=x11", "QT_QPA_PLATFORM=wayland", kKelvrin});
    EXPECT_EQ(x11.status, 1);
    EXPECT_TRUE(x11.err.contains("no X display")) << x11.err.constData();
    const auto unknown = sway.run(QStringLiteral("env"), {"KELVRIN_PLATFORM=mir", kKelvrin});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains("KELVRIN_PLATFORM must be x11 or wayland"))
        << unknown.err.constData();
}
