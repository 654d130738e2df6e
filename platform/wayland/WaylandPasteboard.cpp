#include "platform/wayland/WaylandPasteboard.h"

#include "platform/Log.h"
#include "platform/MimeDataPasteboard.h"
#include "platform/Transfer.h"
#include "platform/wayland/PipeWriter.h"
#include "platform/wayland/WaylandConnection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>
#include <QSet>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

// Content by MIME type, in the order offered. (A "name" on Wayland is a global's number.)
using Typed = QList<std::pair<QString, QByteArray>>;

// The two data-control protocols are one in all but their names: each is described by the same
// traits, from which the one implementation below is made.
#define KELVRIN_DATA_CONTROL(Traits, prefix, managerVersion, primarySince)                         \
    struct Traits {                                                                                \
        using Manager = prefix##_manager_v1;                                                       \
        using Device = prefix##_device_v1;                                                         \
        using Source = prefix##_source_v1;                                                         \
        using Offer = prefix##_offer_v1;                                                           \
        using DeviceListener = prefix##_device_v1_listener;                                        \
        using SourceListener = prefix##_source_v1_listener;                                        \
        using OfferListener = prefix##_offer_v1_listener;                                          \
        static constexpr const wl_interface* kManager = &prefix##_manager_v1_interface;            \
        static constexpr uint32_t kManagerVersion = managerVersion;                                \
        static constexpr uint32_t kPrimarySince = primarySince;                                    \
        static constexpr auto destroyManager = prefix##_manager_v1_destroy;                        \
        static constexpr auto getDevice = prefix##_manager_v1_get_data_device;                     \
        static constexpr auto createSource = prefix##_manager_v1_create_data_source;               \
        static constexpr auto addDeviceListener = prefix##_device_v1_add_listener;                 \
        static constexpr auto setSelection = prefix##_device_v1_set_selection;                     \
        static constexpr auto setPrimarySelection = prefix##_device_v1_set_primary_selection;      \
        static constexpr auto destroyDevice = prefix##_device_v1_destroy;                          \
        static constexpr auto addSourceListener = prefix##_source_v1_add_listener;                 \
        static constexpr auto offerMimeType = prefix##_source_v1_offer;                            \
        static constexpr auto destroySource = prefix##_source_v1_destroy;                          \
        static constexpr auto addOfferListener = prefix##_offer_v1_add_listener;                   \
        static constexpr auto receive = prefix##_offer_v1_receive;                                 \
        static constexpr auto destroyOffer = prefix##_offer_v1_destroy;                            \
    };
KELVRIN_DATA_CONTROL(ExtDataControl, ext_data_control, 1, 1)
KELVRIN_DATA_CONTROL(WlrDataControl, zwlr_data_control, 2, 2)
#undef KELVRIN_DATA_CONTROL

// A file descriptor closed when its holder goes.
struct OwnedFd {
    int fd;
    explicit OwnedFd(int owned) : fd(owned) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Whether the new selection is the copy Qt just made for one of our own text fields: Qt still
// owns the clipboard, and the selection offers what Qt offers.
bool isQtsOwn(const QStringList& names) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* own = clipboard->ownsClipboard() ? clipboard->mimeData() : nullptr;
    const QStringList formats = own ? own->formats() : QStringList();
    return own && QSet<QString>(names.begin(), names.end()) ==
                      QSet<QString>(formats.begin(), formats.end());
}

HeldContent::Named held(const Typed& typed) {
    HeldContent::Named held;
    for (const auto& [mimeType, bytes] : typed)
        held.append({mimeType, bytes});
    return held;
}

void warnClipboardLost(const char* why) {
    Log::write(
        QStringLiteral("warning*** :[wayland] [%1: nothing is captured, and a chosen clipping "
                       "is not pasted, until the clipboard is back]")
            .arg(QLatin1String(why)));
}

// Another program's selection, shared by the clipboard and the captures reading it: the last of
// them to let go destroys it, whichever thread that is on. The connection serves requests from
// any thread, and no event comes for an offer once it is the selection.
template <typename P> struct SharedOffer {
    SharedOffer(typename P::Offer* offered, wl_display* connection, PasteboardOffer names)
        : offer(offered), display(connection), offered(std::move(names)) {}
    SharedOffer(const SharedOffer&) = delete;
    SharedOffer& operator=(const SharedOffer&) = delete;
    ~SharedOffer() { P::destroyOffer(offer); }

    typename P::Offer* const offer;
    wl_display* const display;
    const PasteboardOffer offered;
    // Set when another selection took its place: its source may be gone.
    std::atomic<bool> replaced = false;
};

