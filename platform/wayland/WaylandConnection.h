#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_interface;
struct wl_seat;

// Our own connection to the Wayland compositor, shared by the platform modules that speak its
// protocols (the clipboard, the toplevel list, the virtual keyboard). It is a connection apart
// from Qt's: those protocols are about other programs' windows, and our events must not wait
// for Qt's. Its events are dispatched on the thread that opened it, from the event loop once
// watch() was called, and while one of its waits runs.
//
// No wait on the compositor lasts longer than the time it is given: a compositor that accepts
// the connection and never answers costs that time, not the program.
//
// What a module made on it lives as long as the compositor keeps it valid, which the signals
// below tell of. A module follows them when it holds protocol objects of its own:
// - seatWithdrawn: what it made for seat() goes now (a data device, a virtual keyboard);
// - seatAnnounced: seat() is a new seat, for which it makes them anew;
// - connectionLost: the objects it made on the connection are dead: it destroys them now,
//   without waiting on the compositor. Until reconnected, the connection answers nothing and
//   sends nothing. (An object not destroyed stays valid memory until the connection goes, on
//   a display of its own that is never read again.)
// - reconnected: a new connection to the same compositor replaced the broken one; the module
//   binds its globals again and may wait on the connection.
// display() changes with a reconnection: it is asked for each time, never kept.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    // A compositor answers a round trip in milliseconds; one that has not in this time is stuck.
    static constexpr int kAnswerTimeoutMs = 1000;
    // A compositor starting with the session may be busy for a moment when Kelvrin starts too.
    static constexpr int kFirstAnswerTimeoutMs = 5000;

    // Opens the connection to the compositor WAYLAND_DISPLAY names and learns its globals. Null
    // when there is no such compositor; null with the trouble said when one accepted the
    // connection but did not answer in time.
    static std::unique_ptr<WaylandConnection> open(QString* trouble);
    ~WaylandConnection() override;

    // From now on the compositor's events are dispatched from the event loop, and what was
    // requested goes out before the loop sleeps.
    void watch();

    wl_display* display() const;
    // The seat that the user's keyboard belongs to: the first one the compositor announced, or
    // the one announced after it was withdrawn; null while there is none.
    wl_seat* seat() const;

    // Whether the compositor offers the global of that interface name.
    bool offers(const char* interfaceName) const;
    // Binds the global of that interface at the highest version both sides know, at most
    // maxVersion; null when the compositor does not offer it.
    void* bind(const wl_interface* interface, uint32_t maxVersion) const;

    // Sends what is queued and waits until the compositor has answered everything before: what
    // it announced in answer is dispatched by then. False when the time ran out first or the
    // connection has broken.
    bool roundtrip(int timeoutMs = kAnswerTimeoutMs);
    // Dispatches the compositor's events, without running Qt's event loop, until the condition
    // holds or the time runs out. False when the time ran out or the connection broke.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    // Sends the requests made so far.
    void flush();
    // Whether the compositor has closed the connection, or a protocol error broke it.
    bool broken() const;

    // For a module that holds protocol objects of its own, as long as the context lives: forget
    // runs when they die with the connection (connectionLost), make when a new connection
    // replaced it (reconnected).
    void followConnection(QObject* context, const std::function<void()>& forget,
                          const std::function<void()>& make);
    // The same for what a module made for the seat (seatWithdrawn, seatAnnounced).
    void followSeat(QObject* context, const std::function<void()>& drop,
                    const std::function<void()>& make);

signals:
    void seatWithdrawn();
    void seatAnnounced();
    void connectionLost();
    void reconnected();

private:
    // One connection to the compositor with what we learnt on it; a reconnection makes another.
    struct Link;

    WaylandConnection(const QByteArray& name, std::unique_ptr<Link> link);
    void watchLink();
    // Once the connection broke: said once, and the link replaced from the event loop.
    void noticeIfBroken();
    void replaceBrokenLink();

    // The compositor's socket, as WAYLAND_DISPLAY named it at the start.
    QByteArray _name;
    std::unique_ptr<Link> _link;
    // The broken links a new one replaced.
    std::vector<std::unique_ptr<Link>> _retired;
    QSocketNotifier* _readable = nullptr;
    bool _watched = false;
    bool _lossNoticed = false;
};
