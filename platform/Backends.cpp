#include "platform/Backends.h"

#include "platform/Alert.h"
#include "platform/Defaults.h"
#include "platform/HotKey.h"
#include "platform/Indicator.h"
#include "platform/KeyEvents.h"
#include "platform/Log.h"
#include "platform/Processes.h"
#include "platform/Strings.h"
#include "platform/WindowHints.h"
#include "platform/gnome/GnomeHotKey.h"
#include "platform/gnome/GnomeIndicator.h"
#include "platform/gnome/GnomeKeyEvents.h"
#include "platform/gnome/GnomePasteboard.h"
#include "platform/gnome/GnomeShell.h"
#include "platform/gnome/GnomeWindows.h"
#include "platform/wayland/QtConnectionLoss.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/WaylandWindows.h"
#include "platform/wayland/kde/KdeHotKey.h"
#include "platform/wayland/kde/KdeKeyEvents.h"
#include "platform/wayland/kde/KdeWindowList.h"
#include "platform/wayland/wlroots/WlrootsHotKey.h"
#include "platform/wayland/wlroots/WlrootsKeyEvents.h"
#include "platform/wayland/wlroots/WlrootsToplevels.h"
#include "platform/wayland/wlroots/WlrootsWindowHints.h"
#include "platform/x11/X11HotKey.h"
#include "platform/x11/X11KeyEvents.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11WindowHints.h"
#include "platform/x11/X11Windows.h"
#include "platform/x11/XDisplay.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

bool offersDataControl(const WaylandConnection& wayland) {
    return wayland.offers("ext_data_control_manager_v1") ||
           wayland.offers("zwlr_data_control_manager_v1");
}

// The globals without which the Wayland side has nothing to offer: the clipboard watched
// without focus, and the list of the windows in front.
bool offersNativeServices(const WaylandConnection& wayland) {
    return offersDataControl(wayland) || wayland.offers("zwlr_foreign_toplevel_manager_v1");
}

bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland";
}

// Qt's windows live where the services do, whatever QT_QPA_PLATFORM asked for Qt programs in
// general: only then are Kelvrin's windows told apart from other programs', and a copy in one of
// its fields read from Qt in this process rather than through another display system. Kelvrin
// starts no programs that would inherit the setting.
void useQtPlatform(const char* name) {
    const QList<QByteArray> asked = qgetenv("QT_QPA_PLATFORM").split(';');
    const bool namesDisplaySystem = std::ranges::any_of(asked, [](const QByteArray& platform) {
        return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    });
    if (namesDisplaySystem)
        qputenv("QT_QPA_PLATFORM", name);
}

bool isGnome() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(u"GNOME");
}

// Kelvrin's extension, installed but not enabled, is offered to the user once; true when the
// user enabled it and it runs now.
bool offerGnomeExtension() {
    const QString offered = QStringLiteral("GnomeExtensionOffered");
    Defaults defaults;
    if (defaults.boolForKey(offered).value_or(false))
        return false;
    defaults.setBool(true, offered);
    defaults.synchronize();
    const int answer = Alert::run(Strings::localized(QStringLiteral("GnomeExtensionOfferTitle")),
                                  Strings::localized(QStringLiteral("GnomeExtensionOfferMessage")),
                                  Strings::localized(QStringLiteral("GnomeExtensionOfferButton1")),
                                  Strings::localized(QStringLiteral("GnomeExtensionOfferButton2")),
                                  Alert::AlternateReturn);
    return answer == Alert::DefaultReturn && GnomeShell::enable();
}