// Another program's content, each type asked of its owner through a pipe as the capture reads it.
template <typename P> class OfferContent : public PasteboardContent {
public:
    explicit OfferContent(std::shared_ptr<SharedOffer<P>> shared) : _shared(std::move(shared)) {}

    std::optional<PasteboardOffer> offer(const Transfer&) override { return _shared->offered; }

    std::optional<QByteArray> read(const QString& mimeType, qsizetype allowed,
                                   const Transfer& transfer) override {
        if (replaced())
            return std::nullopt;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return std::nullopt;
        const OwnedFd readEnd(ends[0]);
        ::fcntl(readEnd.fd, F_SETFL, O_NONBLOCK);
        P::receive(_shared->offer, mimeType.toUtf8().constData(), ends[1]);
        wl_display_flush(_shared->display);
        ::close(ends[1]);
        return transfer.readPipe(readEnd.fd, allowed);
    }

    bool replaced() const override { return _shared->replaced; }

private:
    std::shared_ptr<SharedOffer<P>> _shared;
};

} // namespace

class WaylandPasteboard::Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual qint64 count() const = 0;
    virtual std::optional<qint64> goneWithOwner() const = 0;
    virtual std::shared_ptr<PasteboardContent> content() const = 0;
    virtual std::optional<qint64> write(const Typed& typed) = 0;
    virtual void writePrimary(const Typed& typed) = 0;
};

