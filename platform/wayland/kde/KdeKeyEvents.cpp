#include "platform/wayland/kde/KdeKeyEvents.h"

#include "platform/wayland/Toplevels.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/XkbKeymap.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fake-input-client-protocol.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <wayland-client.h>

namespace {

// Keys came with the fourth version.
constexpr uint32_t kInputVersion = 4;
// The target comes to the front in a few milliseconds once asked; if it has not by then, the
// keys would land elsewhere.
constexpr int kTargetTimeoutMs = 500;
// KWin gives the target the keyboard as it activates it; a Qt 5 program (Konsole) takes a moment
// to take it in, and a paste keystroke that comes in that moment pastes nothing.
constexpr std::chrono::milliseconds kTakingInTime{50};
// A keymap is some ten kilobytes; a compositor sending more than this is not sending a keymap.
constexpr uint32_t kKeymapCap = 1 << 20;

// Each of KeyEvents::Key, in its order: what it types, and its place on a QWERTY keyboard.
struct Placed {
    xkb_keysym_t keysym;
    uint32_t qwerty;
};
constexpr Placed kKeys[] = {
    {XKB_KEY_Control_L, KEY_LEFTCTRL},
    {XKB_KEY_Shift_L, KEY_LEFTSHIFT},
    {XKB_KEY_v, KEY_V},
    {XKB_KEY_Insert, KEY_INSERT},
};

// For the keyboard's events other than its keymap, whatever their arguments.
constexpr auto ignore = [](auto...) {};

} // namespace

std::unique_ptr<KdeKeyEvents> KdeKeyEvents::open(WaylandConnection& wayland,
                                                 std::shared_ptr<Toplevels> toplevels) {
    if (!toplevels || !wayland.offers(org_kde_kwin_fake_input_interface.name))
        return nullptr;
    return std::unique_ptr<KdeKeyEvents>(new KdeKeyEvents(wayland, std::move(toplevels)));
}

KdeKeyEvents::KdeKeyEvents(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels)
    : _wayland(wayland), _toplevels(std::move(toplevels)) {
    std::ranges::transform(kKeys, _codes.begin(), &Placed::qwerty);
    bindInput();
    followKeymap();
    wayland.followConnection(
        &_following, [this] { forgetEverything(); },
        [this] {
            bindInput();
            followKeymap();
        });
    wayland.followSeat(
        &_following, [this] { dropKeymap(); }, [this] { followKeymap(); });
}

KdeKeyEvents::~KdeKeyEvents() {
    forgetEverything();
    _wayland.flush();
}

void KdeKeyEvents::bindInput() {
    _input = static_cast<org_kde_kwin_fake_input*>(
        _wayland.bind(&org_kde_kwin_fake_input_interface, kInputVersion));
    // KWin shows the reason where it asks the user, which 5.27 does not yet do.
    if (_input)
        org_kde_kwin_fake_input_authenticate(
            _input, qPrintable(QCoreApplication::applicationName()),
            "to paste the chosen clipping into the program it was chosen for");
    _wayland.flush();
}

void KdeKeyEvents::followKeymap() {
    dropKeymap();
    if (!_wayland.seat())
        return;
    static const wl_keyboard_listener listener{
        .keymap = &keymapped,
        .enter = ignore,
        .leave = ignore,
        .key = ignore,
        .modifiers = ignore,
        .repeat_info = ignore,
    };
    _keyboard = wl_seat_get_keyboard(_wayland.seat());
    wl_keyboard_add_listener(_keyboard, &listener, this);
    _wayland.flush();
}

void KdeKeyEvents::dropKeymap() {
    if (_keyboard)
        wl_keyboard_destroy(std::exchange(_keyboard, nullptr));
}

void KdeKeyEvents::forgetEverything() {
    dropKeymap();
    if (_input)
        org_kde_kwin_fake_input_destroy(std::exchange(_input, nullptr));
}

void KdeKeyEvents::keymapped(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0 && size <= kKeymapCap)
        static_cast<KdeKeyEvents*>(data)->readKeymap(fd, size);
    ::close(fd);
}

void KdeKeyEvents::readKeymap(int fd, uint32_t size) {
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return;
    const XkbKeymap::Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    // The text ends with a NUL, which is not the keymap's.
    const XkbKeymap::Keymap keymap(
        context ? xkb_keymap_new_from_buffer(context.get(), static_cast<const char*>(mapped),
                                             strnlen(static_cast<const char*>(mapped), size),
                                             XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
                : nullptr);
    munmap(mapped, size);
    if (!keymap)
        return;
    // A key the keymap lacks keeps its QWERTY place.
    std::ranges::transform(kKeys, _codes.begin(), [&](const Placed& key) {
        const uint32_t found = XkbKeymap::evdevCode(keymap.get(), key.keysym);
        return found ? found : key.qwerty;
    });
}

bool KdeKeyEvents::sendPaste(KeyEvents::Paste keystroke, quint32 target) {
    if (!_input)
        return false;
    // The keys go to whichever window has the keyboard: it must be the target itself by now, not
    // ours, nor a window that took the keyboard from the target after it was brought back.
    if (!_toplevels->waitUntilActivated(_wayland, target, kTargetTimeoutMs))
        return false;
    std::this_thread::sleep_for(kTakingInTime);
    // The target pastes what KWin holds when the keys come: the clipboard wrote the new content
    // through this same connection, whose requests KWin takes in order.
    const std::vector<KeyEvents::Key> keys = KeyEvents::keysOf(keystroke);
    for (const KeyEvents::Key key : keys)
        org_kde_kwin_fake_input_keyboard_key(_input, _codes[size_t(key)],
                                             WL_KEYBOARD_KEY_STATE_PRESSED);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
        org_kde_kwin_fake_input_keyboard_key(_input, _codes[size_t(*key)],
                                             WL_KEYBOARD_KEY_STATE_RELEASED);
    // Once KWin has them, they are the target's whatever happens to our window next.
    return _wayland.roundtrip();
}
