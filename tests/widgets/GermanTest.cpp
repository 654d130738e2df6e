// In a German locale the windows, menus and alerts speak German, Qt's own texts too; the log and
// the names stored on disk stay as they were.
#include "WidgetFixtures.h"

#include "app/Translators.h"

#include <QAction>
#include <QMenu>

using namespace std::chrono_literals;

namespace {

// A menu's items as they read, each with its shortcut.
QStringList items(const QWidget& window, const char* menuName) {
    const auto* menu = window.findChild<QMenu*>(QString::fromLatin1(menuName));
    QStringList items{menu ? menu->title() : QStringLiteral("no menu")};
    for (const QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (!action->isSeparator())
            items << (action->text() + u' ' + action->shortcut().toString(QKeySequence::NativeText))
                         .trimmed();
    return items;
}

} // namespace

class German : public AppFixture {
protected:
    const ScopedEnvironment _locale{{"LC_ALL", "de_DE.UTF-8"}};
    const Translators _translators;
};

TEST_F(German, TheWindowMenusPreferencesAndAlertsSpeakGermanAndTheLogStaysEnglish) {
    launch({{"autosave", false}});
    captureEach({"eins"});
    const PasteWin& win = *window().getWindow();
    // The key names in the shortcuts are Qt's, from its own German translation.
    EXPECT_EQ(items(win, "MenuFile"),
              (QStringList{"&Datei", "Sammlungen &speichern … Strg+S", "Sammlungen la&den … Strg+O",
                           "&Einstellungen … Strg+,", "&Beenden Strg+Q"}));
    EXPECT_EQ(items(win, "MenuEdit"),
              (QStringList{"&Bearbeiten", "&Alles auswählen Strg+A", "Einträge &löschen …\tEntf",
                           "Zu Sammlung &hinzufügen … Strg+D", "Sammlung löschen …"}));
    EXPECT_EQ(items(win, "MenuWindow"), (QStringList{"&Fenster", "Einfügefenster an&zeigen"}));

    const QAbstractItemModel& table = *window().table()->model();
    QStringList columns;
    for (int column = 0; column < table.columnCount(); ++column)
        columns << table.headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(columns, (QStringList{"Nr.", "Inhalt", "Art"}));
    EXPECT_TRUE(table.index(0, 2).data().toString().startsWith(u"Text\n"));
    EXPECT_EQ(win.status()->itemText(0), QStringLiteral("Text"));
    EXPECT_EQ(win.filter()->placeholderText(), QStringLiteral("Zum Filtern tippen"));
    // The history's name is stored in the files: it stays as every version wrote it.
    EXPECT_EQ(win.list()->itemText(0), PasteWindow::kHistoryName);

    window().selectAllPasteData();
    {
        ScriptedAlerts alerts({Alert::DefaultReturn});
        window().deletePasteData();
        ASSERT_EQ(alerts.requests().size(), 1);
        const Alert::Request& asked = alerts.requests().front();
        EXPECT_EQ(asked.title, QStringLiteral("Einträge löschen?"));
        EXPECT_EQ(QStringList({asked.defaultButton, asked.alternateButton}),
                  (QStringList{"Abbrechen", "Löschen"}));
    }

    PreferencesWindow& prefs = preferences();
    EXPECT_EQ(prefs.windowTitle(), QStringLiteral("Kelvrin-Einstellungen"));
    EXPECT_EQ(prefs.preferencesControl()->text(), QStringLiteral("Strg"));
    EXPECT_EQ(prefs.preferencesKey()->itemText(1), QStringLiteral("Nach unten"));
    EXPECT_EQ(prefs.preferencesKey()->itemText(4), QStringLiteral("F1"));
    EXPECT_EQ(prefs.preferencesKeepClipboard()->text(),
              QStringLiteral("Zwischenablage behalten, wenn das Quellprogramm beendet wird"));
    EXPECT_EQ(prefs.folderButton()->text(), QStringLiteral("Auswählen …"));
    prefs.cancelButton()->click();

    // The log stays English.
    SetFolder::write(scratch("file"), {});
    const QString folder = scratch("file/data");
    Log::Capture log;
    captureEach({"zwei"});
    const auto start = PasteWindow::Clock::now();
    window().autosaveCheck(folder, start);
    window().autosaveCheck(folder, start + 5s);
    window().finishAutosave();
    EXPECT_EQ(log.lines().filter(QStringLiteral("[autosave]")),
              QStringList(QStringLiteral("warning*** :[autosave] [sets not saved: The folder %1 "
                                         "could not be created.]")
                              .arg(folder)));
}