namespace {

template <typename P> class DataControl final : public WaylandPasteboard::Clipboard {
public:
    // Null when the compositor offers this protocol to no seat of ours. The change count goes
    // on from the one given.
    static std::unique_ptr<WaylandPasteboard::Clipboard> bind(WaylandConnection& wayland,
                                                              qint64 count) {
        auto* manager =
            static_cast<typename P::Manager*>(wayland.bind(P::kManager, P::kManagerVersion));
        if (!manager)
            return nullptr;
        if (!wayland.seat()) {
            P::destroyManager(manager);
            return nullptr;
        }
        return std::unique_ptr<WaylandPasteboard::Clipboard>(
            new DataControl(wayland, manager, count));
    }

    ~DataControl() override {
        // The selections announced while a write waits are among the offers.
        for (Write& write : _writes)
            wl_callback_destroy(write.sync);
        for (typename P::Offer* offer : _offers.keys())
            if (offer)
                P::destroyOffer(offer);
        setContent({});
        for (typename P::Source* source : _sources.keys())
            P::destroySource(source);
        if (_device)
            P::destroyDevice(_device);
        P::destroyManager(_manager);
        wl_display_flush(_wayland.display());
    }

    qint64 count() const override { return _count; }
    std::optional<qint64> goneWithOwner() const override { return _goneWithOwner; }

    std::shared_ptr<PasteboardContent> content() const override {
        switch (_content.owner) {
        case Owner::Us:
            return std::make_shared<HeldContent>(held(_sources.value(_clipboardSource)));
        case Owner::Qt:
            if (const QMimeData* own = QGuiApplication::clipboard()->mimeData())
                return HeldContent::of(*own);
            break;
        case Owner::Other:
            return std::make_shared<OfferContent<P>>(_content.offer);
        case Owner::Nobody:
            break;
        }
        return std::make_shared<HeldContent>(HeldContent::Named());
    }

    std::optional<qint64> write(const Typed& typed) override {
        typename P::Source* source = createSource(typed);
        if (!source)
            return std::nullopt;
        P::setSelection(_device, source);
        _clipboardSource = source;
        _goneWithOwner.reset();
        ++_count;
        setContent({Owner::Us, nullptr});
        // Whatever the compositor announces until it answers this sync was set before our write,
        // or is our write itself.
        wl_callback* sync = wl_display_sync(_wayland.display());
        wl_callback_add_listener(sync, &kSyncListener, this);
        _writes.push_back({sync, source, {}, std::nullopt});
        wl_display_flush(_wayland.display());
        return _count;
    }

    void writePrimary(const Typed& typed) override {
        const bool primaryKnown =
            _device &&
            wl_proxy_get_version(reinterpret_cast<wl_proxy*>(_device)) >= P::kPrimarySince;
        if (!primaryKnown)
            return;
        if (typename P::Source* source = createSource(typed))
            P::setPrimarySelection(_device, source);
    }

private:
    enum class Owner { Nobody, Other, Qt, Us };
    struct Content {
        Owner owner = Owner::Nobody;
        std::shared_ptr<SharedOffer<P>> offer;
    };
    // One of our writes waiting for its sync: the selections announced meanwhile, and how many
    // came before its source was cancelled.
    struct Write {
        wl_callback* sync;
        typename P::Source* source;
        QList<typename P::Offer*> announced;
        std::optional<qsizetype> announcedBeforeCancel;
    };

    DataControl(WaylandConnection& wayland, typename P::Manager* manager, qint64 count)
        : _wayland(wayland), _manager(manager), _count(count) {
        // A reader that closes its end early must not end Kelvrin when we write on.
        std::signal(SIGPIPE, SIG_IGN);
        takeDevice();
        // The device belongs to a seat: it goes with it and is made anew for the next one.
        _wayland.followSeat(
            &_following,
            [this] {
                dropDevice();
                warnClipboardLost("the seat went away");
            },
            [this] {
                _refused = false;
                if (!_device)
                    takeDevice();
            });
        // The content at launch is announced at once: it is known before the capture starts.
        _wayland.roundtrip();
    }

    void takeDevice() {
        _device = P::getDevice(_manager, _wayland.seat());
        P::addDeviceListener(_device, &kDeviceListener, this);
        _deviceHeard = false;
        _wayland.flush();
    }

    // Whatever the old device showed may be gone: what is still being read of it is given up.
    void dropDevice() {
        if (_device)
            P::destroyDevice(std::exchange(_device, nullptr));
        setContent({});
    }

    // A device the compositor ended is asked for again, once the events that came with the end
    // are dispatched: a seat going away has been told of by then. One ended before it heard of
    // the selection was refused: no more are asked for until a seat comes.
    void askForDeviceAgain() {
        if (_device || !_wayland.seat())
            return;
        if (_refused)
            return warnClipboardLost("the compositor took the clipboard from Kelvrin");
        Log::write(QStringLiteral("warning*** :[wayland] [the compositor took the clipboard from "
                                  "Kelvrin; asking for it again]"));
        takeDevice();
    }

    // A source offering the bytes by their MIME types; null when the compositor took the clipboard
    // from us.
    typename P::Source* createSource(const Typed& typed) {
        if (!_device) {
            Log::write(QStringLiteral(
                "warning*** :[wayland] [the clipboard cannot be written: the compositor has "
                "taken it from Kelvrin]"));
            return nullptr;
        }
        typename P::Source* source = P::createSource(_manager);
        P::addSourceListener(source, &kSourceListener, this);
        for (const auto& [mimeType, bytes] : typed)
            P::offerMimeType(source, mimeType.toUtf8().constData());
        _sources.insert(source, typed);
        return source;
    }

    void setContent(Content content) {
        if (_content.offer)
            _content.offer->replaced = true;
        _content = std::move(content);
    }

    // A new selection of another program, or none at all.
    void takeOthers(typename P::Offer* offer) {
        _goneWithOwner =
            !offer && _content.owner == Owner::Other ? std::optional<qint64>(_count) : std::nullopt;
        ++_count;
        if (!offer)
            return setContent({});
        const PasteboardOffer offered = _offers.take(offer);
        setContent({isQtsOwn(offered.names) ? Owner::Qt : Owner::Other,
                    std::make_shared<SharedOffer<P>>(offer, _wayland.display(), offered)});
    }

    // The echo of a write is the last selection announced before its sync's answer, or before
    // its source was cancelled when another program took the clipboard from it meanwhile. What
    // came before the echo was replaced by our write; what came after it is new, unless a later
    // write of ours has replaced that too.
    void synced() {
        Write write = std::move(_writes.front());
        _writes.pop_front();
        const qsizetype echo = write.announcedBeforeCancel.value_or(write.announced.size()) - 1;
        for (qsizetype i = 0; i < write.announced.size(); ++i) {
            typename P::Offer* offer = write.announced[i];
            if (i > echo && _writes.empty()) {
                takeOthers(offer);
                continue;
            }
            _offers.remove(offer);
            if (offer)
                P::destroyOffer(offer);
        }
    }

    static void dataOffer(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<DataControl*>(data);
        P::addOfferListener(offer, &kOfferListener, self);
        self->_offers.insert(offer, {});
    }
    static void offered(void* data, typename P::Offer* offer, const char* mimeType) {
        static_cast<DataControl*>(data)->_offers[offer].add(QString::fromUtf8(mimeType));
    }
    static void selection(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<DataControl*>(data);
        self->_deviceHeard = true;
        if (!self->_writes.empty())
            self->_writes.front().announced.append(offer);
        else
            self->takeOthers(offer);
    }
    // What is selected with the middle button is never captured.
    static void primarySelection(void* data, typename P::Device*, typename P::Offer* offer) {
        if (offer)
            P::destroyOffer(offer);
        static_cast<DataControl*>(data)->_offers.remove(offer);
    }
    // The compositor took the clipboard from us: the device is dead, and writing fails until a
    // new one is had.
    static void finished(void* data, typename P::Device* device) {
        auto* self = static_cast<DataControl*>(data);
        if (device != self->_device)
            return P::destroyDevice(device);
        self->_refused = !self->_deviceHeard;
        self->dropDevice();
        QMetaObject::invokeMethod(
            &self->_following, [self] { self->askForDeviceAgain(); }, Qt::QueuedConnection);
    }
    static void send(void* data, typename P::Source* source, const char* mimeType, int32_t fd) {
        auto* self = static_cast<DataControl*>(data);
        for (const auto& [offered, bytes] : self->_sources.value(source))
            if (offered == QLatin1StringView(mimeType)) {
                PipeWriter::start(fd, bytes, &self->_writers);
                return;
            }
        ::close(fd);
    }
    static void cancelled(void* data, typename P::Source* source) {
        auto* self = static_cast<DataControl*>(data);
        if (source == self->_clipboardSource)
            self->_clipboardSource = nullptr;
        for (Write& write : self->_writes)
            if (write.source == source && !write.announcedBeforeCancel)
                write.announcedBeforeCancel = write.announced.size();
        self->_sources.remove(source);
        P::destroySource(source);
    }
    static void syncAnswered(void* data, wl_callback* callback, uint32_t) {
        wl_callback_destroy(callback);
        static_cast<DataControl*>(data)->synced();
    }

    static constexpr typename P::DeviceListener kDeviceListener{&dataOffer, &selection, &finished,
                                                                &primarySelection};
    static constexpr typename P::OfferListener kOfferListener{&offered};
    static constexpr typename P::SourceListener kSourceListener{&send, &cancelled};
    static constexpr wl_callback_listener kSyncListener{&syncAnswered};

    WaylandConnection& _wayland;
    typename P::Manager* _manager;
    typename P::Device* _device = nullptr;
    // Whether the device heard of the selection, which a compositor tells a new device at once,
    // and whether the compositor ended one before that: it refused it.
    bool _deviceHeard = false;
    bool _refused = false;
    qint64 _count;
    std::optional<qint64> _goneWithOwner;
    Content _content;
    // The offers announced and not yet selected, with what each offers.
    QHash<typename P::Offer*, PasteboardOffer> _offers;
    // Our sources the compositor has not cancelled yet, with what each offers.
    QHash<typename P::Source*, Typed> _sources;
    typename P::Source* _clipboardSource = nullptr;
    // Our writes whose syncs the compositor has not answered yet, oldest first.
    std::deque<Write> _writes;
    // The parent of the writers serving our sources: they go with the clipboard.
    QObject _writers;
    // The context of what we hear from the connection: it goes with the clipboard.
    QObject _following;
};

} // namespace

