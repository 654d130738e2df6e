#include "platform/wayland/XkbKeymap.h"

#include <algorithm>

namespace {

// An xkb key code is the evdev code plus 8.
constexpr uint32_t kEvdevOffset = 8;

} // namespace

uint32_t XkbKeymap::evdevCode(xkb_keymap* keymap, xkb_keysym_t keysym) {
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
         ++key) {
        const xkb_keysym_t* syms = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms);
        if (key >= kEvdevOffset && std::find(syms, syms + count, keysym) != syms + count)
            return key - kEvdevOffset;
    }
    return 0;
}
