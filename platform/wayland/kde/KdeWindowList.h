#pragma once

#include "platform/wayland/Toplevels.h"

#include <QObject>
#include <memory>
#include <vector>

class WaylandConnection;
struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

// The windows as KWin lists them to Plasma's task bar (org_kde_plasma_window_management): their
// app_id, title, pid and whether each is the active one. KWin offers the list only to programs
// whose installed desktop file names the interface (X-KDE-Wayland-Interfaces) and whose Exec is
// the running executable. The list follows KWin's events as the connection dispatches them, and
// is made anew on a new connection.
class KdeWindowList : public Toplevels {
public:
    // Null when KWin does not offer the list to us.
    static std::unique_ptr<KdeWindowList> open(WaylandConnection& wayland);
    ~KdeWindowList() override;
    KdeWindowList(const KdeWindowList&) = delete;
    KdeWindowList& operator=(const KdeWindowList&) = delete;

    std::vector<Toplevel> listed() const override;
    bool activate(quint32 id) override;

private:
    struct Entry {
        KdeWindowList* list;
        org_kde_plasma_window* window;
        Toplevel toplevel;
        // KWin has sent all it knows of the window: until then it is not listed.
        bool described = false;
    };

    explicit KdeWindowList(WaylandConnection& wayland);
    void bindManagement();
    void forgetEverything();
    void follow(org_kde_plasma_window* window);

    static void mapped(void* data, org_kde_plasma_window_management*, uint32_t id);
    static void mappedWithUuid(void* data, org_kde_plasma_window_management*, uint32_t,
                               const char* uuid);
    static void titled(void* data, org_kde_plasma_window*, const char* title);
    static void named(void* data, org_kde_plasma_window*, const char* appId);
    static void stated(void* data, org_kde_plasma_window*, uint32_t flags);
    static void unmapped(void* data, org_kde_plasma_window*);
    static void described(void* data, org_kde_plasma_window*);
    static void ownedBy(void* data, org_kde_plasma_window*, uint32_t pid);

    WaylandConnection& _wayland;
    org_kde_plasma_window_management* _management = nullptr;
    uint32_t _version = 0;
    std::vector<std::unique_ptr<Entry>> _entries;
    quint32 _lastId = 0;
    // What the connection's signals are delivered to; they stop with the list.
    QObject _following;
};
