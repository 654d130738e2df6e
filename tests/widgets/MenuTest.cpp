// The menu bar and the tray menu: which commands can act in each state, chosen or as shortcuts.
#include "ScriptedFolderPanel.h"
#include "WidgetFixtures.h"

#include <QAction>
#include <QMap>
#include <QMenuBar>

class Menus : public AppFixture {
protected:
    void SetUp() override {
        launch();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window().getWindow()));
        captureEach({"b", "a"});
    }

    // Opens the menus as the user does, which validates them, and names their enabled items.
    static QString enabled(const QList<QMenu*>& menus) {
        QStringList names;
        for (QMenu* menu : menus) {
            menu->popup(QPoint(0, 0));
            for (const QAction* action : menu->actions())
                if (!action->isSeparator() && action->isEnabled())
                    names << action->objectName();
            menu->hide();
        }
        return names.join(u' ');
    }
    QString barEnabled() {
        return enabled(window().getWindow()->findChild<QMenuBar*>()->findChildren<QMenu*>());
    }
    QString trayEnabled() { return enabled({app().statusItem()->contextMenu()}); }
    QAction* action(const char* name) { return app().findChild<QAction*>(name); }
    void ctrl(Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus);
        QTest::keyClick(focus, key, Qt::ControlModifier);
    }
};

TEST_F(Menus, EachCommandIsEnabledOnlyWhileItCanAct) {
    const QString always = QStringLiteral("MenuPreferences MenuQuit");
    EXPECT_EQ(barEnabled(), "MenuSave MenuLoad " + always + " MenuSelectAllData");
    window().table()->selectRow(0);
    EXPECT_EQ(barEnabled(),
              "MenuSave MenuLoad " + always + " MenuSelectAllData MenuDeleteData MenuAddSet");

    // Under either sheet nothing acts on sets or clippings, rows selected or not.
    action("MenuAddSet")->trigger();
    ASSERT_TRUE(window().setSelectWindow()->isVisible());
    EXPECT_EQ(barEnabled(), always);
    window().setSelectWindow()->findChild<QComboBox*>()->setEditText("A");
    window().setSelectWindowOk();
    window().table()->clearSelection();
    EXPECT_EQ(barEnabled(), "MenuSave MenuLoad " + always + " MenuSelectAllData MenuDeleteSet");
    action("MenuDeleteSet")->trigger();
    window().table()->selectRow(0);
    EXPECT_EQ(barEnabled(), always);
    window().setDeleteWindowCancel();

    // Hidden, the window is reached through the tray icon, whose menu offers only to show it.
    window().pasteWindowOrderOut();
    EXPECT_EQ(trayEnabled(), "MenuShowWindow " + always);
    action("MenuShowWindow")->trigger();
    EXPECT_TRUE(window().isWindowVisible());
    EXPECT_EQ(trayEnabled(), "MenuSelectAllData MenuDeleteData MenuAddSet MenuDeleteSet MenuSave "
                             "MenuLoad " +
                                 always);
    EXPECT_FALSE(app().statusItem()->icon().pixmap(22).isNull()) << "the icon cannot be drawn";
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(Menus, AShortcutActsOnlyWhenItsCommandCan) {
    PasteView* table = window().table();
    // A shortcut goes by the state when the key is pressed, not when the menus last opened.
    table->selectRow(0);
    barEnabled();
    table->clearSelection();
    ctrl(Qt::Key_D);
    EXPECT_FALSE(window().setSelectWindow()->isVisible());
    barEnabled();
    table->selectRow(1);
    ctrl(Qt::Key_D);
    ASSERT_TRUE(window().setSelectWindow()->isVisible());
    window().setSelectWindowCancel();

    // Back in the window the shortcuts act again; Quit takes the accepted quit.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window().getWindow()));
    ctrl(Qt::Key_A);
    EXPECT_EQ(window().selectedRows(), 2);
    ctrl(Qt::Key_Q);
    EXPECT_TRUE(app().isQuitting());
    EXPECT_FALSE(window().isWindowVisible());
}

// Save Sets and Load Sets: the folder panels, the data folder they may move, and their failures.
class MenuFolders : public AppFixture {
protected:
    void SetUp() override { launch(); }
    static QMap<QString, QByteArray> contents(const QString& path) {
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(path).entryList(QDir::Files | QDir::Hidden))
            files[name] = readFile(QDir(path).filePath(name));
        return files;
    }
    void setInPreferences(const std::function<void(PreferencesWindow&)>& change) {
        change(preferences());
        app().preferencesWindow()->okButton()->click();
    }
    QString folderField() { return app().preferencesWindow()->preferencesFolderText()->text(); }
};

