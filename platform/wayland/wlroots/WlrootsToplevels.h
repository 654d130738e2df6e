#pragma once

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

// The windows of every program, ours too, as a wlroots compositor lists them to a task bar
// (zwlr_foreign_toplevel_manager_v1): their app_id, title and whether each is the activated one.
// The list follows the compositor's events as the connection dispatches them, and is made anew
// on a new connection.
class WlrootsToplevels {
public:
    struct Toplevel {
        // A number of ours for the compositor's handle, never given twice in a run.
        quint32 id = 0;
        QString appId;
        QString title;
        bool activated = false;

        // Whether it is one of this program's windows: Qt's Wayland platform gives them the
        // application's desktop file name as app_id.
        bool isOurs() const;
    };

    // Null when the compositor does not offer the list.
    static std::unique_ptr<WlrootsToplevels> open(WaylandConnection& wayland);
    ~WlrootsToplevels();
    WlrootsToplevels(const WlrootsToplevels&) = delete;
    WlrootsToplevels& operator=(const WlrootsToplevels&) = delete;

    // The window the compositor has activated; nothing when none is (an empty workspace).
    std::optional<Toplevel> activated() const;
    // Nothing once the window is closed.
    std::optional<Toplevel> find(quint32 id) const;
    // This program's windows, in the order the compositor mapped them.
    std::vector<Toplevel> ours() const;
    // Asks the compositor to activate the window for the user's seat, as a task bar does; false
    // when it is closed.
    bool activate(quint32 id);

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