// Through XWayland alone, only the programs on X11 are seen and pasted into; on GNOME (where
// gnome tells what became of Kelvrin's extension), the extension would see the others.
void sayWhatXWaylandLacks(std::optional<GnomeShell::Installed> gnome) {
    std::fprintf(stderr, "kelvrin: running through XWayland: the hot key and the paste work only "
                         "with programs that run on X11 too.\n");
    if (!gnome)
        return;
    if (*gnome == GnomeShell::Installed::No)
        std::fprintf(stderr, "kelvrin: Kelvrin's GNOME Shell extension (kelvrin@kelvrin.github.io) "
                             "is not installed: Kelvrin's package and \"make install\" install "
                             "it, for the hot key and the paste in every program.\n");
    else
        std::fprintf(stderr, "kelvrin: Kelvrin's GNOME Shell extension (kelvrin@kelvrin.github.io) "
                             "does not run: enable it in GNOME's Extensions app for the hot key "
                             "and the paste in every program. GNOME may need a new login before "
                             "it loads an extension installed since.\n");
}

// What serves each service, as the log names it.
struct Chosen {
    QString clipboard, windows, keystroke, hotKey, hints;
};

// On X11 one family serves every service.
Chosen onX11() {
    Processes::installBackend(std::make_unique<X11Windows>());
    KeyEvents::installBackend(std::make_unique<X11KeyEvents>());
    HotKey::installBackend([] { return std::make_unique<X11HotKey>(); });
    WindowHints::installBackend(std::make_unique<X11WindowHints>());
    return {QStringLiteral("X11 selection"), QStringLiteral("X11 (EWMH)"),
            QStringLiteral("X11 (XTest)"), QStringLiteral("X11 (key grab)"),
            QStringLiteral("X11 (EWMH)")};
}

// On GNOME's Wayland session Kelvrin runs through XWayland, which serves the clipboard and its own
// windows' hints; the windows of every program, the keystroke and the hot key come from its
// shell extension, which sees the native Wayland programs too, and shows Kelvrin's icon in the top
// bar in place of the tray GNOME does not show.
Chosen onGnomeThroughXWayland(const std::shared_ptr<GnomeShell>& shell) {
    Chosen chosen = onX11();
    Processes::installBackend(std::make_unique<GnomeWindows>(shell));
    KeyEvents::installBackend(std::make_unique<GnomeKeyEvents>(shell, true));
    HotKey::installBackend([shell] { return std::make_unique<GnomeHotKey>(shell); });
    Indicator::installBackend(std::make_unique<GnomeIndicator>(shell));
    const QString extension = QStringLiteral("GNOME Shell (Kelvrin's extension)");
    chosen.windows = chosen.keystroke = chosen.hotKey = extension;
    return chosen;
}

// Natively on GNOME's Wayland session, Kelvrin's extension serves every service but our own
// windows' hints, which Mutter takes from no client: the clipboard (written through Qt's while the
// paste window has the keyboard), the windows, the keystroke, the hot key and the icon.
Chosen onGnome(WaylandConnection& wayland, const std::shared_ptr<GnomeShell>& shell) {
    wayland.watch();
    Processes::installBackend(std::make_unique<GnomeWindows>(shell));
    KeyEvents::installBackend(std::make_unique<GnomeKeyEvents>(shell, false));
    HotKey::installBackend([shell] { return std::make_unique<GnomeHotKey>(shell); });
    Indicator::installBackend(std::make_unique<GnomeIndicator>(shell));
    WindowHints::installBackend(nullptr);
    const QString extension = QStringLiteral("GNOME Shell (Kelvrin's extension)");
    return {extension, extension, extension, extension, QStringLiteral("none")};
}

struct Listed {
    std::shared_ptr<Toplevels> toplevels;
    QString by;
};

