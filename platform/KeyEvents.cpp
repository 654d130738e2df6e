#include "platform/KeyEvents.h"

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

// The key that types the keysym unshifted, in the first group or else the second; 0 when the
// keyboard has none.
xcb_keycode_t keyTyping(xcb_connection_t* connection, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, uint8_t(count)),
        nullptr);
    if (!reply)
        return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
    const int perKey = reply->keysyms_per_keycode;
    xcb_keycode_t found = 0;
    // The first level of the first group, then of the second.
    for (const int column : {0, 2})
        for (int key = 0; !found && column < perKey && key < count; ++key)
            if (keysyms[key * perKey + column] == keysym)
                found = xcb_keycode_t(setup->min_keycode + key);
    std::free(reply);
    return found;
}

} // namespace

bool KeyEvents::sendPaste(bool terminal) {
    const X11Connection* x11 = X11Connection::get();
    Display* display = x11 ? x11->display() : nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor))
        return false;
    xcb_connection_t* connection = x11->connection();
    const std::optional<ModifierKeys> modifiers = modifierKeys(connection);
    const xcb_keycode_t v = keyTyping(connection, XK_v);
    if (!modifiers || !modifiers->control || (terminal && !modifiers->shift) || !v)
        return false;

    // The key map is read again and again rather than followed through key events: those go
    // to the window that has the focus, which is not ours.
    if (!X11Connection::waitUntil([&] { return !anyDown(connection, modifiers->all); },
                                  kReleaseTimeoutMs))
        return false;

    std::vector<xcb_keycode_t> keys{modifiers->control};
    if (terminal)
        keys.push_back(modifiers->shift);
    keys.push_back(v);
    for (const xcb_keycode_t key : keys)
        XTestFakeKeyEvent(display, key, True, CurrentTime);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        XTestFakeKeyEvent(display, *key, False, CurrentTime);
    XFlush(display);
    return true;
}
