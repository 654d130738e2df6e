#include "ScriptedFolderPanel.h"
#include "WidgetFixtures.h"

#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QHeaderView>

class Preferences : public AppFixture {
protected:
    int rowHeight() { return window().table()->verticalHeader()->defaultSectionSize(); }
    double opacity() { return window().getWindow()->windowOpacity(); }
};

TEST_F(Preferences, TheyShowTheStoredSettingsAndAQuitStoresWhatOkTookAndTheWindowAsItIsNow) {
    const QString data = scratch("data, ä");
    const QString typed = scratch("typed, not yet made");
    SetFolder::write(settingsPath(), fixture("settings/every-key.ini"));
    launchOver(data);
    EXPECT_EQ(window().pasteStatus(), 1) << "the stored paste mode selects RTF";
    // Read as a 32-bit float and widened: the fraction survives only to float precision.
    EXPECT_EQ(app().ptrRectPasteWindow()->x(), double(10.3f));
    PreferencesWindow& prefs = preferences();
    QList<bool> boxes;
    for (const QCheckBox* box :
         {prefs.preferencesCommand(), prefs.preferencesControl(), prefs.preferencesOption(),
          prefs.preferencesShift(), prefs.preferencesUpdateFolder(), prefs.preferencesHide(),
          prefs.preferencesBackHide(), prefs.preferencesAlwaysOnTop(),
          prefs.preferencesRecentlyTop(), prefs.preferencesAutosave(),
          prefs.preferencesKeepClipboard(), prefs.startAtLogin()})
        boxes << box->isChecked();
    EXPECT_EQ(boxes, (QList<bool>{1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(prefs.preferencesKey()->count(), 55);
    EXPECT_EQ(prefs.preferencesKey()->currentText(), QStringLiteral("Z"));
    EXPECT_EQ(prefs.preferencesLimits()->text(), QStringLiteral("7"));
    EXPECT_EQ(prefs.preferencesFolderText()->text(), data);
    EXPECT_EQ(prefs.preferencesTransparency()->value(), 0.5);
    EXPECT_EQ(prefs.preferencesHeightOfRow()->value(), 20.0);

    prefs.preferencesShift()->click();
    prefs.preferencesKey()->setCurrentIndex(8);
    prefs.preferencesLimits()->setText(" 42 ");
    prefs.preferencesFolderText()->setText(typed);
    for (QCheckBox* box :
         {prefs.preferencesUpdateFolder(), prefs.preferencesHide(), prefs.preferencesRecentlyTop(),
          prefs.preferencesKeepClipboard(), prefs.preferencesAutosave()})
        box->click();
    prefs.preferencesTransparency()->setValue(0.75);
    prefs.preferencesHeightOfRow()->setValue(24.0);
    prefs.okButton()->click();
    EXPECT_FALSE(prefs.isVisible());
    EXPECT_EQ(app().hotKeyModifiers(), 0x100 | 0x200) << "Command and Shift";
    EXPECT_NEAR(opacity(), 0.75, 0.01) << "kept by the window in 256 steps";
    EXPECT_EQ(rowHeight(), 24);

    // The settings are the preferences' to change, but only a quit writes them.
    EXPECT_EQ(Defaults(settingsPath()).integerForKey(QStringLiteral("paste_limits")), 7);
    window().getWindow()->status()->setCurrentIndex(0);
    window().getWindow()->setGeometry(30, 40, 400, 300);
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    const QSettings stored(settingsPath(), QSettings::IniFormat);
    const QSettings expected(fixturePath("settings/after-ok-and-quit.ini"), QSettings::IniFormat);
    ASSERT_EQ(expected.allKeys().size(), 19);
    for (const QString& key : expected.allKeys())
        EXPECT_EQ(stored.value(key).toString(), expected.value(key).toString())
            << key.toStdString();
    EXPECT_EQ(stored.value(QStringLiteral("initial_directory")).toString(), typed);
    EXPECT_TRUE(stored.contains(QStringLiteral("read_directory")));
    // The quit saved the sets into the data folder, which it made private to the user.
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(typed));
    EXPECT_EQ(QFile::permissions(typed) & 0x0077, 0);
}

TEST_F(Preferences, ALimitOutsideOneToHundredBeepsAndEveryWayOfCancellingChangesNothing) {
    launch();
    PreferencesWindow& prefs = preferences();
    ScriptedAlerts alerts;
    prefs.preferencesHide()->click();
    prefs.preferencesShift()->click();
    int beeps = 0;
    for (const char* refused : {"0", "101", "-5", "abc", "", "7.5", "1e30",
                                "1000000000000000000000000000000", "4294967297"}) {
        prefs.preferencesLimits()->setText(QString::fromLatin1(refused));
        prefs.okButton()->click();
        EXPECT_EQ(alerts.beeps(), ++beeps) << refused;
        EXPECT_TRUE(prefs.isVisible()) << refused;
    }
    EXPECT_EQ(app().iLimits(), 100);
    EXPECT_EQ(app().bHide(), 1);
    EXPECT_EQ(app().bShift(), 0);

    for (const int accepted : {1, 100}) {
        preferences().preferencesLimits()->setText(QString::number(accepted));
        prefs.okButton()->click();
        EXPECT_FALSE(prefs.isVisible());
        EXPECT_EQ(app().iLimits(), accepted);
    }
    EXPECT_EQ(alerts.beeps(), beeps);

    // Cancel, Escape and the close button all drop the edits and undo the preview.
    const std::vector<std::pair<const char*, std::function<void(PreferencesWindow&)>>> ways{
        {"Cancel", [](PreferencesWindow& prefs) { prefs.cancelButton()->click(); }},
        {"Escape", [](PreferencesWindow& prefs) { QTest::keyClick(&prefs, Qt::Key_Escape); }},
        {"close button", [](PreferencesWindow& prefs) { prefs.close(); }},
    };
    for (const auto& [name, cancel] : ways) {
        preferences();
        prefs.preferencesTransparency()->setValue(0.4);
        EXPECT_NEAR(opacity(), 0.4, 0.01) << name;
        prefs.preferencesHeightOfRow()->setValue(30.0);
        EXPECT_EQ(rowHeight(), 30) << name;
        prefs.preferencesLimits()->setText("5");
        prefs.preferencesAlwaysOnTop()->click();
        cancel(prefs);
        EXPECT_FALSE(prefs.isVisible()) << name;
        EXPECT_EQ(opacity(), 1.0) << name;
        EXPECT_EQ(rowHeight(), 16) << name;
        EXPECT_EQ(app().iLimits(), 100) << name;
        EXPECT_EQ(app().bAlwaysOnTop(), 0) << name;
        EXPECT_EQ(app().fTransparency(), 1.0f) << name;

        preferences();
        EXPECT_EQ(prefs.preferencesTransparency()->value(), 1.0) << name;
        EXPECT_EQ(prefs.preferencesHeightOfRow()->value(), 16.0) << name;
        EXPECT_EQ(prefs.preferencesLimits()->text(), QStringLiteral("100")) << name;
        EXPECT_FALSE(prefs.preferencesAlwaysOnTop()->isChecked()) << name;
        prefs.cancelButton()->click();
    }
}

TEST_F(Preferences, BackgroundHideLocksTwoBoxesTheFolderButtonFillsTheFieldStartAtLoginTheEntry) {
    launch({{"paste_window_background_hide", true}, {"paste_window_always_on_top", true}});
    PreferencesWindow& prefs = preferences();
    QCheckBox* hide = prefs.preferencesHide();
    QCheckBox* top = prefs.preferencesAlwaysOnTop();
    // Whether each of the two is checked, then whether it is enabled.
    const auto states = [&] {
        return QList<bool>{hide->isChecked(), top->isChecked(), hide->isEnabled(),
                           top->isEnabled()};
    };
    EXPECT_TRUE(prefs.preferencesBackHide()->isChecked());
    EXPECT_EQ(states(), (QList<bool>{1, 1, 0, 0})) << "locked, showing what is stored";
    prefs.preferencesBackHide()->click();
    EXPECT_EQ(states(), (QList<bool>{1, 1, 1, 1})) << "enabling keeps the states";
    prefs.preferencesBackHide()->click();
    EXPECT_EQ(states(), (QList<bool>{0, 0, 0, 0}));
    prefs.okButton()->click();
    EXPECT_TRUE(app().bBackHide());
    EXPECT_EQ(app().bHide(), 0);
    EXPECT_EQ(app().bAlwaysOnTop(), 0);

    preferences().preferencesBackHide()->click();
    EXPECT_EQ(states(), (QList<bool>{0, 0, 1, 1}));
    prefs.cancelButton()->click();

    preferences().preferencesFolderText()->setText("~/where/it/was");
    ScriptedFolderPanel panel({std::nullopt, scratch("chosen")});
    prefs.folderButton()->click();
    EXPECT_EQ(prefs.preferencesFolderText()->text(), QStringLiteral("~/where/it/was"));
    prefs.folderButton()->click();
    EXPECT_EQ(prefs.preferencesFolderText()->text(), scratch("chosen"));
    ASSERT_EQ(panel.requests().size(), 2);
    EXPECT_EQ(panel.requests()[0].title, Strings::localized("PreferencesFolderTitle"));
    EXPECT_EQ(panel.requests()[0].startFolder, QDir::homePath() + QStringLiteral("/where/it/was"));
    EXPECT_TRUE(panel.requests()[0].canCreateFolders);
    EXPECT_EQ(app().nssInitialFolder(), QString()) << "nothing stored before OK";
    prefs.okButton()->click();
    EXPECT_EQ(app().nssInitialFolder(), scratch("chosen"));

    // The sets must not depend on the folder Kelvrin happens to start in.
    const QString home = QDir::homePath();
    const QList<std::pair<QString, QString>> typed = {
        {"notes", home + "/notes"}, {"~/sets, ä", home + "/sets, ä"}, {"~", home}, {"", ""}};
    for (const auto& [text, stored] : typed) {
        preferences().preferencesFolderText()->setText(text);
        prefs.okButton()->click();
        EXPECT_EQ(app().nssInitialFolder(), stored) << text.toStdString();
        EXPECT_EQ(preferences().preferencesFolderText()->text(), stored) << text.toStdString();
        prefs.cancelButton()->click();
    }

    const QString entry = Autostart::entryPath();
    ASSERT_TRUE(entry.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/"));
    preferences();
    prefs.startAtLogin()->click();
    prefs.okButton()->click();
    const QList<QByteArray> lines = readFile(entry).split('\n');
    for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Kelvrin", "Icon=kelvrin",
                             "X-GNOME-Autostart-enabled=true"})
        EXPECT_TRUE(lines.contains(line)) << line;
    EXPECT_TRUE(lines.contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + '"'));
    EXPECT_TRUE(preferences().startAtLogin()->isChecked());

    prefs.startAtLogin()->click();
    prefs.okButton()->click();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(preferences().startAtLogin()->isChecked());

    // The entry as the desktop's switch leaves it: there, but hidden.
    QDir().mkpath(QFileInfo(entry).path());
    SetFolder::write(entry, "[Desktop Entry]\nExec=kelvrin\nHidden=true\n");
    EXPECT_FALSE(Autostart::isEnabled());

    // A file where the autostart folder should be: a clear message, and the rest is stored.
    QDir(QFileInfo(entry).path()).removeRecursively();
    SetFolder::write(QFileInfo(entry).path(), {});
    {
        ScriptedAlerts alerts;
        preferences().startAtLogin()->click();
        prefs.preferencesLimits()->setText("9");
        prefs.okButton()->click();
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title, Strings::localized("AutostartErrorTitle"));
        EXPECT_TRUE(alerts.requests()[0].message.contains(entry));
    }
    EXPECT_EQ(app().iLimits(), 9);
    EXPECT_FALSE(prefs.isVisible());

    // Quoted for Exec: no field codes, and backslashes escaped again as the file's strings are.
    EXPECT_EQ(Autostart::execValue(QStringLiteral("/opt/My Apps/kelvrin")),
              QStringLiteral("\"/opt/My Apps/kelvrin\""));
    EXPECT_EQ(Autostart::execValue(QStringLiteral("/a\"b$c`d\\e%f")),
              QStringLiteral("\"/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e%%f\""));
}

