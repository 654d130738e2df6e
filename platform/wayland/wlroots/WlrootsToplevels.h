#pragma once

#include "platform/wayland/Toplevels.h"

#include <QObject>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

class WaylandConnection;
struct wl_array;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

// The windows as a wlroots compositor lists them to a task bar (zwlr_foreign_toplevel_manager_v1):
// their app_id, title and whether each is the activated one; it never tells the pid. The list
// follows the compositor's events as the connection dispatches them, and is made anew on a new
// connection.
class WlrootsToplevels : public Toplevels {
public:
    // Null when the compositor does not offer the list.
    static std::unique_ptr<WlrootsToplevels> open(WaylandConnection& wayland);
    ~WlrootsToplevels();
    WlrootsToplevels(const WlrootsToplevels&) = delete;
    WlrootsToplevels& operator=(const WlrootsToplevels&) = delete;

    std::vector<Toplevel> listed() const override;
    bool activate(quint32 id) override;

private:
    struct Entry {
        WlrootsToplevels* list;
        zwlr_foreign_toplevel_handle_v1* handle;
        // As of the last "done", and as the events since have changed it.
        Toplevel current;
        Toplevel pending;
    };

    explicit WlrootsToplevels(WaylandConnection& wayland);
    void bindManager();
    void forgetEverything();
    const Entry* entry(quint32 id) const;

    static void added(void* data, zwlr_foreign_toplevel_manager_v1*,
                      zwlr_foreign_toplevel_handle_v1* handle);
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1*);
    static void titled(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title);
    static void named(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId);
    static void stated(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states);
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1*);

    WaylandConnection& _wayland;
    zwlr_foreign_toplevel_manager_v1* _manager = nullptr;
    std::vector<std::unique_ptr<Entry>> _entries;
    quint32 _lastId = 0;
    // What the connection's signals are delivered to; they stop with the list.
    QObject _following;
};
