// The German texts are longer than the English ones. On a real display each of them fits the
// control that shows it: the paste window, the preferences and both sheets.
#include "tests/e2e/E2eHarness.h"

#include "ScopedEnvironment.h"

#include "app/PreferencesWindow.h"
#include "app/Translators.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionFrame>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// What QLineEdit leaves between its contents' edges and the text on either side.
constexpr int kLineEditMargin = 2;

// The texts of the window shown narrower than they need: buttons and check boxes, labels, the
// titles of groups and of the table's columns.
QStringList cutTexts(const QWidget& window) {
    QStringList cut;
    const auto check = [&](const QWidget& control, const QString& text, int needed, int has) {
        if (control.isVisible() && has < needed)
            cut << QStringLiteral("%1: %2 px of %3").arg(text).arg(has).arg(needed);
    };
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        check(*button, button->text(), button->sizeHint().width(), button->width());
    for (const QLabel* label : window.findChildren<QLabel*>())
        check(*label, label->text(), label->sizeHint().width(), label->width());
    // A placeholder is drawn inside the field's text margins, and cut at its end.
    for (const QLineEdit* field : window.findChildren<QLineEdit*>()) {
        QStyleOptionFrame frame;
        frame.initFrom(field);
        frame.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, field);
        const int inside =
            field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field).width() -
            2 * kLineEditMargin;
        check(*field, field->placeholderText(),
              field->fontMetrics().horizontalAdvance(field->placeholderText()), inside);
    }
    for (const QGroupBox* group : window.findChildren<QGroupBox*>())
        check(*group, group->title(), group->minimumSizeHint().width(), group->width());
    for (const QHeaderView* header : window.findChildren<QHeaderView*>())
        if (header->orientation() == Qt::Horizontal)
            for (int column = 0; column < header->count(); ++column)
                check(*header, header->model()->headerData(column, Qt::Horizontal).toString(),
                      header->sectionSizeHint(column), header->sectionSize(column));
    return cut;
}

// The texts of the window once it is on the screen, where the window manager has had its say.
QStringList cutTextsShown(QWidget& window) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    return cutTexts(window);
}

} // namespace

TEST(GermanWindows, EveryTextFitsItsControl) {
    const ScopedEnvironment locale{{"LC_ALL", "de_DE.UTF-8"}};
    const Translators translators;
    Kelvrin kelvrin;
    copyEach(kelvrin, {QStringLiteral("Ein Text aus dem Browser")});
    PasteWindow& paste = kelvrin.window();
    paste.showPasteWindow();
    EXPECT_EQ(cutTextsShown(*paste.getWindow()), QStringList());

    paste.selectAllPasteData();
    for (const auto openSheet : {&PasteWindow::addSet, &PasteWindow::deleteSet}) {
        (paste.*openSheet)();
        const QList<QDialog*> sheets = paste.getWindow()->findChildren<QDialog*>();
        const auto sheet = std::ranges::find_if(sheets, &QWidget::isVisible);
        ASSERT_NE(sheet, sheets.end());
        EXPECT_EQ(cutTextsShown(**sheet), QStringList());
        (*sheet)->reject();
    }

    kelvrin.app().menuPreferences();
    PreferencesWindow& prefs = *kelvrin.app().preferencesWindow();
    EXPECT_EQ(cutTextsShown(prefs), QStringList());
    prefs.cancelButton()->click();
}
