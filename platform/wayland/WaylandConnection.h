#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_interface;
struct wl_registry;
struct wl_seat;

// Our own connection to the Wayland compositor, shared by the platform modules that speak its
// protocols (the clipboard, the toplevel list, the virtual keyboard). It is a connection apart
// from Qt's: those protocols are about other programs' windows, and our events must not wait
// for Qt's. Its events are dispatched on the thread that opened it, from the event loop.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    // Opens the connection to the compositor WAYLAND_DISPLAY names and learns its globals; null
    // when there is none.
    static std::unique_ptr<WaylandConnection> open();
    // The connection the session opened for the modules; null when Kelvrin runs on X11.
    static WaylandConnection* get();
    // Makes this the connection get() hands out, for as long as it lives.
    void makeCurrent();
    ~WaylandConnection() override;

    wl_display* display() const { return _display; }
    // The seat that the user's keyboard belongs to: the first one the compositor announced.
    wl_seat* seat() const { return _seat; }

    // Whether the compositor offers the global of that interface name.
    bool offers(const char* interfaceName) const;
    // Binds the global of that interface at the highest version both sides know, at most
    // maxVersion; null when the compositor does not offer it.
    void* bind(const wl_interface* interface, uint32_t maxVersion) const;

    // Sends what is queued and waits until the compositor has answered everything before: what
    // it announced in answer is dispatched by then. False when the connection has broken.
    bool roundtrip();
    // Dispatches the compositor's events, without running Qt's event loop, until the condition
    // holds or the time runs out. False when the time ran out or the connection broke.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    // Sends the requests made so far.
    void flush();
    // Whether the compositor has closed the connection, or a protocol error broke it.
    bool broken() const;

private:
    struct Global {
        uint32_t name;
        QString interface;
        uint32_t version;
    };

    explicit WaylandConnection(wl_display* display);
    void dispatchArrived();
    static void announced(void* data, wl_registry* registry, uint32_t name, const char* interface,
                          uint32_t version);
    static void withdrawn(void* data, wl_registry* registry, uint32_t name);
    static const struct wl_registry_listener kRegistryListener;

    wl_display* _display;
    wl_registry* _registry = nullptr;
    wl_seat* _seat = nullptr;
    std::vector<Global> _globals;
    std::unique_ptr<QSocketNotifier> _readable;
    bool _brokenReported = false;
};
