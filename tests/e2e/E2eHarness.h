#pragma once

#include "app/MyObject.h"
#include "model/PasteSet.h"
#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <ostream>

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.left(200).toStdString() << (text.size() > 200 ? "...\"" : "\"");
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '{';
    for (const QString& text : texts)
        PrintTo(text, out), *out << (&text == &texts.back() ? "" : ", ");
    *out << '}';
}

// Processes events (the poll included) until the condition holds or the time is up.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Puts the bytes on the clipboard through xclip, under its default text target or the one given,
// and returns once xclip serves them.
void copyWithXclip(const QByteArray& bytes, const QString& target = {});

// A clip_owner process offering the given NAME=VALUE types in that order; stopped when it goes.
class ClipOwner {
public:
    explicit ClipOwner(const QStringList& arguments);
    ~ClipOwner();
    ClipOwner(const ClipOwner&) = delete;
    ClipOwner& operator=(const ClipOwner&) = delete;

    // Whether it said it owns the clipboard.
    bool ready() const { return _ready; }

private:
    QProcess _process;
    bool _ready = false;
};

// Kelvrin as the application launches it, on the real clipboard, with its settings in a
// temporary file.
class Kelvrin {
public:
    enum class Start { Launched, NotLaunched };
    explicit Kelvrin(Start start = Start::Launched);
    ~Kelvrin();

    void launch() { _app->applicationWillFinishLaunching(); }

    MyObject& app() { return *_app; }
    const PasteDataList& history() const;
    // The texts of the history, head first; "<none>" for a clipping without text.
    QStringList texts() const;
    bool waitForHistory(size_t size, int timeoutMs = 10000);

    qint64 changeCount() const { return _app->pasteboard().changeCount(); }
    // Waits until the clipboard's change count reaches the value.
    bool waitForCount(qint64 count, int timeoutMs = 10000);

    // Stops the timer so the test decides when the poll looks; tick() is one look.
    void stopPoll() { _app->applicationWillTerminate(); }
    void tick() { _app->pasteboardCheck(); }

private:
    QTemporaryDir _settings;
    std::unique_ptr<MyObject> _app;
};
