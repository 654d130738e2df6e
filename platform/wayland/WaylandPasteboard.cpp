#include "platform/wayland/WaylandPasteboard.h"

#include "platform/MimeDataPasteboard.h"
#include "platform/Transfer.h"
#include "platform/wayland/PipeWriter.h"
#include "platform/wayland/WaylandConnection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QMimeData>
#include <QSet>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

using Named = QList<std::pair<QString, QByteArray>>;

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
        static constexpr auto offerName = prefix##_source_v1_offer;                                \
        static constexpr auto destroySource = prefix##_source_v1_destroy;                          \
        static constexpr auto addOfferListener = prefix##_offer_v1_add_listener;                   \
        static constexpr auto receive = prefix##_offer_v1_receive;                                 \
        static constexpr auto destroyOffer = prefix##_offer_v1_destroy;                            \
    };
KELVRIN_DATA_CONTROL(ExtDataControl, ext_data_control, 1, 1)
KELVRIN_DATA_CONTROL(WlrDataControl, zwlr_data_control, 2, 2)
#undef KELVRIN_DATA_CONTROL

// An owner offers a few dozen names; garbage beyond this many is not looked at.
constexpr qsizetype kMaxNames = 1024;

// A file descriptor closed when its last holder goes.
struct OwnedFd {
    int fd;
    OwnedFd(int owned) : fd(owned) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Everything written into the pipe until its writer closes it, within the transfer's time and the
// bytes allowed; absent when either runs out, a stop is asked for or the pipe breaks.
std::optional<QByteArray> readPipe(int fd, const Transfer& transfer) {
    QByteArray bytes;
    char chunk[64 * 1024];
    for (;;) {
        const Transfer::Clock::time_point deadline = transfer.nextDeadline();
        ssize_t got;
        while ((got = ::read(fd, chunk, sizeof chunk)) < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (transfer.givenUp(deadline))
                return std::nullopt;
            transfer.waitReadable(fd, deadline);
        }
        if (got < 0 || bytes.size() + got > Transfer::kMaxBytes)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

// Whether the new selection is the copy Qt just made for one of our own text fields: Qt still
// owns the clipboard, and the selection offers what Qt offers.
bool isQtsOwn(const QStringList& names) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* own = clipboard->ownsClipboard() ? clipboard->mimeData() : nullptr;
    const QStringList formats = own ? own->formats() : QStringList();
    return own && QSet<QString>(names.begin(), names.end()) ==
                      QSet<QString>(formats.begin(), formats.end());
}

} // namespace

class WaylandPasteboard::Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual qint64 count() const = 0;
    virtual std::optional<qint64> goneWithOwner() const = 0;
    virtual QStringList names() const = 0;
    virtual std::optional<QByteArray> read(const QString& name) = 0;
    // Null when the content is at hand, in this process.
    virtual DataJob readLater(const QString& name) = 0;
    virtual void write(const Named& named, bool primary) = 0;
};

