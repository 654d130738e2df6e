#include "platform/wayland/WaylandConnection.h"

#include "platform/Log.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace {

WaylandConnection* gCurrent = nullptr;

// The seat's version whose requests and events we use: none beyond the first.
constexpr uint32_t kSeatVersion = 1;

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::open() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // The first round trip brings the globals; the second, the seat's bind being answered.
    if (!connection->roundtrip())
        return nullptr;
    if (const auto seat =
            std::find_if(connection->_globals.begin(), connection->_globals.end(),
                         [](const Global& global) { return global.interface == u"wl_seat"; });
        seat != connection->_globals.end())
        connection->_seat = static_cast<wl_seat*>(
            wl_registry_bind(connection->_registry, seat->name, &wl_seat_interface, kSeatVersion));
    if (!connection->roundtrip())
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : _display(display) {
    _registry = wl_display_get_registry(_display);
    wl_registry_add_listener(_registry, &kRegistryListener, this);
}

WaylandConnection::~WaylandConnection() {
    if (gCurrent == this)
        gCurrent = nullptr;
    _readable.reset();
    if (_seat)
        wl_seat_destroy(_seat);
    wl_registry_destroy(_registry);
    wl_display_disconnect(_display);
}

WaylandConnection* WaylandConnection::get() {
    return gCurrent;
}

void WaylandConnection::makeCurrent() {
    gCurrent = this;
    // The compositor's events arrive on the socket; what we queued goes out before the loop
    // sleeps, so a request never waits for the next event to be sent.
    _readable =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(_display), QSocketNotifier::Read);
    connect(_readable.get(), &QSocketNotifier::activated, this,
            &WaylandConnection::dispatchArrived);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &WaylandConnection::flush);
}

void WaylandConnection::dispatchArrived() {
    if (wl_display_dispatch(_display) < 0 || broken()) {
        _readable->setEnabled(false);
        if (!_brokenReported)
            Log::write(
                QStringLiteral("warning*** :[wayland] [the compositor closed the "
                               "connection: %1]")
                    .arg(QString::fromLocal8Bit(std::strerror(wl_display_get_error(_display)))));
        _brokenReported = true;
    }
}

bool WaylandConnection::offers(const char* interfaceName) const {
    return std::any_of(_globals.begin(), _globals.end(), [interfaceName](const Global& global) {
        return global.interface == QLatin1String(interfaceName);
    });
}

void* WaylandConnection::bind(const wl_interface* interface, uint32_t maxVersion) const {
    for (const Global& global : _globals)
        if (global.interface == QLatin1String(interface->name))
            return wl_registry_bind(
                _registry, global.name, interface,
                std::min({global.version, maxVersion, uint32_t(interface->version)}));
    return nullptr;
}

bool WaylandConnection::roundtrip() {
    return wl_display_roundtrip(_display) >= 0;
}

bool WaylandConnection::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired() || broken())
            return false;
        // Either we read the socket ourselves, or the events another reader queued are ours.
        if (wl_display_prepare_read(_display) != 0) {
            wl_display_dispatch_pending(_display);
            continue;
        }
        wl_display_flush(_display);
        pollfd readable{wl_display_get_fd(_display), POLLIN, 0};
        if (poll(&readable, 1, int(std::max<qint64>(deadline.remainingTime(), 0))) > 0)
            wl_display_read_events(_display);
        else
            wl_display_cancel_read(_display);
        wl_display_dispatch_pending(_display);
    }
    return true;
}

void WaylandConnection::flush() {
    wl_display_dispatch_pending(_display);
    wl_display_flush(_display);
}

bool WaylandConnection::broken() const {
    return wl_display_get_error(_display) != 0;
}

void WaylandConnection::announced(void* data, wl_registry*, uint32_t name, const char* interface,
                                  uint32_t version) {
    static_cast<WaylandConnection*>(data)->_globals.push_back(
        {name, QString::fromLatin1(interface), version});
}

void WaylandConnection::withdrawn(void* data, wl_registry*, uint32_t name) {
    auto& globals = static_cast<WaylandConnection*>(data)->_globals;
    std::erase_if(globals, [name](const Global& global) { return global.name == name; });
}

const wl_registry_listener WaylandConnection::kRegistryListener{&WaylandConnection::announced,
                                                                &WaylandConnection::withdrawn};
