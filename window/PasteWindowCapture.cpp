// Turning the content of a pasteboard into a clipping: choosing its form, the repeat test
// against the head of the history, and the insertion.
#include "window/PasteWindow.h"

#include "model/ExtraType.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/Strings.h"
#include "platform/Transfer.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

// How long a quit waits for a content copied just before it.
constexpr std::chrono::milliseconds kCaptureGrace{1000};

// The form chosen for a content: text, payload code and payload; or, when an offered type could
// not be supplied, which one, to be told.
struct Choice {
    std::optional<QString> text;
    qint32 extraType = ExtraType::Text;
    std::optional<QByteArray> extraData;
    const char* unsupplied = nullptr;
};

void logCannotSupply(const char* what, qint64 count) {
    Log::write(Strings::format(QStringLiteral("WARNING: [%s cannot supply] current count[%ld]"),
                               {what, count}));
}

// Walks the offered types in the owner's order. A picture wins as soon as it is met, with the
// text met before it; a rich payload waits for the text and is paired with it. Answers absent
// when nothing usable is offered.
std::optional<Choice> walkTypes(PasteboardReader& reader) {
    Choice choice;
    const auto cannotSupply = [&](const char* what) {
        choice.unsupplied = what;
        return choice;
    };
    for (const PasteboardType type : reader.types()) {
        switch (type) {
        case PasteboardType::TIFF:
        case PasteboardType::PDF: {
            const bool tiff = type == PasteboardType::TIFF;
            choice.extraType = tiff ? ExtraType::TIFF : ExtraType::PDF;
            choice.extraData = reader.dataForType(type);
            return choice.extraData ? choice : cannotSupply(tiff ? "TIFF data" : "PDF data");
        }
        case PasteboardType::RTFD:
        case PasteboardType::RTF: {
            const bool rtfd = type == PasteboardType::RTFD;
            // An RTFD replaces an RTF met earlier; an RTF never replaces a payload.
            if (!rtfd && choice.extraData)
                break;
            choice.extraData = reader.dataForType(type);
            if (!choice.extraData)
                return cannotSupply(rtfd ? "RTFD" : "RTF");
            choice.extraType = rtfd ? ExtraType::RTFD : ExtraType::RTF;
            if (choice.text)
                return choice;
            break;
        }
        case PasteboardType::String:
            choice.text = reader.stringForType(type);
            if (!choice.text)
                return cannotSupply("paste string data");
            if (choice.extraData)
                return choice;
            break;
        }
    }
    if (!choice.text && !choice.extraData)
        return std::nullopt;
    return choice;
}

// The form of the content, unless the owner marks it as a secret (of which nothing is read,
// nothing logged). The mark, the types and the data must all be the same content's: when the
// reading was given up, because a newer content replaced this one, nothing is taken and nothing
// is logged.
std::optional<Choice> chooseForm(PasteboardReader& reader) {
    std::optional<Choice> choice;
    if (!reader.isSecret())
        choice = walkTypes(reader);
    if (reader.givenUp())
        return std::nullopt;
    return choice;
}

// Whether a new content repeats the clipping at the head of the history. Texts decide for
// text and rich text, bytes for pictures; an absent value never equals anything.
bool repeatsHead(const PasteData* head, const std::optional<QString>& text, qint32 extraType,
                 const std::optional<QByteArray>& extraData) {
    if (!head || head->extraType() != extraType)
        return false;
    if (extraType == ExtraType::Text || ExtraType::isRichText(extraType))
        return text && head->contents() && *head->contents() == *text;
    if (extraType == ExtraType::TIFF || extraType == ExtraType::PDF)
        return extraData && head->extraData() && *head->extraData() == *extraData;
    return false;
}

} // namespace

// A capture of the clipboard, read on a worker and waiting its turn to enter the history.
struct PasteWindow::PendingCapture {
    // The change count of the content, which a failure reports.
    qint64 count = 0;
    qint32 posOfInsert = 0;
    // Asked for when a newer content supersedes this one, or when the reading must end.
    std::stop_source stop;
    // Written by the job before it sets ready; read here only once ready is seen.
    std::optional<Choice> choice;
    // A picture as the table will first draw it, drawn by the job too.
    QSizeF thumbnailSize;
    qreal pixelRatio = 1;
    std::shared_ptr<Picture> drawn;
    std::atomic<bool> ready = false;

    bool isReady() const { return ready.load(std::memory_order_acquire); }
};

bool PasteWindow::addPasteDataCheck(Pasteboard& pasteboard, bool timerFlag, bool duplexCheck,
                                    qint32 posOfInsert) {
    if (duplexCheck) {
        startCapture(pasteboard, posOfInsert);
        return false;
    }
    // A drop is read where it happens, from the drag's own data, and inserted at once: its row is
    // only valid now.
    PasteboardReader reader(pasteboard.content(), Transfer());
    const std::optional<Choice> choice = chooseForm(reader);
    if (!choice || choice->unsupplied) {
        if (choice)
            logCannotSupply(choice->unsupplied, pasteboard.changeCount());
        return false;
    }
    return addPasteData(choice->text, choice->extraType, choice->extraData, timerFlag, false,
                        posOfInsert);
}