namespace {

template <typename P> class DataControl final : public WaylandPasteboard::Clipboard {
public:
    // Null when the compositor offers this protocol to no seat of ours.
    static std::unique_ptr<WaylandPasteboard::Clipboard> bind(WaylandConnection& wayland) {
        auto* manager =
            static_cast<typename P::Manager*>(wayland.bind(P::kManager, P::kManagerVersion));
        if (!manager)
            return nullptr;
        if (!wayland.seat()) {
            P::destroyManager(manager);
            return nullptr;
        }
        return std::unique_ptr<WaylandPasteboard::Clipboard>(new DataControl(wayland, manager));
    }

    ~DataControl() override {
        if (_echoSync)
            wl_callback_destroy(_echoSync);
        for (typename P::Offer* offer : _offers.keys())
            P::destroyOffer(offer);
        if (_content.offer)
            P::destroyOffer(_content.offer);
        for (typename P::Source* source : _sources.keys())
            P::destroySource(source);
        if (_device)
            P::destroyDevice(_device);
        P::destroyManager(_manager);
        wl_display_flush(_wayland.display());
    }

    qint64 count() const override { return _count; }
    std::optional<qint64> goneWithOwner() const override { return _goneWithOwner; }
    QStringList names() const override { return _content.names; }

    std::optional<QByteArray> read(const QString& name) override {
        switch (_content.owner) {
        case Owner::Us:
            for (const auto& [offered, bytes] : _content.written)
                if (offered == name)
                    return bytes;
            return std::nullopt;
        case Owner::Qt:
            if (const QMimeData* own = QGuiApplication::clipboard()->mimeData();
                own && own->hasFormat(name))
                return own->data(name);
            return std::nullopt;
        case Owner::Other:
            if (const OwnedFd pipe{receive(name)}; pipe.fd >= 0)
                return readPipe(pipe.fd, Transfer());
            return std::nullopt;
        case Owner::Nobody:
            break;
        }
        return std::nullopt;
    }

    Pasteboard::DataJob readLater(const QString& name) override {
        if (_content.owner != Owner::Other)
            return nullptr;
        const auto pipe = std::make_shared<const OwnedFd>(receive(name));
        return [pipe](std::stop_token stop) -> std::optional<QByteArray> {
            if (pipe->fd < 0)
                return std::nullopt;
            return readPipe(pipe->fd, Transfer(Transfer::kWorkerLimit, std::move(stop)));
        };
    }

    void write(const Named& named, bool primary) override {
        const bool primaryKnown =
            _device &&
            wl_proxy_get_version(reinterpret_cast<wl_proxy*>(_device)) >= P::kPrimarySince;
        if (!_device || (primary && !primaryKnown))
            return;
        typename P::Source* source = P::createSource(_manager);
        P::addSourceListener(source, &kSourceListener, this);
        for (const auto& [name, bytes] : named)
            P::offerName(source, name.toUtf8().constData());
        _sources.insert(source, named);
        if (primary)
            return P::setPrimarySelection(_device, source);
        P::setSelection(_device, source);
        _clipboardSource = source;
        _goneWithOwner.reset();
        ++_count;
        setContent(ownContent());
        // Whatever the compositor announces until it answers the sync was set before our write,
        // or is our write itself.
        if (!_echoSync) {
            _echoSync = wl_display_sync(_wayland.display());
            wl_callback_add_listener(_echoSync, &kSyncListener, this);
            _announcedBeforeCancel.reset();
        }
        _wayland.waitUntil([this] { return !_echoSync; }, int(Transfer::kTimeout.count()));
    }

private:
    enum class Owner { Nobody, Other, Qt, Us };
    struct Content {
        Owner owner = Owner::Nobody;
        QStringList names;
        typename P::Offer* offer = nullptr;
        Named written;
    };

    DataControl(WaylandConnection& wayland, typename P::Manager* manager)
        : _wayland(wayland), _manager(manager) {
        // A reader that closes its end early must not end Kelvrin when we write on.
        std::signal(SIGPIPE, SIG_IGN);
        _device = P::getDevice(_manager, _wayland.seat());
        P::addDeviceListener(_device, &kDeviceListener, this);
        // The content at launch is announced at once: it is known before the capture starts.
        _wayland.roundtrip();
    }

    Content ownContent() const {
        Content own{Owner::Us, {}, nullptr, _sources.value(_clipboardSource)};
        for (const auto& [name, bytes] : own.written)
            own.names.append(name);
        return own;
    }

    void setContent(Content content) {
        if (_content.offer)
            P::destroyOffer(_content.offer);
        _content = std::move(content);
    }

    // Asks the owner to write what it offers under the name into a pipe; the end to read from,
    // which never blocks, or -1.
    int receive(const QString& name) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return -1;
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        P::receive(_content.offer, name.toUtf8().constData(), ends[1]);
        wl_display_flush(_wayland.display());
        ::close(ends[1]);
        return ends[0];
    }

    // A new selection of another program, or none at all.
    void takeOthers(typename P::Offer* offer) {
        _goneWithOwner =
            !offer && _content.owner == Owner::Other ? std::optional<qint64>(_count) : std::nullopt;
        ++_count;
        if (!offer) {
            setContent({});
            return;
        }
        const QStringList names = _offers.take(offer);
        setContent({isQtsOwn(names) ? Owner::Qt : Owner::Other, names, offer, {}});
    }

    // The echo of our write is the last selection announced before the sync's answer, or before
    // our source was cancelled when another program took the clipboard from it meanwhile.
    void echoSynced() {
        const QList<typename P::Offer*> announced = std::exchange(_announcedWhileWriting, {});
        const qsizetype echo = _announcedBeforeCancel.value_or(announced.size()) - 1;
        for (qsizetype i = 0; i < announced.size(); ++i) {
            if (i != echo) {
                takeOthers(announced[i]);
                continue;
            }
            if (announced[i])
                P::destroyOffer(announced[i]);
            _offers.remove(announced[i]);
            setContent(ownContent());
        }
    }

