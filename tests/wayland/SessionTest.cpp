#include "tests/wayland/KelvrinInSession.h"

#include "SetFolder.h"
#include "platform/Defaults.h"

#include <QDir>
#include <csignal>

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

// When the compositor dies, Qt ends Kelvrin on the spot: what was captured since the last save,
// and the settings, are saved before, and the log says what happened.
TEST(Session, WhenTheCompositorDiesWhatIsUnsavedIsSavedFirst) {
    const SwaySession sway(kKelvrin + QStringLiteral(" --paste-window"));
    const QString folder = sway.home() + QStringLiteral("/data");
    QDir().mkpath(folder);
    SetFolder::writeSet(folder, PasteWindow::kHistoryName, {});
    SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    const QString ini = sway.configHome() + QStringLiteral("/Kelvrin/Kelvrin.ini");
    {
        Defaults settings(ini);
        settings.setObject(folder, QStringLiteral("initial_directory"));
        // Nothing is saved as it goes: only the save at the end can keep the clipping.
        settings.setBool(false, QStringLiteral("autosave"));
        ASSERT_TRUE(settings.synchronize());
    }
    for (const QString& made : {folder, sway.configHome()})
        sway.handOver(made);

    KelvrinInSession running(sway);
    ASSERT_TRUE(running.answered());
    const QString text = QStringLiteral("kept through the compositor's end");
    sway.copy(text.toUtf8());
    ASSERT_TRUE(waitUntil([&] { return running.newest() == text; }));
    sway.signal(SIGKILL);
    ASSERT_TRUE(running.ends(10000));
    const QByteArray errors = running.errors();
    EXPECT_TRUE(errors.contains("Qt's connection to the compositor broke, and Qt ends Kelvrin "
                                "now: the sets and the settings were saved first"))
        << errors.constData();

    QFile history(folder + u'/' + PasteWindow::kHistoryName + PasteWindow::kSetFileSuffix);
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    const std::optional<PasteDataList> clippings = unarchivePasteData(history.readAll());
    ASSERT_TRUE(clippings);
    ASSERT_EQ(clippings->size(), 1u);
    EXPECT_EQ(clippings->front()->contents(), text);
    EXPECT_TRUE(Defaults(ini).hasKey(QStringLiteral("paste_limits"))) << "the settings not saved";
}
