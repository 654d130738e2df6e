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
#include <algorithm>
#include <cerrno>

namespace {

// The form chosen for a content: text, payload code and payload.
struct Choice {
    std::optional<QString> text;
    qint32 extraType = ExtraType::Text;
    std::optional<QByteArray> extraData;
};

void logCannotSupply(const char* what, const Pasteboard& pasteboard) {
    Log::write(Strings::format(QStringLiteral("WARNING: [%s cannot supply] current count[%ld]"),
                               {what, pasteboard.changeCount()}));
}

// Walks the offered types in the owner's order. A picture wins as soon as it is met, with the
// text met before it; a rich payload waits for the text and is paired with it. Answers absent
// when nothing usable is offered or an offered type cannot be supplied.
std::optional<Choice> chooseForm(Pasteboard& pasteboard) {
    Choice choice;
    for (const PasteboardType type : pasteboard.types()) {
        switch (type) {
        case PasteboardType::TIFF:
        case PasteboardType::PDF: {
            const bool tiff = type == PasteboardType::TIFF;
            choice.extraData = pasteboard.dataForType(type);
            if (!choice.extraData) {
                logCannotSupply(tiff ? "TIFF data" : "PDF data", pasteboard);
                return std::nullopt;
            }
            choice.extraType = tiff ? ExtraType::TIFF : ExtraType::PDF;
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
                logCannotSupply(rtfd ? "RTFD" : "RTF", pasteboard);
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
                logCannotSupply("paste string data", pasteboard);
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

bool PasteWindow::addPasteDataCheck(Pasteboard& pasteboard, bool timerFlag, bool duplexCheck,
                                    qint32 posOfInsert) {
    const std::optional<Choice> choice = chooseForm(pasteboard);
    if (!choice)
        return false;
    return addPasteData(choice->text, choice->extraType, choice->extraData, timerFlag, duplexCheck,
                        posOfInsert);
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

    // The table is told of the one row that arrives and of the rows trimmed from the end, so
    // it keeps its selection and a capture costs little more with the window shown.
    PasteTableModel* shown = target == currentSet() ? _model : nullptr;
    const qint64 count = qint64(target->pasteData().size());
    if (shown)
        shown->beginInsert(int(std::clamp<qint64>(posOfInsert, 0, count)));
    const bool added = target->addData(text, extraType, extraData, posOfInsert, kNoLimit);
    if (shown)
        shown->endInsert();
    if (!added) {
        if (shown)
            shown->reload();
        Alert::run(Strings::localized(QStringLiteral("AddDataTitle")),
                   Strings::localizedFormat(QStringLiteral("AddDataMessage2"),
                                            {quint64(_pasteArray.size()), errno}),
                   QStringLiteral("OK"));
        return false;
    }
    trimToLimit(*target);
    if (shown)
        shown->numbersChanged();
    return true;
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
