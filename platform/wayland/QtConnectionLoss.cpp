#include "platform/wayland/QtConnectionLoss.h"

#include "platform/Log.h"

#include <QPointer>
#include <QThread>

namespace {

QtMessageHandler gPrevious = nullptr;
QPointer<QObject> gContext;
std::function<void()> gSave;
// Set and read on the context's thread only.
bool gSaved = false;

// Qt 6 says "The Wayland connection broke. Did the Wayland compositor die?" or "The Wayland
// connection experienced a fatal error: ...", then ends the process.
bool saysConnectionBroke(QtMsgType type, const QString& text) {
    return type == QtWarningMsg && text.startsWith(u"The Wayland connection ");
}

void saveOnce() {
    if (std::exchange(gSaved, true))
        return;
    gSave();
    Log::write(QStringLiteral("warning*** :[wayland] [Qt's connection to the compositor broke, "
                              "and Qt ends Kelvrin now: the sets and the settings were saved "
                              "first]"));
}

void heard(QtMsgType type, const QMessageLogContext& where, const QString& text) {
    gPrevious(type, where, text);
    QObject* context = gContext.data();
    if (!context || !saysConnectionBroke(type, text))
        return;
    // Qt's thread that reads the compositor's frame events may be the one that noticed; it
    // waits, so the process lives on until the save is done. Both may warn: the save that ran
    // first is the only one.
    QMetaObject::invokeMethod(context, &saveOnce,
                              QThread::currentThread() == context->thread()
                                  ? Qt::DirectConnection
                                  : Qt::BlockingQueuedConnection);
}

} // namespace

void QtConnectionLoss::install(QObject* context, std::function<void()> save) {
    gContext = context;
    gSave = std::move(save);
    if (!gPrevious)
        gPrevious = qInstallMessageHandler(&heard);
}
