#include "AppFixture.h"
#include "Fixtures.h"
#include "ScriptedAlerts.h"
#include "ScriptedFolderPanel.h"

#include "app/PreferencesWindow.h"
#include "platform/Autostart.h"
#include "platform/Log.h"
#include "platform/Strings.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class Preferences : public AppFixture {
protected:
    PreferencesWindow& open() {
        app().menuPreferences();
        return *app().preferencesWindow();
    }
    int rowHeight() { return window().table()->verticalHeader()->defaultSectionSize(); }
    double opacity() { return window().getWindow()->windowOpacity(); }
};

TEST_F(Preferences, TheyShowTheStoredSettingsAndAQuitStoresWhatOkTookAndTheWindowAsItIsNow) {
    const QString data = scratch(QStringLiteral("data, ä"));
    const QString typed = scratch(QStringLiteral("typed, not yet made"));
    writeFile(settingsPath(), fixture(QStringLiteral("settings/every-key.ini")));
    launchOver(data);
    EXPECT_EQ(window().pasteStatus(), 1) << "the stored paste mode selects RTF";
    // Read as a 32-bit float and widened: the fraction survives only to float precision.
    EXPECT_EQ(app().ptrRectPasteWindow()->x(), double(10.3f));
    PreferencesWindow& prefs = open();
    EXPECT_TRUE(prefs.isVisible());
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
    prefs.preferencesLimits()->setText(QStringLiteral(" 42 "));
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
    EXPECT_EQ(storedSettings().integerForKey(QStringLiteral("paste_limits")), 7);
    window().getWindow()->status()->setCurrentIndex(0);
    window().getWindow()->setGeometry(30, 40, 400, 300);
    EXPECT_EQ(app().applicationShouldTerminate(), 1u);
    const QSettings stored(settingsPath(), QSettings::IniFormat);
    for (const QString& saved : QStringList{
             "hotkey_command=true", "hotkey_control=false", "hotkey_shift=true", "hotkey_key=8",
             "paste_limits=42", "initial_directory=" + typed, "initial_directory_update=true",
             "paste_window_hide=true", "paste_window_always_on_top=true",
             "paste_window_transparency=0.75", "paste_window_height_of_row=24",
             "paste_window_recently_top=false", "keep_clipboard=true", "autosave=true",
             "paste_window_mode=0", "paste_window_x=30", "paste_window_y=40",
             "paste_window_width=400", "paste_window_height=300"})
        EXPECT_EQ(stored.value(saved.section(u'=', 0, 0)).toString(), saved.section(u'=', 1))
            << saved.toStdString();
    EXPECT_TRUE(stored.contains(QStringLiteral("read_directory")));
    // The quit saved the sets into the data folder, which it made private to the user.
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(typed));
    EXPECT_EQ(QFile::permissions(typed) & 0x0077, 0);
}

TEST_F(Preferences, ALimitOutsideOneToHundredBeepsAndEveryWayOfCancellingChangesNothing) {
    launch();
    PreferencesWindow& prefs = open();
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
        open().preferencesLimits()->setText(QString::number(accepted));
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
        open();
        prefs.preferencesTransparency()->setValue(0.4);
        EXPECT_NEAR(opacity(), 0.4, 0.01) << name;
        prefs.preferencesHeightOfRow()->setValue(30.0);
        EXPECT_EQ(rowHeight(), 30) << name;
        prefs.preferencesLimits()->setText(QStringLiteral("5"));
        prefs.preferencesAlwaysOnTop()->click();
        cancel(prefs);
        EXPECT_FALSE(prefs.isVisible()) << name;
        EXPECT_EQ(opacity(), 1.0) << name;
        EXPECT_EQ(rowHeight(), 16) << name;
        EXPECT_EQ(app().iLimits(), 100) << name;
        EXPECT_EQ(app().bAlwaysOnTop(), 0) << name;
        EXPECT_EQ(app().fTransparency(), 1.0f) << name;

        open();
        EXPECT_EQ(prefs.preferencesTransparency()->value(), 1.0) << name;
        EXPECT_EQ(prefs.preferencesHeightOfRow()->value(), 16.0) << name;
        EXPECT_EQ(prefs.preferencesLimits()->text(), QStringLiteral("100")) << name;
        EXPECT_FALSE(prefs.preferencesAlwaysOnTop()->isChecked()) << name;
        prefs.cancelButton()->click();
    }
}

