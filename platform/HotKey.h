#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// The keys the preferences offer for the hot key, in the order of their menu, as the settings
// store them: macOS virtual key codes. Look a choice up with HotKey::keyCode, which minds the
// ends of the table.
inline constexpr std::array<quint8, 55> gKeyTable{
    126, 125, 123, 124,                                                     // Up Down Left Right
    122, 120, 99,  118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, // F1 ... F15
    29,  18,  19,  20,  21, 23, 22, 26,  28,  25,                           // 0 ... 9
    0,   11,  8,   2,   14, 3,  5,  4,   34,  38,  40,  37,  46,            // A ... M
    45,  31,  35,  12,  15, 1,  17, 32,  9,   13,  7,   16,  6,             // N ... Z
};

// The global hot key: one key of the table with modifiers, reported to us whichever window has
// the keyboard. On X11 it is a grab on the root window of Qt's own connection, so the presses
// come through Qt's event stream to the application's native event filter; on any other
// platform it never installs.
class HotKey {
public:
    // The flags of the settings' modifier mask; the mask is the sum of those held.
    enum Modifier : quint16 {
        CommandKey = 0x100,
        ShiftKey = 0x200,
        OptionKey = 0x800,
        ControlKey = 0x1000,
    };

    HotKey() = default;
    ~HotKey() { uninstall(); }
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // The key code of the key menu's item at that index; nothing past either end of the table.
    static std::optional<quint8> keyCode(int choice);
    // The X modifier state the mask stands for: Command is Super (Mod4), Option is Alt (Mod1).
    static quint16 xModifiers(quint16 modifierMask);
    // The combination as this desktop names the keys, "Control+Shift+F5"; empty for a key code
    // outside the table.
    static QString describe(quint8 keyCode, quint16 modifierMask);

    // Replaces the combination installed before. False, with a warning in the log, when the key
    // is not in the table or not on the keyboard, or another program holds the combination;
    // false on a platform without X. The combination stays wanted until uninstalled: a change
    // of the keyboard's mapping grabs it anew, on whatever key then gives it.
    bool install(quint8 keyCode, quint16 modifierMask);
    void uninstall();

    // For the application's native event filter: whether the event is a press of the installed
    // combination, with its X server time in *timestamp. A held key counts once, however often
    // the keyboard repeats it. Every other event answers false and is Qt's; a change of the
    // keyboard's mapping seen here grabs the combination anew.
    bool isPress(const QByteArray& eventType, void* message, quint32* timestamp);

private:
    bool grab(quint8 keyCode, quint16 modifierMask);
    void ungrab();

    // The key code and modifier mask last installed.
    std::optional<std::pair<quint8, quint16>> _wanted;
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
