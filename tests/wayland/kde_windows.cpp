// The windows as KWin lists them to Plasma's task bar, through Kelvrin's own list; the KWin tests
// run it in the session, trusted as an installed program, to see what a person sees.
//   kde_windows list            a line for each window: "<1 when active, else 0> <pid> <app_id> <title>"
//   kde_windows activate TITLE  activates the window so titled; ends once it is active
// Ends with 3 when KWin does not offer the list to it, with 1 when the window is not found or
// does not become active.
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/kde/KdeWindowList.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty() || (arguments[0] == u"activate" && arguments.size() != 2)) {
        std::fprintf(stderr, "usage: kde_windows list | kde_windows activate TITLE\n");
        return 2;
    }
    QString trouble;
    const std::unique_ptr<WaylandConnection> wayland = WaylandConnection::open(&trouble);
    if (!wayland) {
        std::fprintf(stderr, "kde_windows: no compositor answers %s\n", qPrintable(trouble));
        return 2;
    }
    const std::unique_ptr<KdeWindowList> list = KdeWindowList::open(*wayland);
    if (!list) {
        std::fprintf(stderr, "kde_windows: KWin does not list its windows to this program\n");
        return 3;
    }
    if (arguments[0] == u"list") {
        for (const Toplevels::Toplevel& window : list->listed())
            std::printf("%d %lld %s %s\n", int(window.activated), static_cast<long long>(window.pid),
                        qPrintable(window.appId), qPrintable(window.title));
        return 0;
    }
    for (const Toplevels::Toplevel& window : list->listed())
        if (window.title == arguments[1])
            return list->activate(window.id) &&
                           wayland->waitUntil(
                               [&] {
                                   const auto now = list->find(window.id);
                                   return now && now->activated;
                               },
                               5000)
                       ? 0
                       : 1;
    return 1;
}
