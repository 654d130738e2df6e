#include "AppFixture.h"
#include "ScriptedAlerts.h"
#include "ScriptedFolderPanel.h"

#include "app/PreferencesWindow.h"
#include "platform/Strings.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>

class MenuFolders : public AppFixture {
protected:
    QString folder(const QString& name) const { return scratch(name); }

    // Every file of the folder with its bytes.
    static QMap<QString, QByteArray> contents(const QString& path) {
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(path).entryList(QDir::Files | QDir::Hidden))
            files[name] = readFile(QDir(path).filePath(name));
        return files;
    }
    // Changes settings the way the user does, in the preferences.
    void setInPreferences(const std::function<void(PreferencesWindow&)>& change) {
        app().menuPreferences();
        change(*app().preferencesWindow());
        app().preferencesWindow()->okButton()->click();
    }
    QString folderField() { return app().preferencesWindow()->preferencesFolderText()->text(); }
};

TEST_F(MenuFolders, ASavedFolderBecomesTheDataFolderAndLoadsBackWhenTheSettingSaysSo) {
    launch();
    captureEach({"one", "two"});
    setInPreferences([](PreferencesWindow&) {});
    const QString panelStart = QDir::homePath() + QStringLiteral("/Documents/Kelvrin/");
    const QString saved = folder(QStringLiteral("saved/here"));
    {
        ScriptedFolderPanel panel({saved});
        app().menuSave();
        ASSERT_EQ(panel.requests().size(), 1);
        EXPECT_EQ(panel.requests()[0].title, Strings::localized(QStringLiteral("SaveSetTitle")));
        EXPECT_EQ(panel.requests()[0].startFolder, panelStart);
        EXPECT_TRUE(panel.requests()[0].canCreateFolders);
    }
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(saved));
    EXPECT_EQ(app().nssWriteFolder(), saved);
    EXPECT_EQ(app().nssInitialFolder(), saved);
    EXPECT_EQ(folderField(), saved) << "the preferences show the new data folder at once";

    captureEach({"three, captured since"});
    {
        ScriptedFolderPanel panel({saved});
        app().menuLoad();
        ASSERT_EQ(panel.requests().size(), 1);
        EXPECT_EQ(panel.requests()[0].title, Strings::localized(QStringLiteral("LoadSetTitle")));
        EXPECT_EQ(panel.requests()[0].startFolder, panelStart);
        EXPECT_FALSE(panel.requests()[0].canCreateFolders);
    }
    EXPECT_EQ(texts(history()), (QStringList{"two", "one"})) << "the history is replaced too";
    EXPECT_EQ(app().nssReadFolder(), saved);
    EXPECT_TRUE(window().isWindowVisible());

    // With the setting off a save or a load leaves the data folder where it is.
    setInPreferences([](PreferencesWindow& prefs) { prefs.preferencesUpdateFolder()->click(); });
    const QString copy = folder(QStringLiteral("copy"));
    for (void (MyObject::*command)() : {&MyObject::menuSave, &MyObject::menuLoad}) {
        ScriptedFolderPanel panel({copy});
        (app().*command)();
    }
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(copy));
    EXPECT_EQ(app().nssWriteFolder(), copy);
    EXPECT_EQ(app().nssReadFolder(), copy);
    EXPECT_EQ(app().nssInitialFolder(), saved);
    EXPECT_EQ(folderField(), saved);
}

