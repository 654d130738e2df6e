#pragma once

#include "Fixtures.h"
#include "ScopedEnvironment.h"
#include "ScriptedAlerts.h"
#include "SetFolder.h"
#include "SetTexts.h"

#include "app/MyObject.h"
#include "app/PreferencesWindow.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/MemoryPasteboard.h"
#include "platform/Strings.h"
#include "window/PasteView.h"
#include "window/PasteWin.h"
#include "window/PasteWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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
    // One look of the poll; a picture it meets is still being read on return.
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
    const ScopedEnvironment _config{{"XDG_CONFIG_HOME", _dir.path().toUtf8().constData()}};
    std::unique_ptr<MemoryPasteboard> _ownedPasteboard = std::make_unique<MemoryPasteboard>();
    MemoryPasteboard* _pasteboard = _ownedPasteboard.get();
    std::unique_ptr<MyObject> _app;
};
