#include "platform/wayland/wlroots/WlrootsKeyEvents.h"

#include "platform/Log.h"
#include "platform/wayland/Toplevels.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/XkbKeymap.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <virtual-keyboard-unstable-v1-client-protocol.h>
#include <wayland-client.h>

namespace {

// The target comes to the front in a few milliseconds once asked; if it has not by then, the
// keys would land elsewhere.
constexpr int kTargetTimeoutMs = 500;
// The manager's first version is the only one.
constexpr uint32_t kManagerVersion = 1;

uint32_t milliseconds() {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

void warn(const char* what) {
    Log::write(QStringLiteral("warning*** :[wayland] [%1: a chosen clipping only goes onto the "
                              "clipboard]")
                   .arg(QLatin1String(what)));
}

} // namespace

WlrootsKeyEvents::WlrootsKeyEvents(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels)
    : _wayland(wayland), _toplevels(std::move(toplevels)) {
    if (const char* trouble = makeKeyboard())
        warn(trouble);
    // The keyboard belongs to a seat and to a connection: it is made anew for a new one.
    wayland.followSeat(
        &_following, [this] { dropKeyboard(); }, [this] { makeKeyboard(); });
    wayland.followConnection(
        &_following, [this] { dropKeyboard(); }, [this] { makeKeyboard(); });
}

WlrootsKeyEvents::~WlrootsKeyEvents() {
    dropKeyboard();
    _wayland.flush();
}

const char* WlrootsKeyEvents::makeKeyboard() {
    dropKeyboard();
    auto* manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
        _wayland.bind(&zwp_virtual_keyboard_manager_v1_interface, kManagerVersion));
    const char* trouble = nullptr;
    if (!manager || !_wayland.seat()) {
        trouble = "this compositor offers no virtual keyboard (zwp_virtual_keyboard_manager_v1)";
    } else {
        _keyboard =
            zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, _wayland.seat());
        if (!uploadKeymap()) {
            trouble = "the virtual keyboard's keymap cannot be made";
            dropKeyboard();
        }
    }
    // The keyboard lives on without its manager.
    if (manager)
        zwp_virtual_keyboard_manager_v1_destroy(manager);
    _wayland.flush();
    return trouble;
}

void WlrootsKeyEvents::dropKeyboard() {
    if (_keyboard)
        zwp_virtual_keyboard_v1_destroy(std::exchange(_keyboard, nullptr));
}

bool WlrootsKeyEvents::uploadKeymap() {
    // A keymap of our own, whatever the user types with: the target reads our keys by it, so V is
    // found on the same key whichever layout is the user's.
    const XkbKeymap::Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{nullptr, nullptr, "us", nullptr, nullptr};
    const XkbKeymap::Keymap keymap(
        context ? xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                : nullptr);
    if (!keymap)
        return false;
    const auto keyFor = [&](xkb_keysym_t keysym, const char* modifier) {
        Key key{XkbKeymap::evdevCode(keymap.get(), keysym), 0};
        if (modifier)
            key.modifier = 1u << xkb_keymap_mod_get_index(keymap.get(), modifier);
        return key;
    };
    // In the order of KeyEvents::Key.
    _keys = {keyFor(XKB_KEY_Control_L, XKB_MOD_NAME_CTRL),
             keyFor(XKB_KEY_Shift_L, XKB_MOD_NAME_SHIFT), keyFor(XKB_KEY_v, nullptr),
             keyFor(XKB_KEY_Insert, nullptr)};
    if (std::ranges::any_of(_keys, [](const Key& key) { return key.code == 0; }))
        return false;

    // The compositor maps the keymap from a file: a sealed memory one, ending with its NUL.
    const std::unique_ptr<char, decltype(&std::free)> text(
        xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
    if (!text)
        return false;
    const size_t size = std::strlen(text.get()) + 1;
    const int fd = memfd_create("kelvrin-keymap", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.get(), size) == ssize_t(size);
    if (written)
        zwp_virtual_keyboard_v1_keymap(_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       uint32_t(size));
    // The request carries a copy of the descriptor.
    _wayland.flush();
    ::close(fd);
    return written;
}

bool WlrootsKeyEvents::sendPaste(KeyEvents::Paste keystroke, quint32 target) {
    if (!_keyboard || !_toplevels)
        return false;
    // The keys go to whichever window has the keyboard: it must be the target itself by now, not
    // ours, nor a window that took the keyboard from the target after it was brought back.
    if (!_toplevels->waitUntilActivated(_wayland, target, kTargetTimeoutMs))
        return false;
    // The target pastes what the compositor holds when the keys come: the clipboard wrote the
    // new content through this same connection (data-control, which every compositor with the
    // virtual keyboard offers too), whose requests the compositor takes in order.

    const std::vector<KeyEvents::Key> keys = KeyEvents::keysOf(keystroke);
    uint32_t held = 0;
    for (const KeyEvents::Key key : keys)
        press(_keys[size_t(key)], true, held);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        press(_keys[size_t(*key)], false, held);
    // Once the compositor has them, they are the target's whatever happens to our window next.
    return _wayland.roundtrip();
}

void WlrootsKeyEvents::press(const Key& key, bool down, uint32_t& modifiers) {
    zwp_virtual_keyboard_v1_key(_keyboard, milliseconds(), key.code,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED
                                     : WL_KEYBOARD_KEY_STATE_RELEASED);
    if (!key.modifier)
        return;
    // The compositor does not work the modifiers out from our keys: it is told, after each.
    modifiers = down ? modifiers | key.modifier : modifiers & ~key.modifier;
    zwp_virtual_keyboard_v1_modifiers(_keyboard, modifiers, 0, 0, 0);
}
