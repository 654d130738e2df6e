#include "platform/x11/X11KeyEvents.h"

#include "platform/x11/KeyboardMap.h"
#include "platform/x11/X11Connection.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would break Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// The user lets go of the hot key's modifiers a moment after choosing; one who keeps holding one
// should not find the clipping pasted with it much later.
constexpr int kReleaseTimeoutMs = 1000;

struct ModifierKeys {
    // Every key that acts as a modifier but Caps Lock: Shift, Control, Alt, Super, AltGr, on
    // whatever modifier row this keyboard puts them.
    std::vector<xcb_keycode_t> all;
    xcb_keycode_t shift = 0;
    xcb_keycode_t control = 0;
};

std::optional<ModifierKeys> modifierKeys(xcb_connection_t* connection) {
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr);
    if (!reply)
        return std::nullopt;
    const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(reply);
    const int perRow = reply->keycodes_per_modifier;
    ModifierKeys modifiers;
    for (int row = XCB_MAP_INDEX_SHIFT; row <= XCB_MAP_INDEX_5; ++row) {
        for (int i = 0; i < perRow; ++i) {
            const xcb_keycode_t key = keys[row * perRow + i];
            if (key == 0 || row == XCB_MAP_INDEX_LOCK)
                continue;
            modifiers.all.push_back(key);
            if (row == XCB_MAP_INDEX_SHIFT && !modifiers.shift)
                modifiers.shift = key;
            if (row == XCB_MAP_INDEX_CONTROL && !modifiers.control)
                modifiers.control = key;
        }
    }
    std::free(reply);
    return modifiers;
}

// Also true when the server does not answer, so that nothing is sent then.
bool anyDown(xcb_connection_t* connection, const std::vector<xcb_keycode_t>& keys) {
    xcb_query_keymap_reply_t* reply =
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
    if (!reply)
        return true;
    const bool down = std::ranges::any_of(
        keys, [&](xcb_keycode_t key) { return reply->keys[key / 8] & (1 << (key % 8)); });
    std::free(reply);
    return down;
}

} // namespace

bool X11KeyEvents::sendPaste(KeyEvents::Paste keystroke, quint32 target) {
    using Paste = KeyEvents::Paste;
    const X11Connection* x11 = X11Connection::get();
    Display* display = x11 ? x11->display() : nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor))
        return false;
    xcb_connection_t* connection = x11->connection();
    const std::optional<ModifierKeys> modifiers = modifierKeys(connection);
    if (!modifiers)
        return false;
    // The program reads the key in the group the user types in: V is another key on a Dvorak
    // keyboard than on a QWERTY one.
    const KeyboardMap keyboard(display);
    const int active = keyboard.activeGroup();
    const std::optional<KeyboardMap::Key> key =
        keyboard.keyInAnyGroup(keystroke == Paste::ShiftInsert ? XK_Insert : XK_v, false, active);
    const auto codeOf = [&](KeyEvents::Key each) -> xcb_keycode_t {
        switch (each) {
        case KeyEvents::Key::Control:
            return modifiers->control;
        case KeyEvents::Key::Shift:
            return modifiers->shift;
        default:
            return key ? key->code : 0;
        }
    };
    std::vector<xcb_keycode_t> keys;
    for (const KeyEvents::Key each : KeyEvents::keysOf(keystroke))
        keys.push_back(codeOf(each));
    if (std::ranges::count(keys, 0))
        return false;

    // The key map is read again and again rather than followed through key events: those go
    // to the window that has the focus, which is not ours.
    if (!X11Connection::waitUntil([&] { return !anyDown(connection, modifiers->all); },
                                  kReleaseTimeoutMs))
        return false;
    // The keys go to whichever window has the focus: a window that took it from the target
    // while the user let go of the keys (a dialog over it) would get the paste.
    if (x11->activeWindow() != target)
        return false;

    // A group without V (Russian) lends the keystroke to the group that has one, and gets the
    // keyboard back right after: the server reads our keys in the order they come.
    const int locked = keyboard.lockedGroup();
    if (key->group != active)
        keyboard.lockGroup(key->group);
    for (const xcb_keycode_t code : keys)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    for (auto code = keys.rbegin(); code != keys.rend(); ++code)
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    if (key->group != active)
        keyboard.lockGroup(locked);
    XFlush(display);
    return true;
}
