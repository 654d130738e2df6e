#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

struct _XDisplay;
struct _XkbDesc;

// The keyboard as the X server maps it now, read through XKB: which key gives a keysym in each
// group of the layout ("ru,us" has two), and which group the user types in. Read once, when it
// is made; a mapping change needs a new one.
class KeyboardMap {
public:
    // Empty when the display has no XKB.
    explicit KeyboardMap(_XDisplay* display);
    ~KeyboardMap();
    KeyboardMap(const KeyboardMap&) = delete;
    KeyboardMap& operator=(const KeyboardMap&) = delete;

    // A key in a group: the group counts from 0.
    struct Key {
        xcb_keycode_t code;
        int group;
    };
    // The first key that gives the keysym in that group, unshifted or, with shifted, also
    // shifted. A key with fewer groups stands in the group the server takes for it then.
    std::optional<Key> keyIn(int group, xcb_keysym_t keysym, bool shifted) const;
    // The same in the first group that has one, the given group tried first.
    std::optional<Key> keyInAnyGroup(xcb_keysym_t keysym, bool shifted, int first = 0) const;
    // The group the keys type in now.
    int activeGroup() const;
    // The group locked now, the one a group switch (Alt+Shift, say) sets.
    int lockedGroup() const;
    // Locks the keyboard in that group, as a group switch does; the keys typed after it are
    // read in that group.
    void lockGroup(int group) const;

    // The code of the display's XKB events; 0 when it has no XKB.
    static uint8_t xkbEventBase(_XDisplay* display);
    // Whether the event tells that the keyboard's mapping has changed (a new layout, a new
    // keyboard, a modifier moved), after which every key must be looked up again. Cheap enough
    // for every event, given the code of XKB's events.
    static bool isMappingChange(uint8_t xkbEventBase, const xcb_generic_event_t* event);

private:
    _XDisplay* _display;
    _XkbDesc* _keyboard = nullptr;
};