TEST_F(MenuFolders, ASavedFolderBecomesTheDataFolderAndLoadsBackWhenTheSettingSaysSo) {
    captureEach({"one", "two"});
    setInPreferences([](PreferencesWindow&) {});
    const QString panelStart = QDir::homePath() + QStringLiteral("/Documents/Kelvrin/");
    const QString saved = scratch("saved/here"), copy = scratch("copy");
    ScriptedFolderPanel panel({saved, saved, copy, copy});
    app().menuSave();
    ASSERT_EQ(panel.requests().size(), 1);
    EXPECT_EQ(panel.requests()[0].title, Strings::localized("SaveSetTitle"));
    EXPECT_EQ(panel.requests()[0].startFolder, panelStart);
    EXPECT_TRUE(panel.requests()[0].canCreateFolders);
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(saved));
    EXPECT_EQ(app().nssWriteFolder(), saved);
    EXPECT_EQ(app().nssInitialFolder(), saved);
    EXPECT_EQ(folderField(), saved) << "the preferences show the new data folder at once";

    captureEach({"three, captured since"});
    app().menuLoad();
    ASSERT_EQ(panel.requests().size(), 2);
    EXPECT_EQ(panel.requests()[1].title, Strings::localized("LoadSetTitle"));
    EXPECT_EQ(panel.requests()[1].startFolder, panelStart);
    EXPECT_FALSE(panel.requests()[1].canCreateFolders);
    EXPECT_EQ(texts(history()), (QStringList{"two", "one"})) << "the history is replaced too";
    EXPECT_EQ(app().nssReadFolder(), saved);
    EXPECT_TRUE(window().isWindowVisible());

    // With the setting off a save or a load leaves the data folder where it is.
    setInPreferences([](PreferencesWindow& prefs) { prefs.preferencesUpdateFolder()->click(); });
    app().menuSave();
    app().menuLoad();
    EXPECT_TRUE(window().kelvrinFileExistsIndirectory(copy));
    EXPECT_EQ(app().nssWriteFolder(), copy);
    EXPECT_EQ(app().nssReadFolder(), copy);
    EXPECT_EQ(app().nssInitialFolder(), saved);
    EXPECT_EQ(folderField(), saved);
}

TEST_F(MenuFolders, FailuresAndCancelsLeaveTheSetsAndTheDataFolder) {
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
    SetFolder::write(scratch("a file"), {});
    const QString unwritable = scratch("a file/sets"), empty = scratch("empty");
    QDir().mkpath(empty);
    ScriptedAlerts alerts;
    ScriptedFolderPanel panel({unwritable, empty});
    app().menuSave();
    ASSERT_EQ(alerts.requests().size(), 1);
    EXPECT_EQ(alerts.requests()[0].title, Strings::localized("SaveSetErrorTitle"));
    EXPECT_EQ(
        alerts.requests()[0].message,
        Strings::localizedFormat("SaveSetErrorMessage",
                                 {Strings::localizedFormat("SaveErrorMessage4", {unwritable})}));
    EXPECT_EQ(alerts.requests()[0].defaultButton, QStringLiteral("OK"));
    EXPECT_EQ(app().nssWriteFolder(), unwritable) << "the next save starts where this one failed";
    EXPECT_EQ(app().nssInitialFolder(), QString());

    app().menuLoad();
    ASSERT_EQ(alerts.requests().size(), 2);
    EXPECT_EQ(alerts.requests()[1].message, Strings::localizedFormat("LoadErrorMessage7", {empty}));
    EXPECT_EQ(texts(history()), QStringList{"kept"});
    EXPECT_TRUE(window().isWindowVisible());
    EXPECT_EQ(app().nssReadFolder(), empty);
    EXPECT_EQ(app().nssInitialFolder(), QString());
}

// Neither the quit nor a declined save may replace sets in a data folder chosen after launch.
TEST_F(MenuFolders, AQuitNeverReplacesSetsStoredInAFolderChosenLater) {
    captureEach({"stored before"});
    const QString other = scratch("other");
    const QString kept = scratch("kept");
    QString error;
    ASSERT_TRUE(window().saveData(other, error, false));
    // Copied there by hand: sets this run never wrote nor read.
    const QMap<QString, QByteArray> before = contents(other);
    QDir().mkpath(kept);
    for (const auto& [name, bytes] : before.asKeyValueRange())
        SetFolder::write(QDir(kept).filePath(name), bytes);
    setInPreferences(
        [&](PreferencesWindow& prefs) { prefs.preferencesFolderText()->setText(kept); });
    captureEach({"captured since"});
    ScriptedAlerts alerts({Alert::AlternateReturn, Alert::AlternateReturn, Alert::DefaultReturn});
    ScriptedFolderPanel panel({other, other});
    app().menuSave();
    ASSERT_EQ(alerts.requests().size(), 1);
    EXPECT_EQ(alerts.requests()[0].title, Strings::localized("SaveWarningTitle"));
    EXPECT_EQ(app().nssWriteFolder(), other);
    EXPECT_EQ(app().nssInitialFolder(), kept);
    EXPECT_EQ(folderField(), kept);
    EXPECT_EQ(app().applicationShouldTerminate(), 1u) << "quit anyway";
    ASSERT_EQ(alerts.requests().size(), 2);
    EXPECT_TRUE(alerts.requests()[1].message.contains(
        Strings::localizedFormat("SaveErrorMessage6", {kept})));
    EXPECT_EQ(contents(kept), before);
    EXPECT_EQ(contents(other), before);

    // Said yes to, the same save replaces the stored sets and takes the folder.
    app().menuSave();
    EXPECT_NE(contents(other), before);
    EXPECT_EQ(app().nssInitialFolder(), other);
}
