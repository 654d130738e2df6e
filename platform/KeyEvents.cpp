#include "platform/KeyEvents.h"

namespace {

using Paste = KeyEvents::Paste;

struct Program {
    QStringView name;
    Paste keystroke;
};

// As their programs set the class or the instance of WM_CLASS on X11, or the app_id on Wayland,
// compared without regard to case; every other program pastes with Control+V.
constexpr Program kPrograms[] = {
    {u"gnome-terminal", Paste::ControlShiftV},
    {u"org.gnome.Terminal", Paste::ControlShiftV},
    {u"org.gnome.Console", Paste::ControlShiftV},
    {u"konsole", Paste::ControlShiftV},
    {u"org.kde.konsole", Paste::ControlShiftV},
    {u"xfce4-terminal", Paste::ControlShiftV},
    {u"lxterminal", Paste::ControlShiftV},
    {u"qterminal", Paste::ControlShiftV},
    {u"mate-terminal", Paste::ControlShiftV},
    {u"terminator", Paste::ControlShiftV},
    {u"tilix", Paste::ControlShiftV},
    {u"com.gexperts.Tilix", Paste::ControlShiftV},
    {u"kitty", Paste::ControlShiftV},
    {u"alacritty", Paste::ControlShiftV},
    {u"org.wezfurlong.wezterm", Paste::ControlShiftV},
    {u"foot", Paste::ControlShiftV},
    {u"footclient", Paste::ControlShiftV},
    {u"st", Paste::ControlShiftV},
    {u"st-256color", Paste::ControlShiftV},
    {u"terminology", Paste::ControlShiftV},
    {u"sakura", Paste::ControlShiftV},
    {u"guake", Paste::ControlShiftV},
    {u"tilda", Paste::ControlShiftV},
    {u"yakuake", Paste::ControlShiftV},
    {u"org.kde.yakuake", Paste::ControlShiftV},
    {u"cool-retro-term", Paste::ControlShiftV},
    // Their Control+Shift+V is "literal next" or a key-code entry mode, not a paste.
    {u"xterm", Paste::ShiftInsert},
    {u"uxterm", Paste::ShiftInsert},
    {u"urxvt", Paste::ShiftInsert},
    {u"rxvt", Paste::ShiftInsert},
    {u"rxvt-unicode", Paste::ShiftInsert},
};

std::unique_ptr<KeyEvents::Backend>& installed() {
    static std::unique_ptr<KeyEvents::Backend> backend = std::make_unique<KeyEvents::Backend>();
    return backend;
}

} // namespace

KeyEvents::Paste KeyEvents::pasteKeystroke(QStringView windowClass, QStringView instance) {
    for (const Program& program : kPrograms)
        if (windowClass.compare(program.name, Qt::CaseInsensitive) == 0 ||
            instance.compare(program.name, Qt::CaseInsensitive) == 0)
            return program.keystroke;
    return Paste::ControlV;
}

bool KeyEvents::pastesPrimary(Paste keystroke) {
    return keystroke == Paste::ShiftInsert;
}

std::vector<KeyEvents::Key> KeyEvents::keysOf(Paste keystroke) {
    switch (keystroke) {
    case Paste::ControlV:
        return {Key::Control, Key::V};
    case Paste::ControlShiftV:
        return {Key::Control, Key::Shift, Key::V};
    case Paste::ShiftInsert:
        return {Key::Shift, Key::Insert};
    }
    return {};
}

bool KeyEvents::sendPaste(Paste keystroke, quint32 target) {
    return installed()->sendPaste(keystroke, target);
}

void KeyEvents::installBackend(std::unique_ptr<Backend> backend) {
    installed() = backend ? std::move(backend) : std::make_unique<Backend>();
}
