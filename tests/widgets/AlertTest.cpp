#include "ScriptedAlerts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Shows a real panel and, once it is up, acts on it as a person would.
int answerPanel(const QString& message, int safeAnswer,
                const std::function<void(QMessageBox&)>& act) {
    Alert::setResponder({});
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        act(*box);
    });
    const int answer = Alert::run(QStringLiteral("Title"), message, QStringLiteral("Yes"),
                                  QStringLiteral("No"), safeAnswer);
    ScriptedAlerts::refuseUnscripted();
    return answer;
}

} // namespace

TEST(Alert, EscapeAndTheCloseButtonTakeTheAnswerThatChangesNothingAndMarkupShowsAsItStands) {
    for (const int safe : {Alert::DefaultReturn, Alert::AlternateReturn}) {
        EXPECT_EQ(
            answerPanel({}, safe, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }),
            safe);
        EXPECT_EQ(answerPanel({}, safe, [](QMessageBox& box) { box.close(); }), safe);
    }
    EXPECT_EQ(answerPanel({}, Alert::AlternateReturn,
                          [](QMessageBox& box) { box.defaultButton()->click(); }),
              Alert::DefaultReturn);

    const QString message = QStringLiteral("/tmp/<a href=\"file:///etc\">sets</a>/<b>x</b>");
    answerPanel(message, Alert::DefaultReturn, [&](QMessageBox& box) {
        bool shown = false;
        for (const QLabel* label : box.findChildren<QLabel*>()) {
            shown = shown || label->text() == message;
            if (!label->text().isEmpty()) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
            }
        }
        EXPECT_TRUE(shown);
        QTest::keyClick(&box, Qt::Key_Escape);
    });
}
