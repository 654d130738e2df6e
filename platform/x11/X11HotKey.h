#pragma once

#include "platform/HotKey.h"

#include <QAbstractNativeEventFilter>

#include <utility>
#include <vector>

// The hot key as a grab on the root window of Qt's own connection: the presses come through Qt's
// event stream, where this backend's native event filter takes them. The combination stays wanted
// while the backend lives: a change of the keyboard's mapping grabs it anew, on whatever key then
// gives it.
class X11HotKey : public HotKey::Backend, public QAbstractNativeEventFilter {
public:
    X11HotKey() = default;
    ~X11HotKey() override;

    // The X modifier state the settings' mask stands for: Command is Super (Mod4), Option is Alt
    // (Mod1).
    static quint16 xModifiers(quint16 modifierMask);

    bool install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) override;
    // Every event passes on to Qt; a press of the combination also goes to the receiver.
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

private:
    bool grab(quint8 keyCode, quint16 modifierMask);
    void ungrab();
    // Grabs the combination on the key that gives it now, then lets go of what is no longer it.
    void regrab();
    void release(quint8 key, const std::vector<quint16>& states) const;
    // Whether the X event is a press of the combination, with its time; a repeat of a held key is
    // none.
    std::optional<quint32> pressTime(const void* event);

    // The key code and modifier mask installed, and where their presses go.
    std::optional<std::pair<quint8, quint16>> _wanted;
    HotKey::Receiver _receiver;
    // The code of the display's XKB events, which tell of a new layout.
    quint8 _xkbEventBase = 0;
    // X's key code of the grabbed key; 0 while nothing is grabbed (X's start at 8).
    quint8 _xKeyCode = 0;
    quint16 _xModifiers = 0;
    // Caps Lock and Num Lock, whichever modifier Num Lock is on this keyboard.
    quint16 _lockModifiers = 0;
    // The modifier states grabbed: the combination with and without each lock.
    std::vector<quint16> _grabbedStates;
    quint32 _root = 0;
    bool _down = false;
    quint32 _releaseTime = 0;
};
