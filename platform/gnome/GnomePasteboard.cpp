#include "platform/gnome/GnomePasteboard.h"

#include "platform/Log.h"
#include "platform/MimeDataPasteboard.h"
#include "platform/Transfer.h"
#include "platform/wayland/QtDisplay.h"

#include <QClipboard>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The compositor answers in milliseconds; the paste waits on it.
constexpr int kWriteTimeoutMs = 1000;

// A content the shell told of: each type is read through the shell into a pipe, which the shell
// closes when the owner has written it all. Our end of the message that carried the pipe stays
// open until the shell answers, so the answer, not the pipe's end, says when the reading is done.
class ShellContent : public PasteboardContent {
public:
    ShellContent(std::shared_ptr<GnomeShell> shell, const GnomeShell::Clipboard& clipboard,
                 std::shared_ptr<const std::atomic<quint32>> now)
        : _shell(std::move(shell)), _serial(clipboard.serial), _now(std::move(now)) {
        for (const QString& type : clipboard.types)
            _offer.add(type);
    }

    std::optional<PasteboardOffer> offer(const Transfer&) override { return _offer; }

    std::optional<QByteArray> read(const QString& type, qsizetype allowed,
                                   const Transfer& transfer) override {
        int ends[2];
        if (replaced() || ::pipe2(ends, O_CLOEXEC) != 0)
            return std::nullopt;
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        QDBusPendingReply<bool> written = _shell->readClipboard(_serial, type, ends[1]);
        ::close(ends[1]);
        std::optional<QByteArray> bytes =
            transfer.readPipe(ends[0], allowed, [&] { return written.isFinished(); });
        ::close(ends[0]);
        if (!written.isFinished() || !written.isValid() || !written.value())
            return std::nullopt;
        return bytes;
    }

    bool replaced() const override { return *_now != _serial; }

private:
    std::shared_ptr<GnomeShell> _shell;
    quint32 _serial;
    std::shared_ptr<const std::atomic<quint32>> _now;
    PasteboardOffer _offer;
};

bool offersAll(const QStringList& offered, const QStringList& names) {
    return std::ranges::all_of(names, [&](const QString& name) { return offered.contains(name); });
}

} // namespace

GnomePasteboard::GnomePasteboard(std::shared_ptr<GnomeShell> shell) : _shell(std::move(shell)) {
    _shell->watchClipboard([this](const GnomeShell::Clipboard& next) { changed(next); });
    if (const std::optional<GnomeShell::Clipboard> now = _shell->clipboard()) {
        _now = *now;
        *_serial = now->serial;
    }
}

void GnomePasteboard::changed(const GnomeShell::Clipboard& now) {
    // The shell's word on our own write, and anything before it, came with its answer then.
    if (now.serial <= _now.serial)
        return;
    _now = now;
    *_serial = now.serial;
    _written.reset();
    ++_count;
}

std::shared_ptr<PasteboardContent> GnomePasteboard::content() {
    if (_written)
        return std::make_shared<HeldContent>(*_written);
    return std::make_shared<ShellContent>(_shell, _now, _serial);
}

std::optional<qint64> GnomePasteboard::contentGoneWithOwner() const {
    if (_written || !_now.types.isEmpty() || _now.keptByShell)
        return std::nullopt;
    return _count;
}

std::optional<qint64> GnomePasteboard::contentTakenOverByKeeper() const {
    if (!_now.keptByShell)
        return std::nullopt;
    return _count;
}

std::optional<qint64>
GnomePasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    const QStringList names = mime->formats();
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    // Once the compositor has handled Qt's request, the shell says whose the clipboard is.
    const std::optional<GnomeShell::Clipboard> now =
        QtDisplay::sync(kWriteTimeoutMs) ? _shell->clipboard() : std::nullopt;
    if (!now || now->serial <= _now.serial || !offersAll(now->types, names)) {
        Log::write(QStringLiteral("warning*** :[gnome] [the shell did not take our clipboard: "
                                  "GNOME lets only the window with the keyboard set it]"));
        return std::nullopt;
    }
    changed(*now);
    HeldContent::Named held;
    for (const auto& [name, bytes] : named)
        held.append({name, bytes});
    _written = std::move(held);
    return _count;
}

void GnomePasteboard::writePrimaryNames(const QList<std::pair<QString, QByteArray>>& named) {
    auto* mime = new QMimeData;
    MimeDataPasteboard::fill(*mime, named);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Selection);
    // The keystroke that pastes it comes through the shell.
    QtDisplay::sync(kWriteTimeoutMs);
}
