#include "platform/HotKey.h"

#include "platform/Log.h"
#include "platform/Strings.h"
#include "platform/x11/KeyboardMap.h"
#include "platform/x11/X11Connection.h"

#include <QStringList>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>

namespace {

struct Key {
    quint8 code;
    xcb_keysym_t keysym;
};

// The X key of each key code of gKeyTable, in the same order.
constexpr std::array<Key, gKeyTable.size()> kKeys{{
    {126, XK_Up},  {125, XK_Down}, {123, XK_Left}, {124, XK_Right}, {122, XK_F1},  {120, XK_F2},
    {99, XK_F3},   {118, XK_F4},   {96, XK_F5},    {97, XK_F6},     {98, XK_F7},   {100, XK_F8},
    {101, XK_F9},  {109, XK_F10},  {103, XK_F11},  {111, XK_F12},   {105, XK_F13}, {107, XK_F14},
    {113, XK_F15}, {29, XK_0},     {18, XK_1},     {19, XK_2},      {20, XK_3},    {21, XK_4},
    {23, XK_5},    {22, XK_6},     {26, XK_7},     {28, XK_8},      {25, XK_9},    {0, XK_a},
    {11, XK_b},    {8, XK_c},      {2, XK_d},      {14, XK_e},      {3, XK_f},     {5, XK_g},
    {4, XK_h},     {34, XK_i},     {38, XK_j},     {40, XK_k},      {37, XK_l},    {46, XK_m},
    {45, XK_n},    {31, XK_o},     {35, XK_p},     {12, XK_q},      {15, XK_r},    {1, XK_s},
    {17, XK_t},    {32, XK_u},     {9, XK_v},      {13, XK_w},      {7, XK_x},     {16, XK_y},
    {6, XK_z},
}};
static_assert(std::ranges::equal(gKeyTable, kKeys, {}, {}, &Key::code),
              "every key the preferences offer needs its X key");

struct ModifierKey {
    HotKey::Modifier flag;
    quint16 xMask;
    const char* name;
};

// In the order the desktop writes them.
constexpr std::array<ModifierKey, 4> kModifiers{{
    {HotKey::ControlKey, XCB_MOD_MASK_CONTROL, "Control"},
    {HotKey::OptionKey, XCB_MOD_MASK_1, "Alt"},
    {HotKey::ShiftKey, XCB_MOD_MASK_SHIFT, "Shift"},
    {HotKey::CommandKey, XCB_MOD_MASK_4, "Super"},
}};

// The key state bits that are modifiers; those above are mouse buttons and the keyboard group.
constexpr quint16 kModifierBits = 0xFF;

std::optional<xcb_keysym_t> keysymOf(quint8 keyCode) {
    const auto key = std::ranges::find(kKeys, keyCode, &Key::code);
    if (key == kKeys.end())
        return std::nullopt;
    return key->keysym;
}

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

void warn(const QString& what) {
    Log::write(Strings::format(QStringLiteral("warning*** :[installHotKeyEvent] [%@]"), {what}));
}

} // namespace

std::optional<quint8> HotKey::keyCode(int choice) {
    if (choice < 0 || choice >= int(gKeyTable.size()))
        return std::nullopt;
    return gKeyTable[size_t(choice)];
}

quint16 HotKey::xModifiers(quint16 modifierMask) {
    quint16 xMask = 0;
    for (const ModifierKey& modifier : kModifiers)
        if (modifierMask & modifier.flag)
            xMask |= modifier.xMask;
    return xMask;
}

QString HotKey::describe(quint8 keyCode, quint16 modifierMask) {
    const std::optional<xcb_keysym_t> keysym = keysymOf(keyCode);
    if (!keysym)
        return {};
    QStringList words;
    for (const ModifierKey& modifier : kModifiers)
        if (modifierMask & modifier.flag)
            words << QString::fromLatin1(modifier.name);
    // X names the letter keys by their small letter; the keycaps show the capital.
    const QString key = QString::fromLatin1(XKeysymToString(*keysym));
    words << (key.size() == 1 ? key.toUpper() : key);
    return words.join(u'+');
}

bool HotKey::install(quint8 keyCode, quint16 modifierMask) {
    uninstall();
    _wanted = {keyCode, modifierMask};
    if (const X11Connection* x11 = X11Connection::get())
        _xkbEventBase = KeyboardMap::xkbEventBase(x11->display());
    return grab(keyCode, modifierMask);
}

bool HotKey::grab(quint8 keyCode, quint16 modifierMask) {
    const X11Connection* x11 = X11Connection::get();
    if (!x11)
        return false;
    const std::optional<xcb_keysym_t> keysym = keysymOf(keyCode);
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
                             {describe(keyCode, modifierMask)}));
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
        const QString combination = describe(keyCode, modifierMask);
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

void HotKey::uninstall() {
    _wanted.reset();
    ungrab();
}

void HotKey::ungrab() {
    if (const X11Connection* x11 = X11Connection::get(); x11 && !_grabbedStates.empty()) {
        for (const quint16 state : _grabbedStates)
            xcb_ungrab_key(x11->connection(), _xKeyCode, _root, state);
        xcb_flush(x11->connection());
    }
    _grabbedStates.clear();
    _xKeyCode = 0;
    _down = false;
    _releaseTime = 0;
}

bool HotKey::isPress(const QByteArray& eventType, void* message, quint32* timestamp) {
    if (!_wanted || eventType != "xcb_generic_event_t")
        return false;
    const auto* generic = static_cast<const xcb_generic_event_t*>(message);
    // After a new layout (setxkbmap, a keyboard plugged in) the key may be another X key.
    if (KeyboardMap::isMappingChange(_xkbEventBase, generic)) {
        ungrab();
        grab(_wanted->first, _wanted->second);
        return false;
    }
    if (!_xKeyCode)
        return false;
    // The top bit only tells that another client sent the event.
    const auto type = generic->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // A release has the layout of a press.
    const auto* event = static_cast<const xcb_key_press_event_t*>(message);
    if (event->detail != _xKeyCode || event->event != _root)
        return false;
    if (type == XCB_KEY_RELEASE) {
        _down = false;
        _releaseTime = event->time;
        return false;
    }
    if ((event->state & kModifierBits & ~_lockModifiers) != _xModifiers)
        return false;
    // The server repeats a held key as a release and a press of the same time, unless the client
    // asked for detectable auto-repeat, when it repeats the press alone.
    const bool repeat = _down || event->time == _releaseTime;
    _down = true;
    if (repeat)
        return false;
    if (timestamp)
        *timestamp = event->time;
    return true;
}
