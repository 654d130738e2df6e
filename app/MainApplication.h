#pragma once

#include "platform/HotKey.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <functional>

// The application object. It holds the global hot key and sees every event from the window
// system first, so a press of the hot key reaches its receiver whichever program is in front.
class MainApplication : public QApplication, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    MainApplication(int& argc, char** argv);
    ~MainApplication() override;

    static MainApplication* sharedApplication();

    // Registers the combination (a key code of gKeyTable and the settings' modifier mask) and
    // the receiver its presses go to, with the press's window-system time. False when the
    // combination could not be had.
    bool installHotKeyEvent(quint8 keyCode, quint16 modifier,
                            std::function<void(quint32 timestamp)> function);
    void unInstallHotKeyEvent();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    HotKey _hotKeyRef;
    std::function<void(quint32)> _receiverFunc;
};
