#include "platform/x11/X11HotKey.h"

#include "platform/Strings.h"
#include "platform/x11/KeyboardMap.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>
#include <utility>

namespace {

struct ModifierKey {
    HotKey::Modifier flag;
    quint16 xMask;
};

constexpr std::array<ModifierKey, 4> kModifiers{{
    {HotKey::ControlKey, XCB_MOD_MASK_CONTROL},
    {HotKey::OptionKey, XCB_MOD_MASK_1},
    {HotKey::ShiftKey, XCB_MOD_MASK_SHIFT},
    {HotKey::CommandKey, XCB_MOD_MASK_4},
}};

// The key state bits that are modifiers; those above are mouse buttons and the keyboard group.
constexpr quint16 kModifierBits = 0xFF;

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

// The keyboard as the server maps it now: which X key gives a keysym, which modifier Num Lock
// is. Read afresh at each grab, so a layout switched since is taken into account.
class Keyboard {
public:
    explicit Keyboard(const X11Connection& x11)
        : _keys(x11.display()),
          _modifiers(xcb_get_modifier_mapping_reply(
                         x11.connection(), xcb_get_modifier_mapping(x11.connection()), nullptr),
                     &std::free) {}

    // The first X key giving the keysym, unshifted or shifted, in the first group that has one:
    // a letter is found on a Russian keyboard too, in its English group. The grab holds in
    // every group, so the key works whichever one the user types in. 0 when no key gives it.
    xcb_keycode_t keyOf(xcb_keysym_t keysym) const {
        const auto key = _keys.keyInAnyGroup(keysym, true);
        return key ? key->code : 0;
    }

    // The mask of the modifier one of whose keys gives the keysym; 0 for none.
    quint16 modifierOf(xcb_keysym_t keysym) const {
        const xcb_keycode_t key = keyOf(keysym);
        if (!_modifiers || !key)
            return 0;
        const size_t perModifier = _modifiers->keycodes_per_modifier;
        const std::span<const xcb_keycode_t> keys(
            xcb_get_modifier_mapping_keycodes(_modifiers.get()), 8 * perModifier);
        for (size_t modifier = 0; modifier < 8; ++modifier)
            if (std::ranges::count(keys.subspan(modifier * perModifier, perModifier), key))
                return quint16(1 << modifier);
        return 0;
    }

private:
    KeyboardMap _keys;
    ReplyPtr<xcb_get_modifier_mapping_reply_t> _modifiers;
};

} // namespace

quint16 X11HotKey::xModifiers(quint16 modifierMask) {
    quint16 xMask = 0;
    for (const ModifierKey& modifier : kModifiers)
        if (modifierMask & modifier.flag)
            xMask |= modifier.xMask;
    return xMask;
}

X11HotKey::~X11HotKey() {
    if (_wanted)
        QCoreApplication::instance()->removeNativeEventFilter(this);
    ungrab();
}

bool X11HotKey::install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) {
    if (!_wanted)
        QCoreApplication::instance()->installNativeEventFilter(this);
    _wanted = {keyCode, modifierMask};
    _receiver = std::move(receiver);
    if (const X11Connection* x11 = X11Connection::get())
        _xkbEventBase = KeyboardMap::xkbEventBase(x11->display());
    return grab(keyCode, modifierMask);
}

bool X11HotKey::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    if (const std::optional<quint32> time = pressTime(message))
        _receiver({*time, std::nullopt});
    return false;
}

