#pragma once

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
// the keyboard. On X11 it is a grab on the root window of Qt's own connection, so the presses
// come through Qt's event stream to the application's native event filter. A Wayland compositor
// lets no program grab a key: there it never installs, and the user binds a key of the
// compositor to the paste-window command instead.
class HotKey {
public:
    // The flags of the settings' modifier mask; the mask is the sum of those held.
    enum Modifier : quint16 {
        CommandKey = 0x100,
        ShiftKey = 0x200,
        OptionKey = 0x800,
        ControlKey = 0x1000,
    };

    // What a display system does for the hot key: one combination at a time, given up when the
    // backend goes. This one never installs and sees no press.
    class Backend {
    public:
        virtual ~Backend() = default;
        virtual bool install(quint8, quint16) { return false; }
        virtual bool isPress(const QByteArray&, void*, quint32*) { return false; }

    protected:
        // Tells the user in the log why the hot key is not there.
        static void warn(const QString& what);
    };
    // How every hot key installed from now on makes its backend; null goes back to the one that
    // never installs. Only the session chooses.
    static void installBackend(std::function<std::unique_ptr<Backend>()> makeBackend);

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

    // Replaces the combination installed before. False, with a warning in the log, when the key
    // is not in the table or not on the keyboard, another program holds the combination, or the
    // display system has no hot keys (Wayland). On X11 the combination stays wanted until
    // uninstalled: a change of the keyboard's mapping grabs it anew, on whatever key then gives it.
    bool install(quint8 keyCode, quint16 modifierMask);
    void uninstall() { _backend.reset(); }

    // For the application's native event filter: whether the event is a press of the installed
    // combination, with its window-system time in *timestamp. A held key counts once, however
    // often the keyboard repeats it. Every other event answers false and is Qt's.
    bool isPress(const QByteArray& eventType, void* message, quint32* timestamp) {
        return _backend && _backend->isPress(eventType, message, timestamp);
    }

private:
    std::unique_ptr<Backend> _backend;
};