// The settings as stored: what an odd or unwritable store does, and what a quit may replace.
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
    EXPECT_EQ(Defaults(settingsPath()).floatForKey(QStringLiteral("paste_window_width")), 400.0f);
}

TEST_F(Settings, StoredValuesOutsideTheirTypesOrRangesAreReadSafely) {
    SetFolder::write(settingsPath(), fixture("settings/out-of-range.ini"));
    launch();
    EXPECT_EQ(app().iKey(), 1) << "a key index outside the key table falls back to the default";
    // Unreadable values take the default: a 0 would trim every capture or hide the window.
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
    const QString data = scratch("data");
    const QByteArray newer = fixture("archives/newer-version.array");
    QDir().mkpath(data);
    SetFolder::write(data + QStringLiteral("/Kelvrin.KVlist"), "PasteBoard History.KVdata\n");
    SetFolder::write(data + QStringLiteral("/PasteBoard History.KVdata"), newer);
    launchOver(data);
    captureEach({"captured since"});
    {
        // Escape on the question keeps the application running.
        ScriptedAlerts alerts({ScriptedAlerts::kEscape});
        EXPECT_EQ(app().applicationShouldTerminate(), 0u);
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_TRUE(alerts.requests()[0].message.contains(
            Strings::localizedFormat("SaveErrorMessage6", {data})));
    }
    ScriptedAlerts alerts({Alert::AlternateReturn});
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    EXPECT_EQ(readFile(data + QStringLiteral("/PasteBoard History.KVdata")), newer)
        << "the newer sets were replaced";
}
