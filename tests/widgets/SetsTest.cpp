#include "WidgetFixtures.h"

#include <QFile>

class Sets : public WindowFixture {
protected:
    QComboBox* selectCombo() {
        return _window.setSelectWindow()->findChild<QComboBox*>(QStringLiteral("_setSelectCombo"));
    }

    bool addTo(const QString& name) { return addToSet(_window, name); }
    void makeSets(const QStringList& names) {
        table()->clearSelection();
        for (const QString& name : names)
            ASSERT_TRUE(addTo(name));
    }
    QStringList setNames() { return items(setList()); }
    static QStringList items(const QComboBox* combo) {
        QStringList names;
        for (int item = 0; item < combo->count(); ++item)
            names << combo->itemText(item);
        return names;
    }
};

TEST_F(Sets, CopyingIntoASetKeepsTheOrderAndTheShownSetAndTheArrowsStepThroughTheSets) {
    key(Qt::Key_Right);
    key(Qt::Key_Left);
    EXPECT_EQ(setList()->currentIndex(), 0) << "the history alone stays shown";
    captureTexts({"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7"});
    select({7, 2, 5});
    ASSERT_TRUE(addTo(QStringLiteral("A")));
    EXPECT_EQ(setNames(), (QStringList{PasteWindow::kHistoryName, "A"}));
    EXPECT_EQ(texts(set(1)), (QStringList{"r2", "r5", "r7"}));
    EXPECT_EQ(set(1).getDataAtIndex(2)->number(), 3);
    EXPECT_EQ(setList()->currentIndex(), 0);
    EXPECT_EQ(_window.bShowSheet(), 0);

    // An existing set at the limit takes the copies at its head and drops its last ones.
    _delegate.limit = 3;
    select({0, 1});
    ASSERT_TRUE(addTo(QStringLiteral("A")));
    EXPECT_EQ(texts(set(1)), (QStringList{"r0", "r1", "r2"}));
    EXPECT_EQ(setNames().size(), 2) << "an existing set is not made again";

    // Stepping wraps around and keeps the selection.
    ASSERT_TRUE(addTo(QStringLiteral("B")));
    select({1});
    key(Qt::Key_Left);
    EXPECT_EQ(setList()->currentIndex(), 2);
    key(Qt::Key_Right);
    EXPECT_EQ(setList()->currentIndex(), 0);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({1}));
    EXPECT_EQ(table()->model()->rowCount(), 8);
}

TEST_F(Sets, TheAddSheetStandsItsItemsForTheRightSetsAndRefusedNamesBeepAndKeepItOpen) {
    captureTexts({"x"});
    makeSets({"A", "B", "C"});
    _window.addSet();
    EXPECT_EQ(items(selectCombo()), (QStringList{"A", "B", "C"})) << "never the history";
    EXPECT_EQ(selectCombo()->currentText(), QStringLiteral("C")) << "the last name typed stays";
    EXPECT_FALSE(_window.isWindowAccepted()) << "the sheet flag is up";
    _window.setSelectWindow()->findChild<QPushButton*>("cancelButton")->click();
    EXPECT_EQ(_window.bShowSheet(), 0);

    // With set A (1) shown, item 0 is B (2) and item 1 is C (3).
    setList()->setCurrentIndex(1);
    _window.addSet();
    EXPECT_EQ(items(selectCombo()), (QStringList{"B", "C"}));
    setList()->setCurrentIndex(0);
    select({0});
    setList()->setCurrentIndex(1);
    selectCombo()->setCurrentIndex(1);
    selectCombo()->setEditText(QString());
    _window.setSelectWindow()->findChild<QPushButton*>("okButton")->click();
    EXPECT_EQ(set(3).pasteData().size(), 0u) << "A shows nothing selected";

    // The history's own names, nothing chosen, the shown set, names never storable or that would
    // split the list line, one needing a folder that is not there, and the files of B and history.
    const QStringList refused =
        QStringList{"", "A", "../outside", "two\nlines", "cr\r", "notes/2024", "/B"}
        << PasteWindow::kHistoryName << PasteWindow::kHistoryName + "2" << QString(250, u'x')
        << QString::fromUtf8("nul\0", 4) << "./" + PasteWindow::kHistoryName;
    Log::Capture log;
    ScriptedAlerts alerts;
    for (const QString& name : refused)
        EXPECT_FALSE(addTo(name)) << name.toStdString();
    EXPECT_EQ(alerts.beeps(), refused.size());
    EXPECT_EQ(log.lines().filter(QStringLiteral("isn't allowed!")).size(), 2);
    EXPECT_TRUE(log.contains(QStringLiteral("warning*** :[addSet] input[PasteBoard History] "
                                            "isn't allowed!")));
    EXPECT_EQ(_window.bShowSheet(), 1);
    _window.setSelectWindow()->findChild<QPushButton*>("cancelButton")->click();
    for (const QString& name : {QStringLiteral("PasteBoard Histor"),
                                QStringLiteral("pasteboard history"), QStringLiteral("/notes")})
        EXPECT_TRUE(addTo(name)) << name.toStdString();
    // A long name shows elided: the window keeps its size.
    const int width = _window.getWindow()->minimumSizeHint().width();
    EXPECT_TRUE(addTo(QString(80, QChar(0x6587))));
    EXPECT_EQ(setNames().size(), 8);
    EXPECT_EQ(_window.getWindow()->minimumSizeHint().width(), width);
}

