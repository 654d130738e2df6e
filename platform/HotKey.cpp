#include "platform/HotKey.h"

#include "platform/Log.h"
#include "platform/Strings.h"

#include <QStringList>
#include <algorithm>
#include <xkbcommon/xkbcommon.h>

namespace {

struct Key {
    quint8 code;
    xkb_keysym_t keysym;
};

// The keysym of each key code of gKeyTable, in the same order.
constexpr std::array<Key, gKeyTable.size()> kKeys{{
    {126, XKB_KEY_Up},  {125, XKB_KEY_Down}, {123, XKB_KEY_Left}, {124, XKB_KEY_Right},
    {122, XKB_KEY_F1},  {120, XKB_KEY_F2},   {99, XKB_KEY_F3},    {118, XKB_KEY_F4},
    {96, XKB_KEY_F5},   {97, XKB_KEY_F6},    {98, XKB_KEY_F7},    {100, XKB_KEY_F8},
    {101, XKB_KEY_F9},  {109, XKB_KEY_F10},  {103, XKB_KEY_F11},  {111, XKB_KEY_F12},
    {105, XKB_KEY_F13}, {107, XKB_KEY_F14},  {113, XKB_KEY_F15},  {29, XKB_KEY_0},
    {18, XKB_KEY_1},    {19, XKB_KEY_2},     {20, XKB_KEY_3},     {21, XKB_KEY_4},
    {23, XKB_KEY_5},    {22, XKB_KEY_6},     {26, XKB_KEY_7},     {28, XKB_KEY_8},
    {25, XKB_KEY_9},    {0, XKB_KEY_a},      {11, XKB_KEY_b},     {8, XKB_KEY_c},
    {2, XKB_KEY_d},     {14, XKB_KEY_e},     {3, XKB_KEY_f},      {5, XKB_KEY_g},
    {4, XKB_KEY_h},     {34, XKB_KEY_i},     {38, XKB_KEY_j},     {40, XKB_KEY_k},
    {37, XKB_KEY_l},    {46, XKB_KEY_m},     {45, XKB_KEY_n},     {31, XKB_KEY_o},
    {35, XKB_KEY_p},    {12, XKB_KEY_q},     {15, XKB_KEY_r},     {1, XKB_KEY_s},
    {17, XKB_KEY_t},    {32, XKB_KEY_u},     {9, XKB_KEY_v},      {13, XKB_KEY_w},
    {7, XKB_KEY_x},     {16, XKB_KEY_y},     {6, XKB_KEY_z},
}};
static_assert(std::ranges::equal(gKeyTable, kKeys, {}, {}, &Key::code),
              "every key the preferences offer needs its keysym");

// The modifiers' names, in the order the desktop writes them.
constexpr std::pair<HotKey::Modifier, const char*> kModifierNames[] = {
    {HotKey::ControlKey, "Control"},
    {HotKey::OptionKey, "Alt"},
    {HotKey::ShiftKey, "Shift"},
    {HotKey::CommandKey, "Super"},
};

std::function<std::unique_ptr<HotKey::Backend>()>& backendMaker() {
    static std::function<std::unique_ptr<HotKey::Backend>()> make;
    return make;
}

} // namespace

void HotKey::installBackend(std::function<std::unique_ptr<Backend>()> makeBackend) {
    backendMaker() = std::move(makeBackend);
}

std::optional<quint8> HotKey::keyCode(int choice) {
    if (choice < 0 || choice >= int(gKeyTable.size()))
        return std::nullopt;
    return gKeyTable[size_t(choice)];
}

std::optional<quint32> HotKey::keysym(quint8 keyCode) {
    const auto key = std::ranges::find(kKeys, keyCode, &Key::code);
    if (key == kKeys.end())
        return std::nullopt;
    return key->keysym;
}

QString HotKey::describe(quint8 keyCode, quint16 modifierMask) {
    const std::optional<quint32> sym = keysym(keyCode);
    if (!sym)
        return {};
    QStringList words;
    for (const auto& [flag, name] : kModifierNames)
        if (modifierMask & flag)
            words << QString::fromLatin1(name);
    // The letter keys are named by their small letter; the keycaps show the capital.
    char name[64] = {};
    xkb_keysym_get_name(*sym, name, sizeof name);
    const QString key = QString::fromLatin1(name);
    words << (key.size() == 1 ? key.toUpper() : key);
    return words.join(u'+');
}

namespace {

std::unique_ptr<HotKey::Backend> makeBackend() {
    return backendMaker() ? backendMaker()() : std::make_unique<HotKey::Backend>();
}

} // namespace

bool HotKey::canGrab() {
    return makeBackend()->grabs();
}

bool HotKey::install(quint8 keyCode, quint16 modifierMask, Receiver receiver) {
    uninstall();
    _backend = makeBackend();
    return _backend->install(keyCode, modifierMask, std::move(receiver));
}

void HotKey::Backend::warn(const QString& what) {
    Log::write(Strings::format(QStringLiteral("warning*** :[installHotKeyEvent] [%@]"), {what}));
}