// The windows of every program, as KWin lists them to Plasma or as a wlroots compositor lists
// them; without either, what is missing is said once.
Listed listWindows(WaylandConnection& wayland) {
    if (std::shared_ptr<Toplevels> kde = KdeWindowList::open(wayland))
        return {kde, QStringLiteral("KDE (plasma window management)")};
    if (std::shared_ptr<Toplevels> wlroots = WlrootsToplevels::open(wayland))
        return {wlroots, QStringLiteral("wlroots (foreign toplevels)")};
    // KWin offers Plasma's shell to everyone, and its window list only to the programs it trusts.
    if (wayland.offers("org_kde_plasma_shell"))
        Log::write(QStringLiteral(
            "warning*** :[wayland] [KWin refused us its list of windows "
            "(org_kde_plasma_window_management): it trusts only a program started from its "
            "installed path, which the desktop entry names. The program in front is unknown, and "
            "a chosen clipping only goes onto the clipboard]"));
    else
        Log::write(QStringLiteral(
            "warning*** :[wayland] [this compositor does not list its windows "
            "(zwlr_foreign_toplevel_manager_v1): the program in front is unknown, and a chosen "
            "clipping only goes onto the clipboard]"));
    return {};
}

// The keystroke through KWin's fake input, else through a wlroots virtual keyboard; what makes
// it, as the log names it. KWin offers fake input to the programs it gives its window list; one
// that had the list and not the input was trusted by a desktop entry naming only the list.
QString installKeyEvents(WaylandConnection& wayland, const std::shared_ptr<Toplevels>& toplevels) {
    if (std::unique_ptr<KdeKeyEvents> kde = KdeKeyEvents::open(wayland, toplevels)) {
        KeyEvents::installBackend(std::move(kde));
        return QStringLiteral("KDE (fake input)");
    }
    if (wayland.offers("org_kde_plasma_shell")) {
        if (toplevels)
            Log::write(QStringLiteral(
                "warning*** :[wayland] [KWin refused us its fake input (org_kde_kwin_fake_input): "
                "the desktop entry it trusts us by does not name it. A chosen clipping only goes "
                "onto the clipboard]"));
        KeyEvents::installBackend(nullptr);
        return QStringLiteral("none");
    }
    KeyEvents::installBackend(std::make_unique<WlrootsKeyEvents>(wayland, toplevels));
    return toplevels && wayland.offers("zwp_virtual_keyboard_manager_v1")
               ? QStringLiteral("wlroots (virtual keyboard)")
               : QStringLiteral("none");
}

// On a Wayland compositor each service takes what the compositor offers for it. The clipboard
// needs data-control, which any compositor may offer; the window list and the keystroke come from
// KWin or a wlroots compositor; a key combination only from KDE's shortcut daemon, elsewhere the
// user binds a key of the compositor; the floating rule is sway's. A backend without its protocol
// says once what is missing and serves what it can.
Chosen onWayland(WaylandConnection& wayland) {
    wayland.watch();
    const Listed listed = listWindows(wayland);
    const std::shared_ptr<Toplevels>& toplevels = listed.toplevels;
    Processes::installBackend(std::make_unique<WaylandWindows>(wayland, toplevels));
    const QString keystroke = installKeyEvents(wayland, toplevels);
    const bool kdeShortcuts = KdeHotKey::available();
    if (kdeShortcuts)
        HotKey::installBackend([] { return std::make_unique<KdeHotKey>(); });
    else
        HotKey::installBackend([] { return std::make_unique<WlrootsHotKey>(); });
    WindowHints::installBackend(std::make_unique<WlrootsWindowHints>());
    const QString none = QStringLiteral("none");
    return {offersDataControl(wayland) ? QStringLiteral("Wayland data-control")
                                       : QStringLiteral("Qt's, while our window has the keyboard"),
            toplevels ? listed.by : none, keystroke,
            kdeShortcuts ? QStringLiteral("KDE (global shortcut)")
                         : QStringLiteral("a key binding of the compositor"),
            QStringLiteral("wlroots (floating on sway)")};
}

} // namespace

Backends::Backends(std::unique_ptr<WaylandConnection> wayland) : _wayland(std::move(wayland)) {}

Backends::~Backends() {
    // Before the connection they speak through goes.
    Processes::installBackend(nullptr);
    KeyEvents::installBackend(nullptr);
    HotKey::installBackend(nullptr);
    WindowHints::installBackend(nullptr);
}

