#pragma once

#include "platform/HotKey.h"

#include <QApplication>

// The application object. It holds the global hot key, whose presses reach their receiver
// whichever program is in front.
class MainApplication : public QApplication {
    Q_OBJECT
public:
    MainApplication(int& argc, char** argv);
    ~MainApplication() override;

    static MainApplication* sharedApplication();

    // Registers the combination (a key code of gKeyTable and the settings' modifier mask) and
    // the receiver its presses go to. False when the combination could not be had.
    bool installHotKeyEvent(quint8 keyCode, quint16 modifier, HotKey::Receiver function);
    void unInstallHotKeyEvent();

private:
    HotKey _hotKeyRef;
};
