#include "platform/gnome/GnomeHotKey.h"

#include "platform/Strings.h"
#include "platform/gnome/GnomeShell.h"
#include "platform/gnome/GnomeWindows.h"

#include <xkbcommon/xkbcommon.h>

GnomeHotKey::GnomeHotKey(std::shared_ptr<GnomeShell> shell) : _shell(std::move(shell)) {}

GnomeHotKey::~GnomeHotKey() {
    if (_held)
        _shell->release();
}

QString GnomeHotKey::accelerator(quint8 keyCode, quint16 modifierMask) {
    const std::optional<quint32> keysym = HotKey::keysym(keyCode);
    char name[64] = {};
    if (!keysym || xkb_keysym_get_name(*keysym, name, sizeof name) <= 0)
        return {};
    QString combination;
    for (const auto& [flag, modifier] :
         {std::pair(HotKey::ControlKey, "<Control>"), std::pair(HotKey::ShiftKey, "<Shift>"),
          std::pair(HotKey::OptionKey, "<Alt>"), std::pair(HotKey::CommandKey, "<Super>")})
        if (modifierMask & flag)
            combination += QLatin1String(modifier);
    return combination + QLatin1String(name);
}

bool GnomeHotKey::install(quint8 keyCode, quint16 modifierMask, HotKey::Receiver receiver) {
    const QString combination = accelerator(keyCode, modifierMask);
    if (combination.isEmpty()) {
        warn(Strings::format(QStringLiteral("the key code %u is not a hot key"),
                             {unsigned(keyCode)}));
        return false;
    }
    _held = _shell->grab(combination, [receiver](const GnomeShell::Window& front) {
        receiver({std::nullopt, GnomeWindows::applicationOf(front)});
    });
    if (!_held)
        warn(Strings::format(QStringLiteral("the hot key %@ is held by another program"),
                             {HotKey::describe(keyCode, modifierMask)}));
    return _held;
}
