#pragma once

#include "platform/KeyEvents.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <memory>

class WaylandConnection;
class Toplevels;
struct zwp_virtual_keyboard_v1;

// The paste keystroke through a virtual keyboard of our own (zwp_virtual_keyboard_manager_v1),
// with a US keymap of ours, sent only while the compositor has activated the target window
// itself. The keyboard is made for the connection's seat, and anew for a new seat or connection.
//
// The keys the user pressed in the paste window: Wayland tells a program of the keyboard only
// while one of its windows has it, so what Qt saw last in the paste window is all there is to
// know, and it is enough. The paste goes at the release of the Return that chose (or at a double
// click), so that key is up; a Return with Shift, Control, Alt or Super down beeps instead, so
// no modifier was down either. One the user presses after that cannot join ours: a wlroots
// compositor hands the target, with each key, the modifiers of the keyboard the key came from,
// which is ours. So nothing is waited for here but the target's activation.
class WlrootsKeyEvents : public KeyEvents::Backend {
public:
    // Without the virtual keyboard, or without the list of windows that tells where the keys
    // would go, nothing is ever sent: that is said once here.
    WlrootsKeyEvents(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels);
    ~WlrootsKeyEvents() override;

    // False, with nothing sent, when the target is not the activated window within half a
    // second, or another window is.
    bool sendPaste(KeyEvents::Paste keystroke, quint32 target) override;

private:
    struct Key {
        uint32_t code = 0;     // the evdev code the protocol sends
        uint32_t modifier = 0; // the modifier mask it sets while down; 0 for another key
    };

    // What keeps the keyboard from being made; null once it is.
    const char* makeKeyboard();
    void dropKeyboard();
    bool uploadKeymap();
    void press(const Key& key, bool down, uint32_t& modifiers);

    WaylandConnection& _wayland;
    std::shared_ptr<Toplevels> _toplevels;
    zwp_virtual_keyboard_v1* _keyboard = nullptr;
    // Each key, by KeyEvents::Key, in our keymap.
    std::array<Key, 4> _keys;
    // What the connection's signals are delivered to; they stop with the keyboard.
    QObject _following;
};
