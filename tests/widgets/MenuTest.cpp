// The menu bar and the tray icon's menu of the launched application: which commands can act in
// each state of the paste window, and that a command that cannot act does nothing, whether it
// is chosen or pressed as a shortcut.
#include "AppFixture.h"

#include "window/PasteView.h"
#include "window/PasteWin.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QTest>

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
        QList<QMenu*> menus;
        for (const QAction* title : window().getWindow()->findChild<QMenuBar*>()->actions())
            menus << title->menu();
        return enabled(menus);
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
    window().setSelectWindow()->findChild<QComboBox*>()->setEditText(QStringLiteral("A"));
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
    // What the menus saw last no longer holds when the key is pressed: a shortcut goes by the
    // state of that moment, either way.
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