std::unique_ptr<Backends> Backends::choose() {
    const QByteArray asked = qgetenv("KELVRIN_PLATFORM");
    if (!asked.isEmpty() && asked != "x11" && asked != "wayland") {
        std::fprintf(stderr, "kelvrin: KELVRIN_PLATFORM must be x11 or wayland, not \"%s\".\n",
                     asked.constData());
        return nullptr;
    }
    if (asked != "x11") {
        QString trouble;
        std::unique_ptr<WaylandConnection> wayland = WaylandConnection::open(&trouble);
        if (!trouble.isEmpty()) {
            std::fprintf(stderr, "kelvrin: WAYLAND_DISPLAY=%s: %s.\n",
                         qgetenv("WAYLAND_DISPLAY").constData(), qPrintable(trouble));
            return nullptr;
        }
        // Kelvrin's extension serves what Mutter does not, when it answers us.
        if (wayland && (asked == "wayland" || offersNativeServices(*wayland) ||
                        (isGnome() && GnomeShell::answersUs()))) {
            useQtPlatform("wayland");
            return std::unique_ptr<Backends>(new Backends(std::move(wayland)));
        }
        if (asked == "wayland") {
            std::fprintf(stderr, "kelvrin: KELVRIN_PLATFORM=wayland, but no Wayland compositor "
                                 "answers (WAYLAND_DISPLAY names none that runs).\n");
            return nullptr;
        }
        if (wayland)
            std::fprintf(stderr, "kelvrin: this Wayland compositor offers neither a clipboard to "
                                 "watch (ext_data_control_manager_v1, "
                                 "zwlr_data_control_manager_v1) nor a list of windows "
                                 "(zwlr_foreign_toplevel_manager_v1).\n");
    }
    useQtPlatform("xcb");
    if (!XDisplay::answers())
        return nullptr;
    return std::unique_ptr<Backends>(new Backends(nullptr));
}

void Backends::start() {
    // Kelvrin's extension is looked for on the session bus, which is there once the application
    // is.
    const bool nativeServices = _wayland && offersNativeServices(*_wayland);
    bool gnomeExtension = !nativeServices && GnomeShell::available();
    std::optional<GnomeShell::Installed> gnome;
    if (!_wayland && !gnomeExtension && isWaylandSession() && isGnome()) {
        gnome = GnomeShell::installed();
        gnomeExtension = *gnome == GnomeShell::Installed::Disabled && offerGnomeExtension();
    }
    if (gnomeExtension)
        _gnome = std::make_shared<GnomeShell>();
    const Chosen chosen = _wayland && _gnome ? onGnome(*_wayland, _gnome)
                          : _wayland         ? onWayland(*_wayland)
                          : _gnome           ? onGnomeThroughXWayland(_gnome)
                                             : onX11();
    if (!_wayland && !gnomeExtension && isWaylandSession())
        sayWhatXWaylandLacks(gnome);
    Log::write(
        QStringLiteral("information:[backends] [clipboard: %1; window in front: %2; "
                       "keystroke: %3; hot key: %4; window hints: %5]")
            .arg(chosen.clipboard, chosen.windows, chosen.keystroke, chosen.hotKey, chosen.hints));
}

void Backends::whenConnectionLost(QObject* context, std::function<void()> save) {
    if (!_wayland)
        return;
    QObject::connect(_wayland.get(), &WaylandConnection::connectionLost, context, save);
    QtConnectionLoss::install(context, std::move(save));
}

std::unique_ptr<Pasteboard> Backends::clipboard() const {
    if (_wayland && _gnome)
        return std::make_unique<GnomePasteboard>(_gnome);
    if (_wayland)
        return std::make_unique<WaylandPasteboard>(*_wayland);
    if (_gnome)
        return std::make_unique<X11Pasteboard>(
            [shell = _gnome] { return shell->clipboardKeptByShell(); });
    return std::make_unique<X11Pasteboard>();
}
