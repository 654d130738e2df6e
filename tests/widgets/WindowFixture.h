#pragma once

#include "DefaultDelegate.h"
#include "ScriptedAlerts.h"
#include "SetTexts.h"
#include "TestPictures.h"

#include "model/ExtraType.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

// Opens the add-to-set sheet, types the name and presses OK; true when the sheet closed.
inline bool addToSet(PasteWindow& window, const QString& name) {
    window.addSet();
    window.setSelectWindow()->findChild<QComboBox*>()->setEditText(name);
    window.setSelectWindow()->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    return !window.setSelectWindow()->isVisible();
}

// Settings a test may change, and a paste callback that keeps what it was handed.
class StandInDelegate : public DefaultDelegate {
public:
    QString nssInitialFolder() const override { return initialFolder; }
    qint64 iLimits() const override { return limit; }
    signed char bHide() const override { return hide; }
    signed char bRecentlyTop() const override { return recentlyTop; }

    bool frontmostSendPSN() override {
        ++wentBack;
        return false;
    }
    bool doPasteCommand(const PasteData& data) override {
        handed.push_back(&data);
        contents = data.contents();
        extraType = data.extraType();
        extraData = data.extraData();
        return answer;
    }

    QString initialFolder;
    qint64 limit = 100;
    signed char hide = 1;
    signed char recentlyTop = 1;
    bool answer = true;
    int wentBack = 0;
    std::vector<const PasteData*> handed;
    std::optional<QString> contents;
    qint32 extraType = -1;
    std::optional<QByteArray> extraData;
};

// A loaded paste window with a stand-in application.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        _window.initWindow(&_delegate);
        _window.getWindow();
    }

    // Adds a clipping to the history the way a capture does: the last one given ends on top.
    void capture(const std::optional<QString>& text, qint32 code = ExtraType::Text,
                 const std::optional<QByteArray>& payload = std::nullopt) {
        ASSERT_TRUE(_window.addPasteData(text, code, payload, true, false, 0));
    }
    // The history holding these texts, the first one on top.
    void captureTexts(const QStringList& texts) {
        for (auto text = texts.rbegin(); text != texts.rend(); ++text)
            capture(*text);
    }

    // Selects the rows in the order given, as a user clicking them would.
    void select(std::initializer_list<int> rows) {
        QItemSelectionModel* selection = table()->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->setCurrentIndex(table()->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    void key(int key, QEvent::Type type = QEvent::KeyPress, Qt::KeyboardModifiers modifiers = {},
             bool autoRepeat = false) {
        QKeyEvent event(type, key, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(table(), &event);
    }

    bool paste() {
        bool pasted = true;
        EXPECT_TRUE(_window.doPaste(pasted));
        return pasted;
    }

    PasteView* table() { return _window.table(); }
    QComboBox* setList() { return _window.getWindow()->list(); }
    const PasteSet& history() { return *_window.pasteArray().front(); }
    const PasteSet& set(size_t index) { return *_window.pasteArray().at(index); }

    StandInDelegate _delegate;
    PasteWindow _window;
};
