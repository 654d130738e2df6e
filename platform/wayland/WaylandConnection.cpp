#include "platform/wayland/WaylandConnection.h"

#include "platform/Log.h"
#include "platform/wayland/DisplayWait.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>
#include <wayland-client.h>

namespace {

// The seat's version whose requests and events we use: none beyond the first.
constexpr uint32_t kSeatVersion = 1;

} // namespace

struct WaylandConnection::Link {
    struct Global {
        uint32_t name;
        QString interface;
        uint32_t version;
    };

    // The connection this link serves, once it does: only then are its seat's changes told.
    WaylandConnection* owner = nullptr;
    wl_display* display;
    wl_registry* registry;
    wl_seat* seat = nullptr;
    uint32_t seatName = 0;
    std::vector<Global> globals;

    // Null when no compositor accepts the connection on the socket of that name.
    static std::unique_ptr<Link> connect(const QByteArray& name) {
        wl_display* display = wl_display_connect(name.constData());
        return display ? std::make_unique<Link>(display) : nullptr;
    }

    explicit Link(wl_display* connected)
        : display(connected), registry(wl_display_get_registry(connected)) {
        static const wl_registry_listener listener{&announced, &withdrawn};
        wl_registry_add_listener(registry, &listener, this);
    }
    ~Link() {
        if (seat)
            wl_seat_destroy(seat);
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The first round trip brings the globals and binds the seat; the second, the seat's bind
    // being answered.
    bool learnGlobals(int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs);
        return roundtrip(timeoutMs) &&
               roundtrip(int(std::max<qint64>(deadline.remainingTime(), 0)));
    }

    bool broken() const { return wl_display_get_error(display) != 0; }

    // What broke the connection, as the log says it.
    QString trouble() const {
        const int error = wl_display_get_error(display);
        if (error != EPROTO)
            return QString::fromLocal8Bit(std::strerror(error));
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        return QStringLiteral("protocol error %1 on %2@%3")
            .arg(code)
            .arg(QLatin1String(interface ? interface->name : "?"))
            .arg(id);
    }

    void readAndDispatch(int timeoutMs) {
        DisplayWait::readAndDispatch(display, nullptr, timeoutMs);
    }
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
        return DisplayWait::until(display, nullptr, condition, timeoutMs);
    }
    bool roundtrip(int timeoutMs) { return DisplayWait::roundtrip(display, nullptr, timeoutMs); }

    void bindSeat(uint32_t name) {
        seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, kSeatVersion));
        seatName = name;
    }

    static void announced(void* data, wl_registry*, uint32_t name, const char* interface,
                          uint32_t version) {
        auto* link = static_cast<Link*>(data);
        link->globals.push_back({name, QString::fromLatin1(interface), version});
        if (link->seat || link->globals.back().interface != u"wl_seat")
            return;
        link->bindSeat(name);
        if (link->owner)
            emit link->owner->seatAnnounced();
    }

    static void withdrawn(void* data, wl_registry*, uint32_t name) {
        auto* link = static_cast<Link*>(data);
        std::erase_if(link->globals, [name](const Global& global) { return global.name == name; });
        if (!link->seat || name != link->seatName)
            return;
        // What the modules made for the seat goes before the seat does.
        if (link->owner)
            emit link->owner->seatWithdrawn();
        wl_seat_destroy(std::exchange(link->seat, nullptr));
        link->seatName = 0;
        // Another seat the compositor still offers takes its place.
        const auto other =
            std::ranges::find(link->globals, QStringLiteral("wl_seat"), &Global::interface);
        if (other == link->globals.end())
            return;
        link->bindSeat(other->name);
        if (link->owner)
            emit link->owner->seatAnnounced();
    }
};

std::unique_ptr<WaylandConnection> WaylandConnection::open(QString* trouble) {
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return nullptr;
    std::unique_ptr<Link> link = Link::connect(name);
    if (!link)
        return nullptr;
    if (!link->learnGlobals(kFirstAnswerTimeoutMs)) {
        // A compositor that closes the connection at once is none for us; one that keeps it
        // without answering is stuck, and so is whatever else it would serve.
        if (!link->broken())
            *trouble = QStringLiteral("the compositor accepted the connection but did not "
                                      "answer within %1 s")
                           .arg(kFirstAnswerTimeoutMs / 1000);
        return nullptr;
    }
    return std::unique_ptr<WaylandConnection>(new WaylandConnection(name, std::move(link)));
}

