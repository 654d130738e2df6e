// The paste as a person makes it on sway: the compositor's key binding runs the paste-window
// command over a program, the paste window floats up with the keyboard, and Return pastes the
// clipping into that program with the keystroke it pastes with.
#include "tests/wayland/SwaySession.h"

#include "SetFolder.h"
#include "model/PasteData.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QString kelvrin() {
    return QStringLiteral(KELVRIN_BINARY);
}

// A history as an earlier run left it in a data folder, the last text the newest clipping: until
// Kelvrin captures the Wayland clipboard, this is how a history comes to be there.
void storeHistory(const SwaySession& sway, const QStringList& texts) {
    const QString folder = sway.home() + QStringLiteral("/data");
    QDir().mkpath(folder);
    PasteDataList clippings;
    for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
        clippings.push_back(std::make_unique<PasteData>());
        clippings.back()->setContents(*text);
    }
    SetFolder::writeSet(folder, PasteWindow::kHistoryName, clippings);
    SetFolder::writeList(folder, {PasteWindow::kHistoryName});
    Defaults settings(sway.configHome() + QStringLiteral("/Kelvrin/Kelvrin.ini"));
    settings.setObject(folder, QStringLiteral("initial_directory"));
    settings.synchronize();
    sway.handOver(folder);
    sway.handOver(sway.configHome());
}

class PasteOnSway : public ::testing::Test {
protected:
    PasteOnSway() : sway(kelvrin() + QStringLiteral(" --paste-window")) {}
    ~PasteOnSway() override {
        sway.run(kelvrin(), {QStringLiteral("--quit")});
        running.waitForFinished(10000);
    }

    void startKelvrin(const QStringList& history) {
        storeHistory(sway, history);
        sway.start(running, kelvrin(), {});
        ASSERT_TRUE(
            waitUntil([&] { return sway.run(kelvrin(), {QStringLiteral("--list")}).status == 0; }));
    }
    // The sway description of the window that has the keyboard once it is the program's.
    QJsonObject focusedOnceItIs(const QString& appId) {
        QJsonObject focused;
        waitUntil([&] {
            focused = sway.focusedWindow();
            return focused.value(QStringLiteral("app_id")).toString() == appId;
        });
        return focused;
    }
    // Super+Shift+V as the user presses it over the program in front: the paste window's
    // description once it has the keyboard.
    QJsonObject callUp() {
        sway.type({"-M", "logo", "-M", "shift", "-k", "v", "-m", "shift", "-m", "logo"});
        return focusedOnceItIs(QStringLiteral("kelvrin"));
    }
    bool pasteWindowShown() {
        for (const QJsonObject& window : sway.windows())
            if (window.value(QStringLiteral("app_id")).toString() == u"kelvrin")
                return true;
        return false;
    }

    SwaySession sway;
    QProcess running;
};

} // namespace

// The binding brings the paste window up floating over the target and titled with it, whether
// the window was still up or long gone; Return pastes the newest clipping with Control+V, the
// clipboard holding it, and leaves the target with the keyboard and no paste window. The hot key
// of the settings cannot be had, and the user is told once what to bind instead.
TEST_F(PasteOnSway, TheBindingCallsTheWindowUpAndReturnPastesIntoTheProgramBehind) {
    startKelvrin({"older", "newest"});
    QProcess target;
    target.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sway.start(target, QStringLiteral(PASTE_TARGET), {QStringLiteral("--title"), "Notes"},
               {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    ASSERT_TRUE(waitUntil([&] { return target.canReadLine(); }));
    ASSERT_EQ(target.readLine().trimmed(), "ready");

    for (int visit = 0; visit < 2; ++visit) {
        SCOPED_TRACE(visit);
        ASSERT_EQ(focusedOnceItIs(QStringLiteral("paste_target"))[u"name"].toString(), u"Notes");
        const QJsonObject window = callUp();
        EXPECT_EQ(window[u"name"].toString(), u"Paste into paste_target");
        EXPECT_EQ(window[u"type"].toString(), u"floating_con");
        sway.type({"-k", "Return"});
        ASSERT_TRUE(waitUntil([&] { return target.canReadLine(); }));
        EXPECT_EQ(target.readLine().trimmed(), "paste ctrl+v " + QByteArray("newest").toBase64());
        EXPECT_TRUE(waitUntil([&] { return !pasteWindowShown(); }));
    }
    EXPECT_EQ(running.readAllStandardError().count("bind a key of the compositor to the command "
                                                   "kelvrin --paste-window"),
              1);
    target.terminate();
    target.waitForFinished(5000);
}

// A terminal is known by its app_id and gets Control+Shift+V: foot pastes the clipping into the
// program running in it.
TEST_F(PasteOnSway, FootPastesWithControlShiftV) {
    startKelvrin({"echo pasted"});
    const QString file = sway.home() + QStringLiteral("/typed");
    QProcess foot;
    // Without canonical mode the shell's program reads what is pasted at once, without a line end.
    sway.start(foot, QStringLiteral("foot"),
               {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("stty -icanon -echo; exec cat > ") + file});
    focusedOnceItIs(QStringLiteral("foot"));
    EXPECT_EQ(callUp()[u"name"].toString(), u"Paste into Foot");
    sway.type({"-k", "Return"});
    const auto typed = [&] {
        QFile typed(file);
        return typed.open(QIODevice::ReadOnly) ? typed.readAll() : QByteArray();
    };
    EXPECT_TRUE(waitUntil([&] { return typed() == "echo pasted"; })) << typed().constData();
    EXPECT_EQ(focusedOnceItIs(QStringLiteral("foot"))[u"app_id"].toString(), u"foot");
    foot.terminate();
    foot.waitForFinished(5000);
}
