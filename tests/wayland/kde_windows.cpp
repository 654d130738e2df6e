// The windows as KWin lists them to Plasma's task bar, through Kelvrin's own list, and keys as a
// person types them; the KWin tests run it in the session, trusted as an installed program, to
// see what a person sees and do what a person does.
//   kde_windows list            a line for each window: "<1 when active, else 0> <pid> <app_id>
//   <title>" kde_windows activate TITLE  activates the window so titled; ends once it is active
//   kde_windows type KEY...     presses and releases each key, named as xkbcommon names keysyms
//                               (Down, Return), where a US keyboard has it; keys joined by +
//                               (Control_L+v) go down in order and up in the reverse order
// Ends with 3 when KWin does not offer the list or the keys to it, with 1 when the window is not
// found or does not become active, or a key is unknown.
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/XkbKeymap.h"
#include "platform/wayland/kde/KdeWindowList.h"

#include <QCoreApplication>
#include <cstdio>
#include <fake-input-client-protocol.h>
#include <optional>
#include <vector>
#include <wayland-client.h>

namespace {

int type(WaylandConnection& wayland, const QStringList& keys) {
    auto* input =
        static_cast<org_kde_kwin_fake_input*>(wayland.bind(&org_kde_kwin_fake_input_interface, 4));
    if (!input) {
        std::fprintf(stderr, "kde_windows: KWin takes no keys from this program\n");
        return 3;
    }
    org_kde_kwin_fake_input_authenticate(input, "kde_windows", "tests");
    const XkbKeymap::Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    const xkb_rule_names names{nullptr, nullptr, "us", nullptr, nullptr};
    const XkbKeymap::Keymap keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    for (const QString& chord : keys) {
        std::vector<uint32_t> codes;
        for (const QString& key : chord.split(u'+')) {
            codes.push_back(XkbKeymap::evdevCode(
                keymap.get(), xkb_keysym_from_name(qPrintable(key), XKB_KEYSYM_NO_FLAGS)));
            if (!codes.back()) {
                std::fprintf(stderr, "kde_windows: no key %s\n", qPrintable(key));
                return 1;
            }
        }
        for (const uint32_t code : codes)
            org_kde_kwin_fake_input_keyboard_key(input, code, WL_KEYBOARD_KEY_STATE_PRESSED);
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            org_kde_kwin_fake_input_keyboard_key(input, *code, WL_KEYBOARD_KEY_STATE_RELEASED);
        wayland.roundtrip();
    }
    return 0;
}

// Follows KWin's list as it changes, without ever polling it.
int watch(WaylandConnection& wayland, const KdeWindowList& list) {
    std::optional<quint32> shown;
    const auto active = [&] {
        const auto front = list.activated();
        return front ? front->id : 0;
    };
    while (!wayland.broken()) {
        if (shown != active()) {
            shown = active();
            const auto front = list.activated();
            std::printf("%s\n", front ? qPrintable(front->appId) : "");
            std::fflush(stdout);
        }
        wayland.waitUntil([&] { return shown != active(); }, 60000);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty() || (arguments[0] == u"activate" && arguments.size() != 2)) {
        std::fprintf(stderr, "usage: kde_windows list | kde_windows activate TITLE | kde_windows "
                             "watch | kde_windows "
                             "type KEY...\n");
        return 2;
    }
    QString trouble;
    const std::unique_ptr<WaylandConnection> wayland = WaylandConnection::open(&trouble);
    if (!wayland) {
        std::fprintf(stderr, "kde_windows: no compositor answers %s\n", qPrintable(trouble));
        return 2;
    }
    if (arguments[0] == u"type")
        return type(*wayland, arguments.mid(1));
    const std::unique_ptr<KdeWindowList> list = KdeWindowList::open(*wayland);
    if (!list) {
        std::fprintf(stderr, "kde_windows: KWin does not list its windows to this program\n");
        return 3;
    }
    if (arguments[0] == u"watch")
        return watch(*wayland, *list);
    if (arguments[0] == u"list") {
        for (const Toplevels::Toplevel& window : list->listed())
            std::printf("%d %lld %s %s\n", int(window.activated),
                        static_cast<long long>(window.pid), qPrintable(window.appId),
                        qPrintable(window.title));
        return 0;
    }
    for (const Toplevels::Toplevel& window : list->listed())
        if (window.title == arguments[1])
            return list->activate(window.id) && wayland->waitUntil(
                                                    [&] {
                                                        const auto now = list->find(window.id);
                                                        return now && now->activated;
                                                    },
                                                    5000)
                       ? 0
                       : 1;
    return 1;
}
