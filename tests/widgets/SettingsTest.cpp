#include "AppFixture.h"
#include "ScriptedAlerts.h"

#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/TypedStream.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>

class Settings : public AppFixture {
protected:
    QString dataFolder() const { return _folder.filePath(QStringLiteral("data, ä")); }

private:
    QTemporaryDir _folder;
};

TEST_F(Settings, AnEmptyStoreGivesTheDefaults) {
    launch();
    const QString panelFolder = QDir::homePath() + QStringLiteral("/Documents/Kelvrin/");
    EXPECT_EQ(app().bCommand(), 0);
    EXPECT_EQ(app().bControl(), 1);
    EXPECT_EQ(app().bOption(), 0);
    EXPECT_EQ(app().bShift(), 0);
    EXPECT_EQ(app().iKey(), 1);
    EXPECT_EQ(app().iLimits(), 100);
    EXPECT_EQ(app().nssInitialFolder(), QString());
    EXPECT_EQ(app().bUpdateFolder(), 1);
    EXPECT_EQ(app().bHide(), 1);
    EXPECT_FALSE(app().bBackHide());
    EXPECT_EQ(app().bAlwaysOnTop(), 0);
    EXPECT_EQ(app().fTransparency(), 1.0f);
    EXPECT_EQ(app().fHeightOfRow(), 16.0f);
    EXPECT_EQ(app().bRecentlyTop(), 0);
    EXPECT_TRUE(app().bKeepClipboard());
    EXPECT_TRUE(app().bAutosave());
    EXPECT_EQ(app().nssWriteFolder(), panelFolder);
    EXPECT_EQ(app().nssReadFolder(), panelFolder);
    EXPECT_EQ(app().iPasteMode(), 0);
    EXPECT_EQ(app().hotKeyModifiers(), 0x1000) << "Control alone";
    EXPECT_EQ(*app().ptrRectPasteWindow(), QRectF(100, 100, 325, 285));
    EXPECT_EQ(window().pasteStatus(), 0);
    EXPECT_EQ(window().pasteWindowRect(), QRectF(100, 100, 325, 285));
}

TEST_F(Settings, AnAcceptedQuitStoresEverySettingAndTheWindowAsItIsNow) {
    {
        Defaults stored = storedSettings();
        stored.setBool(true, QStringLiteral("hotkey_command"));
        stored.setBool(false, QStringLiteral("hotkey_control"));
        stored.setInteger(54, QStringLiteral("hotkey_key"));
        stored.setInteger(7, QStringLiteral("paste_limits"));
        stored.setObject(dataFolder(), QStringLiteral("initial_directory"));
        stored.setBool(true, QStringLiteral("paste_window_background_hide"));
        stored.setFloat(0.5f, QStringLiteral("paste_window_transparency"));
        stored.setFloat(20.0f, QStringLiteral("paste_window_height_of_row"));
        stored.setInteger(1, QStringLiteral("paste_window_mode"));
        stored.setFloat(10.3f, QStringLiteral("paste_window_x"));
        stored.synchronize();
    }
    {
        ScriptedAlerts alerts;
        launch();
        ASSERT_EQ(alerts.requests().size(), 1) << "the new data folder holds no sets yet";
    }
    EXPECT_EQ(app().bCommand(), 1);
    EXPECT_EQ(app().bControl(), 0);
    EXPECT_EQ(app().hotKeyModifiers(), 0x100) << "Command alone";
    EXPECT_EQ(app().iKey(), 54);
    EXPECT_EQ(app().iLimits(), 7);
    EXPECT_EQ(app().nssInitialFolder(), dataFolder());
    EXPECT_TRUE(app().bBackHide());
    EXPECT_EQ(app().fTransparency(), 0.5f);
    EXPECT_EQ(window().pasteStatus(), 1) << "the stored paste mode selects RTF";
    // Stored as a 32-bit float and widened: the fraction survives only to float precision.
    EXPECT_EQ(app().ptrRectPasteWindow()->x(), double(10.3f));

    window().getWindow()->status()->setCurrentIndex(0);
    window().getWindow()->setGeometry(30, 40, 400, 300);
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);

    const Defaults saved = storedSettings();
    EXPECT_EQ(saved.boolForKey(QStringLiteral("hotkey_command")), true);
    EXPECT_EQ(saved.boolForKey(QStringLiteral("hotkey_control")), false);
    EXPECT_EQ(saved.integerForKey(QStringLiteral("hotkey_key")), 54);
    EXPECT_EQ(saved.integerForKey(QStringLiteral("paste_limits")), 7);
    EXPECT_EQ(saved.stringForKey(QStringLiteral("initial_directory")), dataFolder());
    EXPECT_EQ(saved.floatForKey(QStringLiteral("paste_window_height_of_row")), 20.0f);
    EXPECT_EQ(saved.integerForKey(QStringLiteral("paste_window_mode")), 0);
    EXPECT_EQ(saved.floatForKey(QStringLiteral("paste_window_x")), 30.0f);
    EXPECT_EQ(saved.floatForKey(QStringLiteral("paste_window_y")), 40.0f);
    EXPECT_EQ(saved.floatForKey(QStringLiteral("paste_window_width")), 400.0f);
    EXPECT_EQ(saved.floatForKey(QStringLiteral("paste_window_height")), 300.0f);
    EXPECT_TRUE(saved.hasKey(QStringLiteral("read_directory")));
    // The quit saved the sets into the data folder, which it made private to the user.
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(dataFolder()));
    EXPECT_EQ(QFile::permissions(dataFolder()) & 0x0077, 0);
}

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
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n"
               "hotkey_key=55\n"
               "paste_limits=lots\n"
               "paste_window_hide=no\n"
               "paste_window_always_on_top=YES\n"
               "paste_window_background_hide=2\n"
               "paste_window_transparency=abc\n"
               "paste_window_height_of_row=1e39\n"
               "paste_window_x=1e10\n"
               "paste_window_width=\n");
    file.close();
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
    copyText(QStringLiteral("kept"));
    tick();
    EXPECT_EQ(history().pasteData().size(), 1u);
}

TEST_F(Settings, AQuitNeverReplacesStoredSetsThatCouldNotBeLoaded) {
    // The data folder holds sets of a newer version: launch cannot load them.
    const QString history = dataFolder() + QStringLiteral("/PasteBoard History.KVdata");
    const QByteArray newer = TypedStream::encode(TypedStream::Value::arrayOf(
        {TypedStream::Value::recordOf(QStringLiteral("PasteData"), 3, {})}));
    QDir().mkpath(dataFolder());
    for (const auto& [path, bytes] : {std::pair{dataFolder() + QStringLiteral("/Kelvrin.KVlist"),
                                                QByteArray("PasteBoard History.KVdata\n")},
                                      std::pair{history, newer}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    {
        Defaults stored = storedSettings();
        stored.setObject(dataFolder(), QStringLiteral("initial_directory"));
        stored.synchronize();
    }
    {
        ScriptedAlerts alerts;
        launch();
        ASSERT_EQ(alerts.requests().size(), 1);
    }
    copyText(QStringLiteral("captured since"));
    tick();
    {
        // Escape on the question keeps the application running.
        ScriptedAlerts alerts({ScriptedAlerts::kEscape});
        EXPECT_EQ(app().applicationShouldTerminate(), 0u);
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_TRUE(alerts.requests()[0].message.contains(
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage6"), {dataFolder()})));
    }
    {
        ScriptedAlerts alerts({Alert::AlternateReturn});
        EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    }
    QFile file(history);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), newer) << "the newer sets were replaced";
}