WaylandConnection::WaylandConnection(const QByteArray& name, std::unique_ptr<Link> link)
    : _name(name), _link(std::move(link)) {
    _link->owner = this;
}

WaylandConnection::~WaylandConnection() {
    // Before the socket it watches closes.
    delete _readable;
}

void WaylandConnection::watch() {
    _watched = true;
    watchLink();
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &WaylandConnection::flush);
}

void WaylandConnection::watchLink() {
    _readable = new QSocketNotifier(wl_display_get_fd(_link->display), QSocketNotifier::Read, this);
    connect(_readable, &QSocketNotifier::activated, this, [this] {
        _link->readAndDispatch(0);
        noticeIfBroken();
    });
}

wl_display* WaylandConnection::display() const {
    return _link->display;
}

wl_seat* WaylandConnection::seat() const {
    return _link->seat;
}

bool WaylandConnection::offers(const char* interfaceName) const {
    return std::ranges::any_of(_link->globals, [interfaceName](const Link::Global& global) {
        return global.interface == QLatin1String(interfaceName);
    });
}

void* WaylandConnection::bind(const wl_interface* interface, uint32_t maxVersion) const {
    for (const Link::Global& global : _link->globals)
        if (global.interface == QLatin1String(interface->name))
            return wl_registry_bind(
                _link->registry, global.name, interface,
                std::min({global.version, maxVersion, uint32_t(interface->version)}));
    return nullptr;
}

bool WaylandConnection::roundtrip(int timeoutMs) {
    const bool answered = _link->roundtrip(timeoutMs);
    noticeIfBroken();
    return answered;
}

bool WaylandConnection::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const bool held = _link->waitUntil(condition, timeoutMs);
    noticeIfBroken();
    return held;
}

void WaylandConnection::flush() {
    wl_display_dispatch_pending(_link->display);
    wl_display_flush(_link->display);
    noticeIfBroken();
}

bool WaylandConnection::broken() const {
    return _link->broken();
}

void WaylandConnection::noticeIfBroken() {
    if (_lossNoticed || !_link->broken())
        return;
    _lossNoticed = true;
    // A closed socket stays readable for ever.
    if (_readable)
        _readable->setEnabled(false);
    Log::write(QStringLiteral("warning*** :[wayland] [the compositor closed Kelvrin's connection "
                              "(%1): the clipboard is not watched, and a chosen clipping only "
                              "goes onto it, until a new connection is made]")
                   .arg(_link->trouble()));
    // The module that noticed may be in the middle of a request: the modules hear of the loss
    // once it has returned to the event loop.
    if (_watched)
        QMetaObject::invokeMethod(this, &WaylandConnection::replaceBrokenLink,
                                  Qt::QueuedConnection);
}

void WaylandConnection::replaceBrokenLink() {
    emit connectionLost();
    std::unique_ptr<Link> fresh = Link::connect(_name);
    if (!fresh || !fresh->learnGlobals(kAnswerTimeoutMs)) {
        // The compositor is gone (Qt's connection ends with it), or refuses us.
        Log::write(QStringLiteral("warning*** :[wayland] [no new connection to the compositor: "
                                  "nothing is captured, and a chosen clipping only goes onto the "
                                  "clipboard, until Kelvrin starts again]"));
        return;
    }
    delete std::exchange(_readable, nullptr);
    // A module that does not follow the signals may still hold objects made on the broken link:
    // it stays, dead, for as long as the connection does, rather than leave them dangling.
    _link->owner = nullptr;
    _retired.push_back(std::exchange(_link, std::move(fresh)));
    _link->owner = this;
    _lossNoticed = false;
    watchLink();
    Log::write(QStringLiteral("information:[wayland] [a new connection to the compositor "
                              "replaces the broken one]"));
    emit reconnected();
}

void WaylandConnection::followConnection(QObject* context, const std::function<void()>& forget,
                                         const std::function<void()>& make) {
    connect(this, &WaylandConnection::connectionLost, context, forget);
    connect(this, &WaylandConnection::reconnected, context, make);
}

void WaylandConnection::followSeat(QObject* context, const std::function<void()>& drop,
                                   const std::function<void()>& make) {
    connect(this, &WaylandConnection::seatWithdrawn, context, drop);
    connect(this, &WaylandConnection::seatAnnounced, context, make);
}
