// The settings as stored: what an odd or unwritable store does, and what a quit may replace.
#include "AppFixture.h"
#include "Fixtures.h"
#include "ScriptedAlerts.h"

#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QDir>
#include <QHeaderView>

using Settings = AppFixture;

TEST_F(Settings, AFailedSaveIsLoggedAndTheNextOneTriesAgain) {
    // A folder where the settings file goes: no file can replace it, whoever we are.
    ASSERT_TRUE(QDir().mkpath(settingsPath()));
    launch();
    Log::Capture log;
    app().commitData();
    EXPECT_TRUE(
        log.contains(QStringLiteral("warning*** :[SaveUserSettings] [settings not saved: %1]")
                         .arg(settingsPath())));

    ASSERT_TRUE(QDir().rmdir(settingsPath()));
    window().getWindow()->setGeometry(30, 40, 400, 300);
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    EXPECT_EQ(log.lines().filter(QStringLiteral("[SaveUserSettings]")).size(), 1);
    EXPECT_EQ(storedSettings().floatForKey(QStringLiteral("paste_window_width")), 400.0f);
}

TEST_F(Settings, StoredValuesOutsideTheirTypesOrRangesAreReadSafely) {
    writeFile(settingsPath(), fixture(QStringLiteral("settings/out-of-range.ini")));
    launch();
    EXPECT_EQ(app().iKey(), 1) << "a key index outside the key table falls back to the default";
    // What cannot be read as its type takes the default, rather than a 0 that would trim every
    // capture away or make the window invisible.
    EXPECT_EQ(app().iLimits(), 100);
    EXPECT_EQ(app().fTransparency(), 1.0f);
    EXPECT_EQ(app().ptrRectPasteWindow()->width(), 325.0);
    EXPECT_EQ(app().bHide(), 0);
    EXPECT_EQ(app().bAlwaysOnTop(), 1);
    EXPECT_TRUE(app().bBackHide());
    // Sizes no window can have are brought within reach before any integer conversion.
    const int rowHeight = window().table()->verticalHeader()->defaultSectionSize();
    EXPECT_TRUE(rowHeight >= 1 && rowHeight <= 1000) << rowHeight;
    EXPECT_LT(window().pasteWindowRect().x(), 1e8);
    captureEach({"kept"});
    EXPECT_EQ(history().pasteData().size(), 1u);
}

TEST_F(Settings, AQuitNeverReplacesStoredSetsThatCouldNotBeLoaded) {
    // The data folder holds sets of a newer version: launch cannot load them.
    const QString data = scratch(QStringLiteral("data"));
    const QByteArray newer = fixture(QStringLiteral("archives/newer-version.array"));
    QDir().mkpath(data);
    writeFile(data + QStringLiteral("/Kelvrin.KVlist"), "PasteBoard History.KVdata\n");
    writeFile(data + QStringLiteral("/PasteBoard History.KVdata"), newer);
    {
        ScriptedAlerts alerts;
        launch({{"initial_directory", data}});
        ASSERT_EQ(alerts.requests().size(), 1);
    }
    captureEach({"captured since"});
    {
        // Escape on the question keeps the application running.
        ScriptedAlerts alerts({ScriptedAlerts::kEscape});
        EXPECT_EQ(app().applicationShouldTerminate(), 0u);
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_TRUE(alerts.requests()[0].message.contains(
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage6"), {data})));
    }
    ScriptedAlerts alerts({Alert::AlternateReturn});
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    EXPECT_EQ(readFile(data + QStringLiteral("/PasteBoard History.KVdata")), newer)
        << "the newer sets were replaced";
}
