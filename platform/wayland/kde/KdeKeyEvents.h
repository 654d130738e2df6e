#pragma once

#include "platform/KeyEvents.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <memory>

class WaylandConnection;
class Toplevels;
struct org_kde_kwin_fake_input;
struct wl_keyboard;

// The paste keystroke through KWin's fake input (org_kde_kwin_fake_input), sent only while KWin
// has activated the target window itself. KWin offers fake input only to programs whose
// installed desktop file names the interface, as it does its window list.
//
// KWin reads these keys as it reads the user's, through the user's keymap, and works the
// modifiers out from them: so the keys are looked up in the keymap KWin hands every client, where
// V is another key on a Dvorak keyboard than on a QWERTY one. Without a layout that has V (a
// Russian one alone), the QWERTY key stands for it, by which programs match their shortcuts then.
//
// The keys the user pressed in the paste window: as on wlroots, the paste goes at the release of
// the Return that chose, with no modifier down.
class KdeKeyEvents : public KeyEvents::Backend {
public:
    // Null when KWin does not offer fake input to us.
    static std::unique_ptr<KdeKeyEvents> open(WaylandConnection& wayland,
                                              std::shared_ptr<Toplevels> toplevels);
    ~KdeKeyEvents() override;
    KdeKeyEvents(const KdeKeyEvents&) = delete;
    KdeKeyEvents& operator=(const KdeKeyEvents&) = delete;

    // False, with nothing sent, when the target is not the activated window within half a
    // second, or another window is.
    bool sendPaste(KeyEvents::Paste keystroke, quint32 target) override;

private:
    KdeKeyEvents(WaylandConnection& wayland, std::shared_ptr<Toplevels> toplevels);
    void bindInput();
    void followKeymap();
    void dropKeymap();
    void forgetEverything();
    void readKeymap(int fd, uint32_t size);

    static void keymapped(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size);

    WaylandConnection& _wayland;
    std::shared_ptr<Toplevels> _toplevels;
    org_kde_kwin_fake_input* _input = nullptr;
    // Only for the keymap KWin sends with it, and anew whenever the user's keymap changes.
    wl_keyboard* _keyboard = nullptr;
    // The evdev code of each key, by KeyEvents::Key, as the user's keymap places it.
    std::array<uint32_t, 4> _codes;
    // What the connection's signals are delivered to; they stop with the keystrokes.
    QObject _following;
};
