#include "platform/x11/X11Pasteboard.h"

#include "platform/Log.h"
#include "platform/MimeDataPasteboard.h"
#include "platform/x11/SelectionReader.h"
#include "platform/x11/X11Connection.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <mutex>

// Kept from one capture to the next, so that a capture costs no new connection; one capture
// reads at a time.
struct X11Pasteboard::Worker {
    explicit Worker(QByteArray display) : displayName(std::move(display)) {}

    // Connected when first needed, on the thread of the first capture.
    SelectionReader& reader() {
        if (!_reader) {
            _reader = std::make_unique<SelectionReader>(displayName);
            _reader->watchOwner();
        }
        return *_reader;
    }

    std::mutex mutex;
    const QByteArray displayName;

private:
    std::unique_ptr<SelectionReader> _reader;
};

namespace {

// Another program's content, read from the owner the change was noticed with. A change of owner
// noticed after that, before or while a question is answered, makes it replaced: the answer may
// be the next content's, or none.
class OwnedContent : public PasteboardContent {
public:
    OwnedContent(std::shared_ptr<X11Pasteboard::Worker> worker, xcb_window_t owner)
        : _worker(std::move(worker)), _owner(owner) {}

    std::optional<PasteboardOffer> offer(const Transfer& transfer) override {
        return ask([&](SelectionReader& reader) { return reader.targets(transfer); });
    }
    std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                   const Transfer& transfer) override {
        return ask([&](SelectionReader& reader) { return reader.read(name, allowed, transfer); });
    }
    bool replaced() const override { return _replaced; }

private:
    template <typename Question>
    auto ask(Question question) -> decltype(question(std::declval<SelectionReader&>())) {
        const std::lock_guard lock(_worker->mutex);
        SelectionReader& reader = _worker->reader();
        if (!_looked) {
            _looked = true;
            // The answer comes after every notice sent before it: those are of earlier contents,
            // or of this one.
            _replaced = reader.owner() != _owner;
            reader.takeOwnerChanges();
        }
        if (_replaced)
            return std::nullopt;
        auto answer = question(reader);
        _replaced = !reader.takeOwnerChanges().empty();
        if (_replaced)
            return std::nullopt;
        return answer;
    }

    std::shared_ptr<X11Pasteboard::Worker> _worker;
    const xcb_window_t _owner;
    bool _looked = false;
    bool _replaced = false;
};

} // namespace

X11Pasteboard::X11Pasteboard(std::function<bool()> keptByDesktop)
    : _keptByDesktop(std::move(keptByDesktop)) {
    const X11Connection* x11 = X11Connection::get();
    const QByteArray displayName = x11 ? x11->displayName() : QByteArray();
    _reader = std::make_unique<SelectionReader>(displayName);
    _worker = std::make_shared<Worker>(displayName);
    if (!_reader->watchOwner())
        Log::write(QStringLiteral("warning*** : [clipboard] the X server does not report "
                                  "clipboard changes; nothing will be captured"));
}

X11Pasteboard::~X11Pasteboard() = default;

qint64 X11Pasteboard::changeCount() const {
    for (const SelectionReader::OwnerChange& change : _reader->takeOwnerChanges()) {
        _owner = change.owner;
        // Our own write was counted where it happened.
        if (_written && ownContent() == _written)
            continue;
        _goneWithOwner = change.ownerLeft ? std::optional<qint64>(_count) : std::nullopt;
        ++_count;
    }
    return _count;
}

std::shared_ptr<PasteboardContent> X11Pasteboard::content() {
    if (const QMimeData* own = ownContent())
        return HeldContent::of(*own);
    if (_owner == XCB_WINDOW_NONE)
        return std::make_shared<HeldContent>(HeldContent::Named());
    return std::make_shared<OwnedContent>(_worker, _owner);
}

std::optional<qint64> X11Pasteboard::contentGoneWithOwner() const {
    return _goneWithOwner;
}

std::optional<qint64> X11Pasteboard::contentTakenOverByKeeper() const {
    if (_keptByDesktop && _keptByDesktop())
        return _count;
    return std::nullopt;
}

const QMimeData* X11Pasteboard::ownContent() const {
    const X11Connection* x11 = X11Connection::get();
    return x11 && x11->isOwnWindow(_owner) ? QGuiApplication::clipboard()->mimeData() : nullptr;
}

std::optional<qint64>
X11Pasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    // Changes made by others before this write are counted first, as theirs.
    changeCount();
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    // Qt has made itself the owner when this returns, unless the server refused it.
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    _written = mime;
    _owner = _reader->owner();
    const X11Connection* x11 = X11Connection::get();
    if (!x11 || !x11->isOwnWindow(_owner)) {
        Log::write(QStringLiteral("warning*** :[clipboard] [the clipboard could not be taken]"));
        return std::nullopt;
    }
    _goneWithOwner.reset();
    return ++_count;
}

void X11Pasteboard::writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) {
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Selection);
}