    static void dataOffer(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<DataControl*>(data);
        P::addOfferListener(offer, &kOfferListener, self);
        self->_offers.insert(offer, {});
    }
    static void offered(void* data, typename P::Offer* offer, const char* name) {
        QStringList& names = static_cast<DataControl*>(data)->_offers[offer];
        if (names.size() < kMaxNames)
            names.append(QString::fromUtf8(name));
    }
    static void selection(void* data, typename P::Device*, typename P::Offer* offer) {
        auto* self = static_cast<DataControl*>(data);
        if (self->_echoSync)
            self->_announcedWhileWriting.append(offer);
        else
            self->takeOthers(offer);
    }
    // What is selected with the middle button is never captured.
    static void primarySelection(void* data, typename P::Device*, typename P::Offer* offer) {
        if (offer)
            P::destroyOffer(offer);
        static_cast<DataControl*>(data)->_offers.remove(offer);
    }
    static void finished(void* data, typename P::Device* device) {
        P::destroyDevice(device);
        static_cast<DataControl*>(data)->_device = nullptr;
    }
    static void send(void* data, typename P::Source* source, const char* name, int32_t fd) {
        auto* self = static_cast<DataControl*>(data);
        for (const auto& [offered, bytes] : self->_sources.value(source))
            if (offered == QLatin1StringView(name)) {
                PipeWriter::start(fd, bytes, &self->_writers);
                return;
            }
        ::close(fd);
    }
    static void cancelled(void* data, typename P::Source* source) {
        auto* self = static_cast<DataControl*>(data);
        if (source == self->_clipboardSource) {
            self->_clipboardSource = nullptr;
            if (self->_echoSync)
                self->_announcedBeforeCancel = self->_announcedWhileWriting.size();
        }
        self->_sources.remove(source);
        P::destroySource(source);
    }
    static void synced(void* data, wl_callback* callback, uint32_t) {
        wl_callback_destroy(callback);
        static_cast<DataControl*>(data)->_echoSync = nullptr;
        static_cast<DataControl*>(data)->echoSynced();
    }

    static constexpr typename P::DeviceListener kDeviceListener{&dataOffer, &selection, &finished,
                                                                &primarySelection};
    static constexpr typename P::OfferListener kOfferListener{&offered};
    static constexpr typename P::SourceListener kSourceListener{&send, &cancelled};
    static constexpr wl_callback_listener kSyncListener{&synced};

    WaylandConnection& _wayland;
    typename P::Manager* _manager;
    typename P::Device* _device = nullptr;
    qint64 _count = 0;
    std::optional<qint64> _goneWithOwner;
    Content _content;
    // The offers announced and not yet selected, with the names each offers in its order.
    QHash<typename P::Offer*, QStringList> _offers;
    // Our sources the compositor has not cancelled yet, with what each offers.
    QHash<typename P::Source*, Named> _sources;
    typename P::Source* _clipboardSource = nullptr;
    // While our write waits for its echo: the sync, the selections announced meanwhile, and how
    // many came before our source was cancelled.
    wl_callback* _echoSync = nullptr;
    QList<typename P::Offer*> _announcedWhileWriting;
    std::optional<qsizetype> _announcedBeforeCancel;
    // The parent of the writers serving our sources: they go with the clipboard.
    QObject _writers;
};

} // namespace

WaylandPasteboard::WaylandPasteboard(WaylandConnection& wayland) {
    _clipboard = DataControl<ExtDataControl>::bind(wayland);
    if (!_clipboard)
        _clipboard = DataControl<WlrDataControl>::bind(wayland);
    if (!_clipboard)
        std::fprintf(stderr,
                     "kelvrin: this compositor offers no clipboard manager protocol "
                     "(ext_data_control_manager_v1, zwlr_data_control_manager_v1): nothing is "
                     "captured; Kelvrin's own clippings reach the clipboard while its window has "
                     "the keyboard.\n");
}

WaylandPasteboard::~WaylandPasteboard() = default;

qint64 WaylandPasteboard::changeCount() const {
    return _clipboard ? _clipboard->count() : _writesWithoutDataControl;
}

std::optional<qint64> WaylandPasteboard::contentGoneWithOwner() const {
    return _clipboard ? _clipboard->goneWithOwner() : std::nullopt;
}

QStringList WaylandPasteboard::offeredNames() {
    return _clipboard ? _clipboard->names() : QStringList();
}

std::optional<QByteArray> WaylandPasteboard::readName(const QString& name) {
    return _clipboard ? _clipboard->read(name) : std::nullopt;
}

Pasteboard::DataJob WaylandPasteboard::readNameLater(const QString& name) {
    if (DataJob job = _clipboard ? _clipboard->readLater(name) : nullptr)
        return job;
    return Pasteboard::readNameLater(name);
}

void WaylandPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (_clipboard)
        return _clipboard->write(named, false);
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    ++_writesWithoutDataControl;
}

void WaylandPasteboard::writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (_clipboard)
        _clipboard->write(named, true);
}
