#pragma once

#include "platform/Processes.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>
#include <functional>
#include <memory>
#include <optional>

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
// the keyboard. Each desktop family has its own way to have it (a grab on X11's root window, a
// shortcut registered with a desktop's daemon or shell); its backend pushes every press to the
// receiver, however the press arrives. Where the desktop lets no program have a key, the backend
// grabs nothing and the user binds a key of the desktop to the paste-window command instead.
class HotKey {
public:
    // The flags of the settings' modifier mask; the mask is the sum of those held.
    enum Modifier : quint16 {
        CommandKey = 0x100,
        ShiftKey = 0x200,
        OptionKey = 0x800,
        ControlKey = 0x1000,
    };

    // A press of the combination, as the backend saw it. A held key counts once, however often
    // the keyboard repeats it.
    struct Press {
        // The press's window-system time, which lets the window manager give us the focus at
        // once; nothing when the backend has none.
        std::optional<quint32> timestamp;
        // The window in front when the key was pressed, where the backend saw it; otherwise the
        // receiver asks Processes.
        std::optional<Processes::Application> front;
    };
    using Receiver = std::function<void(const Press&)>;

    // What a desktop family does for the hot key: one combination at a time, held from install
    // until the backend goes, each press pushed to the receiver. This one has none, though
    // nothing says the desktop would not give it one.
    class Backend {
    public:
        virtual ~Backend() = default;
        // Whether this desktop lets the backend have a combination at all.
        virtual bool grabs() const { return true; }
        virtual bool install(quint8, quint16, Receiver) { return false; }

    protected:
        // Tells the user in the log why the hot key is not there.
        static void warn(const QString& what);
    };
    // How every hot key installed from now on makes its backend; null goes back to the one that
    // has none. Only the choice of backends at start makes it.
    static void installBackend(std::function<std::unique_ptr<Backend>()> makeBackend);
    // Whether a combination can be had on this desktop: the preferences offer one then. Until a
    // desktop's backend is installed, nothing says it cannot.
    static bool canGrab();

    HotKey() = default;
    ~HotKey() = default;
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // The key code of the key menu's item at that index; nothing past either end of the table.
    static std::optional<quint8> keyCode(int choice);
    // The key's keysym (X11's and XKB's, which are one); nothing for a key code outside the table.
    static std::optional<quint32> keysym(quint8 keyCode);
    // The combination as this desktop names the keys, "Control+Shift+F5"; empty for a key code
    // outside the table.
    static QString describe(quint8 keyCode, quint16 modifierMask);

    // Replaces the combination installed before; its presses go to the receiver from now on.
    // False, with a warning in the log, when the key is not in the table or not on the keyboard,
    // another program holds the combination, or the desktop lets no program have one. The
    // combination stays wanted until uninstalled: a change of the keyboard's mapping takes it
    // anew, on whatever key then gives it.
    bool install(quint8 keyCode, quint16 modifierMask, Receiver receiver);
    void uninstall() { _backend.reset(); }

private:
    std::unique_ptr<Backend> _backend;
};
