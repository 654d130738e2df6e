// Turning the content of a pasteboard into a clipping: choosing its form, the repeat test
// against the head of the history, and the insertion.
#include "window/PasteWindow.h"

#include "model/ExtraType.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/Strings.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"

#include <QComboBox>
#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

// How long a quit waits for a picture copied just before it.
constexpr std::chrono::milliseconds kPictureGrace{1000};

// The form chosen for a content: text, payload code and payload. A picture left to read later
// comes as a job instead of its payload.
struct Choice {
    std::optional<QString> text;
    qint32 extraType = ExtraType::Text;
    std::optional<QByteArray> extraData;
    Pasteboard::DataJob pictureJob;
};

void logCannotSupply(const char* what, qint64 count) {
    Log::write(Strings::format(QStringLiteral("WARNING: [%s cannot supply] current count[%ld]"),
                               {what, count}));
}

const char* pictureName(qint32 extraType) {
    return extraType == ExtraType::TIFF ? "TIFF data" : "PDF data";
}

// Walks the offered types in the owner's order. A picture wins as soon as it is met, with the
// text met before it; a rich payload waits for the text and is paired with it. Answers absent
// when nothing usable is offered, or when an offered type cannot be supplied, which is named in
// unsupplied. With pictureLater, a picture is not read here: its job is handed back to be run
// elsewhere.
std::optional<Choice> walkTypes(Pasteboard& pasteboard, bool pictureLater,
                                const char*& unsupplied) {
    Choice choice;
    for (const PasteboardType type : pasteboard.types()) {
        switch (type) {
        case PasteboardType::TIFF:
        case PasteboardType::PDF: {
            choice.extraType = type == PasteboardType::TIFF ? ExtraType::TIFF : ExtraType::PDF;
            if (pictureLater) {
                choice.pictureJob = pasteboard.dataForTypeLater(type);
                return choice;
            }
            choice.extraData = pasteboard.dataForType(type);
            if (!choice.extraData) {
                unsupplied = pictureName(choice.extraType);
                return std::nullopt;
            }
            return choice;
        }
        case PasteboardType::RTFD:
        case PasteboardType::RTF: {
            const bool rtfd = type == PasteboardType::RTFD;
            // An RTFD replaces an RTF met earlier; an RTF never replaces a payload.
            if (!rtfd && choice.extraData)
                break;
            choice.extraData = pasteboard.dataForType(type);
            if (!choice.extraData) {
                unsupplied = rtfd ? "RTFD" : "RTF";
                return std::nullopt;
            }
            choice.extraType = rtfd ? ExtraType::RTFD : ExtraType::RTF;
            if (choice.text)
                return choice;
            break;
        }
        case PasteboardType::String:
            choice.text = pasteboard.stringForType(type);
            if (!choice.text) {
                unsupplied = "paste string data";
                return std::nullopt;
            }
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
// content changes while it is read, nothing is taken and nothing logged, and the next tick
// starts over on the new content, its mark first.
std::optional<Choice> chooseForm(Pasteboard& pasteboard, bool pictureLater) {
    const qint64 count = pasteboard.changeCount();
    const char* unsupplied = nullptr;
    std::optional<Choice> choice;
    if (!pasteboard.isSecret())
        choice = walkTypes(pasteboard, pictureLater, unsupplied);
    if (pasteboard.changeCount() != count)
        return std::nullopt;
    if (unsupplied)
        logCannotSupply(unsupplied, count);
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

struct PasteWindow::PendingCapture {
    std::optional<QString> text;
    qint32 extraType = ExtraType::Text;
    // Written by the picture's job before it sets ready; read here only once ready is seen.
    std::optional<QByteArray> extraData;
    bool timerFlag = true;
    qint32 posOfInsert = 0;
    // The change count when the capture began, which a failure reports.
    qint64 count = 0;
    bool picture = false;
    // The picture as the table will first draw it, drawn by the job too.
    QSizeF thumbnailSize;
    qreal pixelRatio = 1;
    std::shared_ptr<Picture> drawn;
    std::atomic<bool> ready = false;
};

bool PasteWindow::addPasteDataCheck(Pasteboard& pasteboard, bool timerFlag, bool duplexCheck,
                                    qint32 posOfInsert) {
    std::optional<Choice> choice = chooseForm(pasteboard, duplexCheck);
    if (!choice)
        return false;
    if (!choice->pictureJob && (!duplexCheck || _pending.empty())) {
        if (duplexCheck)
            _lastCaptured = {pasteboard.changeCount(), choice->text, choice->extraType,
                             choice->extraData};
        return addPasteData(choice->text, choice->extraType, choice->extraData, timerFlag,
                            duplexCheck, posOfInsert);
    }

    auto pending = std::make_shared<PendingCapture>();
    pending->text = std::move(choice->text);
    pending->extraType = choice->extraType;
    pending->extraData = std::move(choice->extraData);
    pending->timerFlag = timerFlag;
    pending->posOfInsert = posOfInsert;
    pending->count = pasteboard.changeCount();
    pending->picture = bool(choice->pictureJob);
    pending->ready = !pending->picture;
    _pending.push_back(pending);
    if (pending->picture)
        startPictureJob(pending, std::move(choice->pictureJob));
    return false;
}

void PasteWindow::startPictureJob(std::shared_ptr<PendingCapture> pending,
                                  std::function<std::optional<QByteArray>(std::stop_token)> job) {
    pending->thumbnailSize = thumbnailSize();
    pending->pixelRatio = qGuiApp->devicePixelRatio();
    _pictureJobs.start([this, pending = std::move(pending), job = std::move(job),
                        stop = _pictureStop.get_token()] {
        pending->extraData = job(stop);
        if (pending->extraData && !pending->thumbnailSize.isEmpty() && !stop.stop_requested())
            pending->drawn = PasteData::drawnImage(*pending->extraData, pending->extraType,
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
    while (!_pending.empty() && _pending.front()->ready.load(std::memory_order_acquire)) {
        const std::shared_ptr<PendingCapture> next = _pending.front();
        // Taken off first: an alert raised by the insertion runs an event loop, which may come
        // back here for the next one.
        _pending.pop_front();
        if (next->picture && !next->extraData) {
            logCannotSupply(pictureName(next->extraType), next->count);
            continue;
        }
        _lastCaptured = {next->count, next->text, next->extraType, next->extraData};
        if (addPasteData(next->text, next->extraType, next->extraData, next->timerFlag, true,
                         next->posOfInsert) &&
            next->drawn)
            if (PasteData* entered = getPasteBoardHistoryDataAtIndex(next->posOfInsert))
                entered->adoptImage(next->drawn, next->thumbnailSize);
    }
}

void PasteWindow::finishPendingCaptures() {
    if (!_pictureJobs.waitForDone(int(kPictureGrace.count()))) {
        _pictureStop.request_stop();
        _pictureJobs.waitForDone();
        // The pictures copied from now on are read as usual.
        _pictureStop = std::stop_source();
    }
    enterCaptures();
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
        if (added)
            trimToLimit(*target);
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