bool X11HotKey::grab(quint8 keyCode, quint16 modifierMask) {
    const X11Connection* x11 = X11Connection::get();
    if (!x11)
        return false;
    const std::optional<quint32> keysym = HotKey::keysym(keyCode);
    if (!keysym) {
        warn(Strings::format(QStringLiteral("the key code %u is not a hot key"),
                             {unsigned(keyCode)}));
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    const Keyboard keyboard(*x11);
    const xcb_keycode_t key = keyboard.keyOf(*keysym);
    if (!key) {
        warn(Strings::format(QStringLiteral("the keyboard has no key for the hot key %@"),
                             {HotKey::describe(keyCode, modifierMask)}));
        return false;
    }

    // A grab matches the modifier state exactly, and Caps Lock and Num Lock are part of it: the
    // combination is grabbed under each of their four states, or the hot key would stop working
    // whenever one of them is on.
    const quint16 modifiers = xModifiers(modifierMask);
    const quint16 numLock = keyboard.modifierOf(XK_Num_Lock);
    std::vector<quint16> states;
    for (const quint16 locks :
         {quint16(0), quint16(XCB_MOD_MASK_LOCK), numLock, quint16(XCB_MOD_MASK_LOCK | numLock)})
        if (std::ranges::find(states, modifiers | locks) == states.end())
            states.push_back(modifiers | locks);

    // Checked requests: the server's answer comes back to us here, never through Qt's error
    // handler. All are sent before the first answer is awaited, so this costs one round trip.
    _xKeyCode = key;
    _root = x11->root();
    std::vector<xcb_void_cookie_t> cookies;
    for (const quint16 state : states)
        cookies.push_back(xcb_grab_key_checked(connection, 0, _root, state, key,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool heldElsewhere = false;
    int otherError = 0;
    for (size_t i = 0; i < states.size(); ++i) {
        const ReplyPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]),
                                                  &std::free);
        if (!error)
            _grabbedStates.push_back(states[i]);
        else if (error->error_code == XCB_ACCESS)
            heldElsewhere = true;
        else
            otherError = error->error_code;
    }
    if (heldElsewhere || otherError) {
        // Half a hot key, working only with some lock on, would only puzzle the user.
        ungrab();
        const QString combination = HotKey::describe(keyCode, modifierMask);
        if (heldElsewhere)
            warn(Strings::format(QStringLiteral("the hot key %@ is held by another program"),
                                 {combination}));
        else
            warn(Strings::format(QStringLiteral("the hot key %@ cannot be grabbed: X error %d"),
                                 {combination, otherError}));
        return false;
    }
    _xModifiers = modifiers;
    _lockModifiers = quint16(XCB_MOD_MASK_LOCK | numLock);
    return true;
}

void X11HotKey::ungrab() {
    release(_xKeyCode, _grabbedStates);
    _grabbedStates.clear();
    _xKeyCode = 0;
    _down = false;
    _releaseTime = 0;
}

void X11HotKey::regrab() {
    // The grab held now stays until the new one is in place. The first key a keyboard (or
    // xdotool) sends makes the server switch to that device's map and tell us so: its press
    // follows at once, and would go to the focused window in a gap between the two grabs.
    const quint8 oldKey = std::exchange(_xKeyCode, 0);
    const std::vector<quint16> oldStates = std::exchange(_grabbedStates, {});
    const bool sameKey = grab(_wanted->first, _wanted->second) && _xKeyCode == oldKey;
    std::vector<quint16> stale;
    for (const quint16 state : oldStates)
        if (!sameKey || std::ranges::find(_grabbedStates, state) == _grabbedStates.end())
            stale.push_back(state);
    release(oldKey, stale);
    // A key held through the change is still held; one on another key is not.
    if (!sameKey) {
        _down = false;
        _releaseTime = 0;
    }
}

void X11HotKey::release(quint8 key, const std::vector<quint16>& states) const {
    const X11Connection* x11 = X11Connection::get();
    if (!x11 || states.empty())
        return;
    for (const quint16 state : states)
        xcb_ungrab_key(x11->connection(), key, _root, state);
    xcb_flush(x11->connection());
}

std::optional<quint32> X11HotKey::pressTime(const void* message) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(message);
    // After a new layout (setxkbmap, a keyboard plugged in) the key may be another X key.
    if (KeyboardMap::isMappingChange(_xkbEventBase, generic)) {
        regrab();
        return std::nullopt;
    }
    if (!_xKeyCode)
        return std::nullopt;
    // The top bit only tells that another client sent the event.
    const auto type = generic->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return std::nullopt;
    // A release has the layout of a press.
    const auto* event = static_cast<const xcb_key_press_event_t*>(message);
    if (event->detail != _xKeyCode || event->event != _root)
        return std::nullopt;
    if (type == XCB_KEY_RELEASE) {
        _down = false;
        _releaseTime = event->time;
        return std::nullopt;
    }
    if ((event->state & kModifierBits & ~_lockModifiers) != _xModifiers)
        return std::nullopt;
    // The server repeats a held key as a release and a press of the same time, unless the client
    // asked for detectable auto-repeat, when it repeats the press alone.
    const bool repeat = _down || event->time == _releaseTime;
    _down = true;
    if (repeat)
        return std::nullopt;
    return event->time;
}
