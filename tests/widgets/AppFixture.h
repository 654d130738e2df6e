#pragma once

#include "SetTexts.h"

#include "app/MyObject.h"
#include "platform/Defaults.h"
#include "platform/MemoryPasteboard.h"
#include "window/PasteWindow.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// A launched application on an in-memory clipboard, with its settings in a temporary file.
class AppFixture : public ::testing::Test {
protected:
    QString settingsPath() const { return _dir.filePath(QStringLiteral("Kelvrin.ini")); }

    // Settings written here before launch() are the ones the application starts with.
    Defaults storedSettings() const { return Defaults(settingsPath()); }

    void launch() {
        _app = std::make_unique<MyObject>(std::make_unique<Defaults>(settingsPath()),
                                          std::move(_ownedPasteboard));
        _app->applicationWillFinishLaunching();
    }

    MyObject& app() { return *_app; }
    // The application goes, the in-memory clipboard with it.
    void destroy() { _app.reset(); }
    MemoryPasteboard& pasteboard() { return *_pasteboard; }
    PasteWindow& window() { return *_app->pasteWindow(); }
    const PasteSet& history() { return *window().pasteArray().front(); }

    // Another program copies: the content is offered under these names, in this order.
    void copy(const QList<std::pair<QString, std::optional<QByteArray>>>& named) {
        _pasteboard->offer(named);
    }
    void copyText(const QString& text) { copy({{QStringLiteral("UTF8_STRING"), text.toUtf8()}}); }
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
    std::unique_ptr<MemoryPasteboard> _ownedPasteboard = std::make_unique<MemoryPasteboard>();
    MemoryPasteboard* _pasteboard = _ownedPasteboard.get();
    std::unique_ptr<MyObject> _app;
};
