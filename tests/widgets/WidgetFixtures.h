#pragma once

#include "DefaultDelegate.h"
#include "Fixtures.h"
#include "ScopedEnvironment.h"
#include "ScriptedAlerts.h"
#include "SetFolder.h"
#include "SetTexts.h"
#include "TestPictures.h"

#include "app/MyObject.h"
#include "app/PreferencesWindow.h"
#include "model/ExtraType.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/MemoryPasteboard.h"
#include "platform/Strings.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure messages: gtest would print the UTF-16 units one by one.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.left(200).toStdString() << (text.size() > 200 ? "...\"" : "\"");
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    if (texts.isEmpty())
        *out << "{}";
    else
        *out << "{\"" << texts.join(QStringLiteral("\", \"")).left(400).toStdString() << "\"}";
}

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

// A launched application on an in-memory clipboard, never touching the user's settings.
class AppFixture : public ::testing::Test {
protected:
    QString settingsPath() const { return scratch(QStringLiteral("Kelvrin.ini")); }
    QString scratch(const QString& name) const { return _dir.filePath(name); }

    // Launches with these settings stored, as a user's earlier run left them.
    void launch(std::initializer_list<std::pair<const char*, QVariant>> settings = {}) {
        {
            QSettings stored(settingsPath(), QSettings::IniFormat);
            for (const auto& [key, value] : settings)
                stored.setValue(QString::fromLatin1(key), value);
        }
        _app = std::make_unique<MyObject>(std::make_unique<Defaults>(settingsPath()),
                                          std::move(_ownedPasteboard));
        _app->applicationWillFinishLaunching();
    }
    // Ends this run without a quit, as a crash would, and launches again over the settings and
    // folders it left, on a clipboard of its own.
    void launchAgain(std::initializer_list<std::pair<const char*, QVariant>> settings = {}) {
        _app.reset();
        _ownedPasteboard = std::make_unique<MemoryPasteboard>();
        _pasteboard = _ownedPasteboard.get();
        launch(settings);
    }

    // Over a data folder whose sets cannot be loaded (none yet, or unreadable): one alert says so.
    void launchOver(const QString& dataFolder) {
        ScriptedAlerts alerts;
        launch({{"initial_directory", dataFolder}});
        ASSERT_EQ(alerts.requests().size(), 1) << "no alert of the sets the folder lacks";
    }

    MyObject& app() { return *_app; }
    PreferencesWindow& preferences() {
        _app->menuPreferences();
        return *_app->preferencesWindow();
    }
    void destroy() { _app.reset(); }
    MemoryPasteboard& pasteboard() { return *_pasteboard; }
    PasteWindow& window() { return *_app->pasteWindow(); }
    const PasteSet& history() { return *window().pasteArray().front(); }

    // Another program copies: the content is offered under these names, in this order.
    void copy(const QList<std::pair<QString, std::optional<QByteArray>>>& named) {
        _pasteboard->offer(named);
    }
    void copyText(const QString& text) { copy({{QStringLiteral("UTF8_STRING"), text.toUtf8()}}); }
    // Copies each text in turn, each captured before the next: the last one ends on top.
    void captureEach(std::initializer_list<QString> texts) {
        for (const QString& text : texts) {
            copyText(text);
            tick();
        }
    }
    // One look of the poll; a picture it meets may still be being read on return.
    void poll() { _app->pasteboardCheck(); }
    // One look of the poll, then the wait until what it captured has entered.
    void tick() {
        poll();
        settle();
    }
    void settle() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window().hasPendingCaptures(); }));
    }

private:
    QTemporaryDir _dir;
    const ScopedEnvironment _config{
        {"XDG_CONFIG_HOME", _dir.path().toUtf8().constData()},
        {"XDG_DATA_HOME", (_dir.path() + QStringLiteral("/share")).toUtf8().constData()}};
    std::unique_ptr<MemoryPasteboard> _ownedPasteboard = std::make_unique<MemoryPasteboard>();
    MemoryPasteboard* _pasteboard = _ownedPasteboard.get();
    std::unique_ptr<MyObject> _app;
};