void PasteWindow::startCapture(Pasteboard& pasteboard, qint32 posOfInsert) {
    // The clipboard has moved on: what is still being read of older contents is given up, and
    // what was read whole waits its turn.
    std::erase_if(_pending, [](const std::shared_ptr<PendingCapture>& pending) {
        if (pending->isReady())
            return false;
        pending->stop.request_stop();
        return true;
    });
    auto pending = std::make_shared<PendingCapture>();
    pending->count = pasteboard.changeCount();
    pending->posOfInsert = posOfInsert;
    pending->thumbnailSize = thumbnailSize();
    pending->pixelRatio = qGuiApp->devicePixelRatio();
    _pending.push_back(pending);
    _captureJobs.start([this, pending, content = pasteboard.content()] {
        PasteboardReader reader(content,
                                Transfer(Transfer::kCaptureLimit, pending->stop.get_token()));
        pending->choice = chooseForm(reader);
        const Choice* choice = pending->choice ? &*pending->choice : nullptr;
        if (choice && choice->extraData && ExtraType::isPicture(choice->extraType) &&
            !pending->thumbnailSize.isEmpty() && !reader.givenUp())
            pending->drawn = PasteData::drawnImage(*choice->extraData, choice->extraType,
                                                   pending->thumbnailSize, pending->pixelRatio);
        pending->ready.store(true, std::memory_order_release);
        // Safe from this thread: the destructor waits for every job before this object goes,
        // and the call it posts is dropped with the object.
        QMetaObject::invokeMethod(
            this, [this] { enterReadyCaptures(); }, Qt::QueuedConnection);
    });
}

bool PasteWindow::capturesHeld() const {
    return _tableDragging || Alert::isApplicationModalUp();
}

void PasteWindow::enterReadyCaptures() {
    if (!capturesHeld())
        enterCaptures();
}

void PasteWindow::enterCaptures() {
    while (!_pending.empty() && _pending.front()->isReady()) {
        const std::shared_ptr<PendingCapture> next = _pending.front();
        // Taken off first: an alert raised by the insertion runs an event loop, which may come
        // back here for the next one.
        _pending.pop_front();
        if (!next->choice)
            continue;
        const Choice& choice = *next->choice;
        if (choice.unsupplied) {
            logCannotSupply(choice.unsupplied, next->count);
            continue;
        }
        _lastCaptured = {next->count, choice.text, choice.extraType, choice.extraData};
        if (addPasteData(choice.text, choice.extraType, choice.extraData, true, true,
                         next->posOfInsert) &&
            next->drawn)
            if (PasteData* entered = getPasteBoardHistoryDataAtIndex(next->posOfInsert))
                entered->adoptImage(next->drawn, next->thumbnailSize);
    }
}

void PasteWindow::finishPendingCaptures() {
    if (!_captureJobs.waitForDone(int(kCaptureGrace.count()))) {
        stopCaptures();
        _captureJobs.waitForDone();
    }
    enterCaptures();
}

void PasteWindow::stopCaptures() {
    for (const std::shared_ptr<PendingCapture>& pending : _pending)
        pending->stop.request_stop();
}

const PasteData* PasteWindow::headCapturedAt(qint64 count) const {
    const PasteData* head = getPasteBoardHistoryDataAtIndex(0);
    if (_lastCaptured.count != count ||
        !repeatsHead(head, _lastCaptured.text, _lastCaptured.extraType, _lastCaptured.extraData))
        return nullptr;
    return head;
}

bool PasteWindow::addPasteData(const std::optional<QString>& text, qint32 extraType,
                               const std::optional<QByteArray>& extraData, bool timerFlag,
                               bool duplexCheck, qint32 posOfInsert) {
    // The table follows the set it shows, whether a timer made the capture or a drop did.
    Q_UNUSED(timerFlag);
    PasteSet* target =
        duplexCheck ? (_pasteArray.empty() ? nullptr : _pasteArray.front().get()) : currentSet();
    if (!target)
        return false;
    if (duplexCheck && repeatsHead(getPasteBoardHistoryDataAtIndex(0), text, extraType, extraData))
        return false;

    // The table is told of the one row that arrives and of the rows trimmed from the end, so a
    // capture costs little more with the window shown. It keeps the row numbers it had
    // selected, as a reload does: the first row stays selected, and so the newest clipping.
    PasteTableModel* shown = target == currentSet() ? _model : nullptr;
    bool added = false;
    const auto insert = [&] {
        const qint64 count = qint64(target->pasteData().size());
        if (shown)
            shown->beginInsert(int(std::clamp<qint64>(posOfInsert, 0, count)));
        added = target->addData(text, extraType, extraData, posOfInsert, kNoLimit);
        if (shown)
            shown->endInsert();
        if (added) {
            noteCaptured(*target->pasteData()[size_t(std::clamp<qint64>(posOfInsert, 0, count))]);
            trimToLimit(*target);
        }
        if (!shown)
            return;
        if (added)
            shown->numbersChanged();
        else
            shown->reload();
    };
    if (shown)
        _table->keepingRowNumbers(insert);
    else
        insert();
    if (!added)
        Alert::run(Strings::localized(QStringLiteral("AddDataTitle")),
                   Strings::localizedFormat(QStringLiteral("AddDataMessage2"),
                                            {quint64(_pasteArray.size()), errno}),
                   Strings::localized(QStringLiteral("OKButton")));
    return added;
}

void PasteWindow::trimToLimit(PasteSet& set) {
    const quint64 count = set.pasteData().size();
    const quint64 limit = quint64(_applicationIns->iLimits()); // a negative limit trims nothing
    if (count <= limit)
        return;
    PasteTableModel* shown = &set == currentSet() ? _model : nullptr;
    if (shown)
        shown->beginRemove(int(limit), int(count - 1));
    set.deleteData(_applicationIns->iLimits());
    if (shown)
        shown->endRemove();
}

PasteData* PasteWindow::getPasteBoardHistoryDataAtIndex(qint32 row) const {
    if (_pasteArray.empty() || row < 0)
        return nullptr;
    return _pasteArray.front()->getDataAtIndex(quint64(row));
}
