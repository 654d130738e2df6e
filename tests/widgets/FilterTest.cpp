#include "WidgetFixtures.h"

#include <QRandomGenerator>

class Filter : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        _delegate.recentlyTop = 0;
        _window.showPasteWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(_window.getWindow()));
    }
    QLineEdit* field() { return _window.getWindow()->filter(); }

    // Each character as a key of its own that types it; a surrogate pair is one key.
    void type(const QString& text, Qt::KeyboardModifiers modifiers = {}) {
        for (const uint codePoint : text.toUcs4()) {
            const auto character = char32_t(codePoint);
            QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers,
                            QString::fromUcs4(&character, 1));
            QApplication::sendEvent(table(), &event);
        }
    }
    // The rows of the table as "number text".
    QStringList shown() {
        QStringList rows;
        const QAbstractItemModel* model = table()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + u' ' +
                        model->index(row, 1).data().toString();
        return rows;
    }
};

TEST_F(Filter, ClippingsShowWhenTheirTextContainsTheFilterWhateverTheCaseAndAccents) {
    captureTexts({"Café au lait", "CAFE NOIR", QString::fromUtf8("cafe\u0301 cre\u0300me"), "tea",
                  "Ελλάδα", QString::fromUtf8("\U00010400 letter"), "שלום עולם"});
    capture(std::nullopt, ExtraType::TIFF, TestPictures::tiffOfPoints(4, 4));
    const QStringList all = shown();
    type("cafe");
    EXPECT_EQ(shown(), (QStringList{"2 Café au lait", "3 CAFE NOIR",
                                    QString::fromUtf8("4 cafe\u0301 cre\u0300me")}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    // Each filter and the numbers of the rows it shows. An accent typed first shows nothing; the
    // letters after it are looked for in the whole set, not in what the accent showed.
    const QList<std::pair<QString, QList<int>>> filters = {
        {"CAFÉ", {2, 3, 4}}, {"cafe\u0301", {2, 3, 4}}, {"cafe ", {2, 3, 4}}, {"e cr", {4}},
        {"ελλαδα", {6}},     {"\U00010428", {7}}, // the small letter of the one copied
        {"עולם", {8}},       {"\u0301cafe", {2, 3, 4}}};
    for (const auto& [typed, numbers] : filters) {
        field()->clear();
        type(typed);
        QStringList expected;
        for (const int number : numbers)
            expected << all[number - 1];
        EXPECT_EQ(shown(), expected) << typed.toStdString();
    }

    // Nothing but accents, a lone half of a surrogate pair, a long paste of anything: nothing.
    QString noise;
    QRandomGenerator random(13);
    while (noise.size() < 10000) {
        const char32_t codePoint = random.bounded(0x20, 0x30000);
        if (QChar::category(codePoint) != QChar::Other_Surrogate)
            noise += QString::fromUcs4(&codePoint, 1);
    }
    for (const QString& typed :
         {QString::fromUtf8("\u0301\u0308"), QString(QChar(0xd800)), noise}) {
        field()->clear();
        field()->insert(typed);
        EXPECT_EQ(shown(), QStringList()) << typed.size();
        EXPECT_EQ(table()->numberOfSelectedRows(), 0);
    }
    EXPECT_EQ(history().pasteData().size(), 8u);
}

TEST_F(Filter, KeysTypeEditAndCloseTheFilterAndKeepTheirMeaningOutsideIt) {
    captureTexts({"alpha", "beta", "gamma", "alphabet"});
    for (const auto modifier : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier})
        type(QStringLiteral("l"), modifier);
    EXPECT_FALSE(_window.isFilterOpen());
    type(QStringLiteral("l"));
    ASSERT_TRUE(_window.isFilterOpen());
    EXPECT_EQ(field()->text(), QStringLiteral("l"));
    EXPECT_EQ(QApplication::focusWidget(), table()) << "the keyboard stays in the table";
    EXPECT_EQ(shown(), (QStringList{"1 alpha", "4 alphabet"}));
    table()->selectAll();
    type(QStringLiteral("P"), Qt::ShiftModifier);
    EXPECT_EQ(shown(), (QStringList{"1 alpha", "4 alphabet"}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0})) << "Shift extends nothing";

    // A shorter filter finds again what the longer one hid: the whole set is searched anew.
    type(QStringLiteral("hab"));
    ASSERT_EQ(shown(), QStringList{"4 alphabet"});
    key(Qt::Key_Backspace);
    EXPECT_EQ(field()->text(), QStringLiteral("lPha"));
    EXPECT_EQ(shown(), (QStringList{"1 alpha", "4 alphabet"}));
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    key(Qt::Key_Backspace, QEvent::KeyPress, {}, true);
    key(Qt::Key_Backspace, QEvent::KeyPress, {}, true);
    ASSERT_EQ(field()->text(), QStringLiteral("lP"));

    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace, QEvent::KeyPress, {}, true);
    EXPECT_EQ(field()->text(), QString());
    EXPECT_EQ(shown().size(), 4);
    EXPECT_EQ(table()->selectedRowIndexes(), IndexSet({0}));
    // Still held, it has just emptied the filter: an alert would fail the test.
    key(Qt::Key_Backspace, QEvent::KeyPress, {}, true);
    {
        ScriptedAlerts alerts({ScriptedAlerts::kEscape, ScriptedAlerts::kEscape});
        key(Qt::Key_Backspace);
        key(Qt::Key_Delete);
        EXPECT_EQ(alerts.requests().size(), 2) << "an empty filter leaves them to delete";
    }

    QTest::keyClick(table(), Qt::Key_Escape);
    EXPECT_FALSE(_window.isFilterOpen());
    EXPECT_EQ(_delegate.wentBack, 0);
    QTest::keyClick(table(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(_window.isFilterOpen());
    EXPECT_EQ(shown().size(), 4) << "an empty filter hides nothing";
    type(QStringLiteral("be"));
    EXPECT_EQ(shown(), (QStringList{"2 beta", "4 alphabet"}));
    QTest::keyClick(table(), Qt::Key_Escape);
    EXPECT_EQ(shown().size(), 4);
    QTest::keyClick(table(), Qt::Key_Escape);
    EXPECT_EQ(_delegate.wentBack, 1) << "with no filter Escape goes back";

    type(QStringLiteral("gam"));
    _window.pasteWindowOrderOut();
    EXPECT_FALSE(_window.isFilterOpen());
    EXPECT_EQ(shown().size(), 4) << "hiding the window ends the filter";
}

TEST_F(Filter, EveryCommandActsOnTheClippingsItsRowsShowAndHiddenOnesStayAsTheyAre) {
    _delegate.hide = 0;
    captureTexts({"red apple", "green pear", "red cherry", "blue plum", "red grape"});
    type(QStringLiteral("red"));
    ASSERT_EQ(shown(), (QStringList{"1 red apple", "3 red cherry", "5 red grape"}));
    QTest::keyClick(table(), Qt::Key_Down);
    QTest::keyClick(table(), Qt::Key_Return);
    EXPECT_EQ(_delegate.contents, QStringLiteral("red cherry"));
    select({1, 2});
    EXPECT_TRUE(paste());
    EXPECT_EQ(_delegate.contents, QStringLiteral("red cherryred grape"));

    // Dragged out, the rows are the set's; back into the table they are refused.
    std::unique_ptr<QMimeData> dragged(_window.writeRowsWithIndexes({2}));
    EXPECT_EQ(dragged->text(), QStringLiteral("red grape"));
    EXPECT_EQ(_window.draggedDatas(), IndexSet({4}));
    QAbstractItemModel* model = table()->model();
    EXPECT_FALSE(model->canDropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_FALSE(model->dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
    QMimeData foreign;
    foreign.setText("red wine");
    ASSERT_TRUE(model->canDropMimeData(&foreign, Qt::CopyAction, 1, 0, {}));
    ASSERT_TRUE(model->dropMimeData(&foreign, Qt::CopyAction, 1, 0, {}));
    EXPECT_EQ(texts(history()), (QStringList{"red apple", "green pear", "red wine", "red cherry",
                                             "blue plum", "red grape"}));
    EXPECT_EQ(shown(), (QStringList{"1 red apple", "3 red wine", "4 red cherry", "6 red grape"}));

    select({0, 3});
    ASSERT_TRUE(addToSet(_window, QStringLiteral("Reds")));
    EXPECT_EQ(texts(set(1)), (QStringList{"red apple", "red grape"}));

    select({1, 2});
    {
        ScriptedAlerts alerts({Alert::AlternateReturn});
        QTest::keyClick(table(), Qt::Key_Delete);
    }
    EXPECT_EQ(texts(history()), (QStringList{"red apple", "green pear", "blue plum", "red grape"}));
    EXPECT_EQ(shown(), (QStringList{"1 red apple", "4 red grape"}));

    // Captures while filtering: a match shows, the rest wait unseen; trimming drops hidden rows.
    _delegate.limit = 4;
    capture("Red rose");
    capture("white lily");
    EXPECT_EQ(texts(history()), (QStringList{"white lily", "Red rose", "red apple", "green pear"}));
    EXPECT_EQ(shown(), (QStringList{"2 Red rose", "3 red apple"}));

    // The filter stays with the next set; Escape brings back every row.
    QTest::keyClick(table(), Qt::Key_Right);
    EXPECT_EQ(shown(), (QStringList{"1 red apple", "2 red grape"}));
    type(QStringLiteral(" g"));
    EXPECT_EQ(shown(), QStringList{"2 red grape"});
    QTest::keyClick(table(), Qt::Key_Escape);
    EXPECT_EQ(shown(), (QStringList{"1 red apple", "2 red grape"}));
}