WaylandPasteboard::WaylandPasteboard(WaylandConnection& wayland) : _wayland(wayland) {
    bindClipboard();
    _dataControl = _clipboard != nullptr;
    if (!_dataControl) {
        std::fprintf(stderr,
                     "kelvrin: this compositor offers no clipboard manager protocol "
                     "(ext_data_control_manager_v1, zwlr_data_control_manager_v1): nothing is "
                     "captured; Kelvrin's own clippings reach the clipboard while its window has "
                     "the keyboard.\n");
        return;
    }
    // What was made on a broken connection is dead: the clipboard is made anew on the next one,
    // its count going on.
    wayland.followConnection(
        &_following,
        [this] {
            _count = changeCount();
            _clipboard.reset();
        },
        [this] {
            bindClipboard();
            if (!_clipboard)
                Log::write(QStringLiteral("warning*** :[wayland] [the new connection offers no "
                                          "clipboard manager protocol: nothing is captured]"));
        });
}

WaylandPasteboard::~WaylandPasteboard() = default;

void WaylandPasteboard::bindClipboard() {
    _clipboard = DataControl<ExtDataControl>::bind(_wayland, _count);
    if (!_clipboard)
        _clipboard = DataControl<WlrDataControl>::bind(_wayland, _count);
}

qint64 WaylandPasteboard::changeCount() const {
    return _clipboard ? _clipboard->count() : _count;
}

std::shared_ptr<PasteboardContent> WaylandPasteboard::content() {
    if (_clipboard)
        return _clipboard->content();
    return std::make_shared<HeldContent>(HeldContent::Named());
}

std::optional<qint64> WaylandPasteboard::contentGoneWithOwner() const {
    return _clipboard ? _clipboard->goneWithOwner() : std::nullopt;
}

std::optional<qint64>
WaylandPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (_clipboard)
        return _clipboard->write(named);
    if (_dataControl) {
        Log::write(QStringLiteral("warning*** :[wayland] [the clipboard cannot be written: the "
                                  "connection to the compositor broke]"));
        return std::nullopt;
    }
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    return ++_count;
}

void WaylandPasteboard::writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (_clipboard)
        _clipboard->writePrimary(named);
}