TEST_F(MenuFolders, FailuresAndCancelsLeaveTheSetsAndTheDataFolder) {
    launch();
    captureEach({"kept"});
    const QString startWrite = app().nssWriteFolder();
    const QString startRead = app().nssReadFolder();
    for (void (MyObject::*command)() : {&MyObject::menuSave, &MyObject::menuLoad}) {
        ScriptedFolderPanel panel({std::nullopt});
        (app().*command)();
        EXPECT_EQ(panel.requests().size(), 1);
    }
    EXPECT_EQ(app().nssWriteFolder(), startWrite);
    EXPECT_EQ(app().nssReadFolder(), startRead);

    // A file stands where the folder would be made.
    writeFile(folder(QStringLiteral("a file")), {});
    const QString unwritable = folder(QStringLiteral("a file/sets"));
    {
        ScriptedAlerts alerts;
        ScriptedFolderPanel panel({unwritable});
        app().menuSave();
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title,
                  Strings::localized(QStringLiteral("SaveSetErrorTitle")));
        EXPECT_EQ(
            alerts.requests()[0].message,
            Strings::localizedFormat(
                QStringLiteral("SaveSetErrorMessage"),
                {Strings::localizedFormat(QStringLiteral("SaveErrorMessage4"), {unwritable})}));
        EXPECT_EQ(alerts.requests()[0].defaultButton, QStringLiteral("OK"));
    }
    EXPECT_EQ(app().nssWriteFolder(), unwritable) << "the next save starts where this one failed";
    EXPECT_EQ(app().nssInitialFolder(), QString());

    const QString empty = folder(QStringLiteral("empty"));
    QDir().mkpath(empty);
    {
        ScriptedAlerts alerts;
        ScriptedFolderPanel panel({empty});
        app().menuLoad();
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].message,
                  Strings::localizedFormat(QStringLiteral("LoadErrorMessage7"), {empty}));
    }
    EXPECT_EQ(texts(history()), QStringList{"kept"});
    EXPECT_TRUE(window().isWindowVisible());
    EXPECT_EQ(app().nssReadFolder(), empty);
    EXPECT_EQ(app().nssInitialFolder(), QString());
}

// Sets stored in a folder that became the data folder after launch were never loaded, and a
// declined replacement is no save: neither the quit nor the declined save may replace them.
TEST_F(MenuFolders, AQuitNeverReplacesSetsStoredInAFolderChosenLater) {
    launch();
    captureEach({"stored before"});
    const QString other = folder(QStringLiteral("other"));
    const QString kept = folder(QStringLiteral("kept"));
    QString error;
    ASSERT_TRUE(window().saveData(other, error, false));
    // Copied there by hand: sets this run never wrote nor read.
    const QMap<QString, QByteArray> before = contents(other);
    QDir().mkpath(kept);
    for (const auto& [name, bytes] : before.asKeyValueRange())
        writeFile(QDir(kept).filePath(name), bytes);
    setInPreferences(
        [&](PreferencesWindow& prefs) { prefs.preferencesFolderText()->setText(kept); });
    captureEach({"captured since"});
    {
        ScriptedAlerts alerts({Alert::AlternateReturn});
        ScriptedFolderPanel panel({other});
        app().menuSave();
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_EQ(alerts.requests()[0].title,
                  Strings::localized(QStringLiteral("SaveWarningTitle")));
    }
    EXPECT_EQ(app().nssWriteFolder(), other);
    EXPECT_EQ(app().nssInitialFolder(), kept);
    EXPECT_EQ(folderField(), kept);
    {
        ScriptedAlerts alerts({Alert::AlternateReturn});
        EXPECT_EQ(app().applicationShouldTerminate(), 1u) << "quit anyway";
        ASSERT_EQ(alerts.requests().size(), 1);
        EXPECT_TRUE(alerts.requests()[0].message.contains(
            Strings::localizedFormat(QStringLiteral("SaveErrorMessage6"), {kept})));
    }
    EXPECT_EQ(contents(kept), before);
    EXPECT_EQ(contents(other), before);

    // Said yes to, the same save replaces the stored sets and takes the folder.
    {
        ScriptedAlerts alerts({Alert::DefaultReturn});
        ScriptedFolderPanel panel({other});
        app().menuSave();
    }
    EXPECT_NE(contents(other), before);
    EXPECT_EQ(app().nssInitialFolder(), other);
}
