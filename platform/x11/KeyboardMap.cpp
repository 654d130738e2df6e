#include "platform/x11/KeyboardMap.h"

#include <algorithm>

// Last: Xlib's macros (None, Bool, Status) would break other headers.
#include <X11/XKBlib.h>

namespace {

// The group a key of fewer groups takes when the keyboard is in the given one (XKB's
// out-of-range rules).
int effectiveGroup(XkbDescPtr keyboard, KeyCode key, int group) {
    const int groups = XkbKeyNumGroups(keyboard, key);
    if (group < groups)
        return group;
    const unsigned char info = XkbKeyGroupInfo(keyboard, key);
    switch (XkbOutOfRangeGroupAction(info)) {
    case XkbRedirectIntoRange: {
        const int redirected = XkbOutOfRangeGroupNumber(info);
        return redirected < groups ? redirected : 0;
    }
    case XkbClampIntoRange:
        return groups - 1;
    default:
        return group % groups;
    }
}

} // namespace

KeyboardMap::KeyboardMap(_XDisplay* display) : _display(display) {
    if (display)
        _keyboard = XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
}

KeyboardMap::~KeyboardMap() {
    if (_keyboard)
        XkbFreeKeyboard(_keyboard, 0, True);
}

std::optional<KeyboardMap::Key> KeyboardMap::keyIn(int group, xcb_keysym_t keysym,
                                                   bool shifted) const {
    if (!_keyboard)
        return std::nullopt;
    for (int code = _keyboard->min_key_code; code <= _keyboard->max_key_code; ++code) {
        const auto key = KeyCode(code);
        if (XkbKeyNumGroups(_keyboard, key) == 0)
            continue;
        const int own = effectiveGroup(_keyboard, key, group);
        const int levels = std::min(int(XkbKeyGroupWidth(_keyboard, key, own)), shifted ? 2 : 1);
        for (int level = 0; level < levels; ++level)
            if (XkbKeySymEntry(_keyboard, key, level, own) == keysym)
                return Key{xcb_keycode_t(code), group};
    }
    return std::nullopt;
}

std::optional<KeyboardMap::Key> KeyboardMap::keyInAnyGroup(xcb_keysym_t keysym, bool shifted,
                                                           int first) const {
    if (const auto key = keyIn(first, keysym, shifted))
        return key;
    for (int group = 0; group < XkbNumKbdGroups; ++group)
        if (group != first)
            if (const auto key = keyIn(group, keysym, shifted))
                return key;
    return std::nullopt;
}

int KeyboardMap::activeGroup() const {
    XkbStateRec state{};
    return _display && XkbGetState(_display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
}

int KeyboardMap::lockedGroup() const {
    XkbStateRec state{};
    return _display && XkbGetState(_display, XkbUseCoreKbd, &state) == Success ? state.locked_group
                                                                               : 0;
}

void KeyboardMap::lockGroup(int group) const {
    if (_display)
        XkbLockGroup(_display, XkbUseCoreKbd, unsigned(group));
}

uint8_t KeyboardMap::xkbEventBase(_XDisplay* display) {
    int opcode = 0, eventBase = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    return display && XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)
               ? uint8_t(eventBase)
               : 0;
}

bool KeyboardMap::isMappingChange(uint8_t xkbEventBase, const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY)
        return true;
    // Clients that speak XKB hear of a change through its events instead.
    if (!xkbEventBase || type != xkbEventBase)
        return false;
    // The second byte names the kind of XKB event.
    const uint8_t kind = reinterpret_cast<const uint8_t*>(event)[1];
    return kind == XkbNewKeyboardNotify || kind == XkbMapNotify;
}