TEST_F(Sets, DeletingASetKeepsTheRightSetShownAndRemovesItsFileOnlyWhenAsked) {
    QTemporaryDir folder;
    _delegate.initialFolder = folder.path();
    captureTexts({"x"});
    makeSets({"A", "B", "C"});
    for (const char* name : {"A", "B"})
        QFile(folder.filePath(QString::fromLatin1(name) + ".KVdata")).open(QIODevice::WriteOnly);
    auto deleteSet = [&](int item, bool withFile) {
        _window.deleteSet();
        auto* combo = _window.setDeleteWindow()->findChild<QComboBox*>("_setDeleteCombo");
        EXPECT_EQ(combo->currentText(), QString()) << "opens with nothing chosen";
        combo->setCurrentIndex(item);
        _window.setDeleteWindow()->findChild<QCheckBox*>()->setChecked(withFile);
        _window.setDeleteWindow()->findChild<QPushButton*>("okButton")->click();
    };
    {
        ScriptedAlerts alerts;
        _window.deleteSet();
        _window.setDeleteWindow()->findChild<QPushButton*>("okButton")->click();
        EXPECT_EQ(alerts.beeps(), 1) << "OK with no set chosen";
        _window.setDeleteWindow()->findChild<QPushButton*>("cancelButton")->click();
    }
    setList()->setCurrentIndex(2); // B
    Log::Capture log;
    deleteSet(0, true); // A, before the shown set
    EXPECT_EQ(setList()->currentText(), QStringLiteral("B"));
    EXPECT_FALSE(QFile::exists(folder.filePath("A.KVdata")));
    EXPECT_TRUE(
        log.contains(QStringLiteral("information:[setDeleteWindowOk] [remove file=%1/A.KVdata]")
                         .arg(folder.path())));
    deleteSet(1, false); // C, after it
    EXPECT_EQ(setList()->currentText(), QStringLiteral("B"));
    deleteSet(0, false); // B itself
    EXPECT_EQ(setList()->currentIndex(), 0);
    EXPECT_TRUE(QFile::exists(folder.filePath("B.KVdata")));
    EXPECT_EQ(setNames(), QStringList{PasteWindow::kHistoryName});
    EXPECT_EQ(_window.pasteArray().size(), 1u);

    // Were two sets ever to share a file, deleting one leaves the file to the other.
    makeSets({"D", "E"});
    _window.pasteArray()[2]->setName(QStringLiteral("./D"));
    QFile(folder.filePath("D.KVdata")).open(QIODevice::WriteOnly);
    deleteSet(0, true);
    EXPECT_TRUE(QFile::exists(folder.filePath("D.KVdata")));

    // Without a data folder the file would be looked for at the root: nothing is removed.
    _delegate.initialFolder.clear();
    makeSets({"tmp"});
    deleteSet(0, true);
    EXPECT_EQ(log.lines().filter(QStringLiteral("remove file")).size(), 1);
}
