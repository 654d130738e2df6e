#pragma once

#include <cstdint>
#include <memory>
#include <xkbcommon/xkbcommon.h>

// The keymaps the Wayland keyboard protocols speak of: the compositor's, which it sends every
// client, and the one a virtual keyboard brings of its own.
namespace XkbKeymap {

template <typename T, void (*Free)(T*)> struct Freed {
    void operator()(T* object) const { Free(object); }
};
using Context = std::unique_ptr<xkb_context, Freed<xkb_context, xkb_context_unref>>;
using Keymap = std::unique_ptr<xkb_keymap, Freed<xkb_keymap, xkb_keymap_unref>>;

// The evdev code, which the protocols send, of the key whose first level gives the keysym in the
// keymap's first layout; 0 when none does.
uint32_t evdevCode(xkb_keymap* keymap, xkb_keysym_t keysym);

} // namespace XkbKeymap