TEST_F(Preferences, BackgroundHideSwitchesOffAndLocksHideAndAlwaysOnTop) {
    launch({{"paste_window_background_hide", true}, {"paste_window_always_on_top", true}});
    PreferencesWindow& prefs = open();
    // Opened with background hide on, both locked boxes show what is stored.
    EXPECT_TRUE(prefs.preferencesBackHide()->isChecked());
    EXPECT_FALSE(prefs.preferencesHide()->isEnabled());
    EXPECT_FALSE(prefs.preferencesAlwaysOnTop()->isEnabled());
    EXPECT_TRUE(prefs.preferencesHide()->isChecked());
    EXPECT_TRUE(prefs.preferencesAlwaysOnTop()->isChecked());

    prefs.preferencesBackHide()->click();
    EXPECT_TRUE(prefs.preferencesHide()->isEnabled());
    EXPECT_TRUE(prefs.preferencesAlwaysOnTop()->isEnabled());
    EXPECT_TRUE(prefs.preferencesHide()->isChecked()) << "enabling keeps the states";
    prefs.preferencesBackHide()->click();
    EXPECT_FALSE(prefs.preferencesHide()->isChecked());
    EXPECT_FALSE(prefs.preferencesAlwaysOnTop()->isChecked());
    EXPECT_FALSE(prefs.preferencesHide()->isEnabled());
    prefs.okButton()->click();
    EXPECT_TRUE(app().bBackHide());
    EXPECT_EQ(app().bHide(), 0);
    EXPECT_EQ(app().bAlwaysOnTop(), 0);

    open().preferencesBackHide()->click();
    EXPECT_TRUE(prefs.preferencesHide()->isEnabled());
    EXPECT_FALSE(prefs.preferencesHide()->isChecked());
}

// A relative data folder is taken from home.
TEST_F(Preferences, TheFolderButtonOnlyFillsTheFieldAndStartAtLoginWritesTheAutostartEntry) {
    launch();
    PreferencesWindow& prefs = open();
    prefs.preferencesFolderText()->setText(QStringLiteral("~/where/it/was"));
    ScriptedFolderPanel panel({std::nullopt, scratch(QStringLiteral("chosen"))});
    prefs.folderButton()->click();
    EXPECT_EQ(prefs.preferencesFolderText()->text(), QStringLiteral("~/where/it/was"));
    prefs.folderButton()->click();
    EXPECT_EQ(prefs.preferencesFolderText()->text(), scratch(QStringLiteral("chosen")));
    ASSERT_EQ(panel.requests().size(), 2);
    EXPECT_EQ(panel.requests()[0].title,
              Strings::localized(QStringLiteral("PreferencesFolderTitle")));
    EXPECT_EQ(panel.requests()[0].startFolder, QDir::homePath() + QStringLiteral("/where/it/was"));
    EXPECT_TRUE(panel.requests()[0].canCreateFolders);
    EXPECT_EQ(app().nssInitialFolder(), QString()) << "nothing stored before OK";
    prefs.okButton()->click();
    EXPECT_EQ(app().nssInitialFolder(), scratch(QStringLiteral("chosen")));

    // The sets must not depend on the folder Kelvrin happens to start in.
    const QString home = QDir::homePath();
    const QList<std::pair<QString, QString>> typed = {
        {"notes", home + "/notes"}, {"~/sets, ä", home + "/sets, ä"}, {"~", home}, {"", ""}};
    for (const auto& [text, stored] : typed) {
        open().preferencesFolderText()->setText(text);
        prefs.okButton()->click();
        EXPECT_EQ(app().nssInitialFolder(), stored) << text.toStdString();
        EXPECT_EQ(open().preferencesFolderText()->text(), stored) << text.toStdString();
        prefs.cancelButton()->click();
    }

    // Start at login writes and removes the autostart entry.
    const QString entry = Autostart::entryPath();
    ASSERT_TRUE(entry.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/"));
    open();
    prefs.startAtLogin()->click();
    prefs.okButton()->click();
    const QList<QByteArray> lines = readFile(entry).split('\n');
    for (const char* line : {"[Desktop Entry]", "Type=Application", "Name=Kelvrin", "Icon=kelvrin",
                             "X-GNOME-Autostart-enabled=true"})
        EXPECT_TRUE(lines.contains(line)) << line;
    EXPECT_TRUE(lines.contains("Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + '"'));
    EXPECT_TRUE(open().startAtLogin()->isChecked());

    prefs.startAtLogin()->click();
    prefs.okButton()->click();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(open().startAtLogin()->isChecked());

    // The entry as the desktop's switch leaves it: there, but hidden.
    QDir().mkpath(QFileInfo(entry).path());
    writeFile(entry, "[Desktop Entry]\nExec=kelvrin\nHidden=true\n");
    EXPECT_FALSE(Autostart::isEnabled());

    // A file where the autostart folder should be: a clear message, and the rest is stored.
    QDir(QFileInfo(entry).path()).removeRecursively();
    writeFile(QFileInfo(entry).path(), {});
    {
        ScriptedAlerts alerts;
        open().startAtLogin()->click();
        prefs.preferencesLimits()->setText(QStringLiteral("9"));
        prefs.okButton()->click();
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title,
                  Strings::localized(QStringLiteral("AutostartErrorTitle")));
        EXPECT_TRUE(alerts.requests()[0].message.contains(entry));
    }
    EXPECT_EQ(app().iLimits(), 9);
    EXPECT_FALSE(prefs.isVisible());

    // Quoted for the Exec key: the shell's characters stay in the path, a percent is no field
    // code, and the backslashes are escaped once more as the file's strings are.
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
    launchOver(data);
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
