#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// The windows of every program, ours too, as a compositor lists them to a task bar: the one that
// has the keyboard, and activating one as a task bar does. Each compositor family has its own
// protocol for it (wlroots' foreign toplevels, KDE's plasma window management).
class WaylandConnection;

class Toplevels {
public:
    struct Toplevel {
        // A number of ours for the compositor's window, never given twice in a run.
        quint32 id = 0;
        QString appId;
        QString title;
        // 0 when the compositor does not say.
        qint64 pid = 0;
        bool activated = false;

        // Whether it is one of this program's windows: Qt's Wayland platform gives them the
        // application's desktop file name as app_id.
        bool isOurs() const;
    };

    virtual ~Toplevels() = default;

    // Every window listed, as the compositor last described it in full.
    virtual std::vector<Toplevel> listed() const = 0;
    // Asks the compositor to activate the window for the user's seat, as a task bar does; false
    // when it is closed.
    virtual bool activate(quint32 id) = 0;

    // The window the compositor has activated; nothing when none is (an empty workspace).
    std::optional<Toplevel> activated() const;
    // Nothing once the window is closed.
    std::optional<Toplevel> find(quint32 id) const;
    // This program's windows, in the order the compositor listed them.
    std::vector<Toplevel> ours() const;
    // Dispatches the events of the connection the list follows until that window is the
    // activated one; false when it is not within the time (another one is, or it closed).
    bool waitUntilActivated(WaylandConnection& wayland, quint32 id, int timeoutMs) const;
};
