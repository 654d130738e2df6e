// Choosing the clipping to paste: the selected one as stored, or the selected ones joined.
#include "window/PasteWindow.h"

#include "formats/richtext/RichText.h"
#include "model/ExtraType.h"
#include "platform/Alert.h"
#include "platform/Strings.h"
#include "window/PasteTableModel.h"
#include "window/PasteView.h"

#include <QComboBox>

namespace {

// The rich form of one clipping for a joined document. A rich payload that cannot be read, or
// that comes without its text, gives way to the text alone, so joining never fails for it.
std::optional<RichText> richForm(const PasteData& data) {
    if (!data.contents())
        return std::nullopt;
    if (data.extraType() == ExtraType::RTF && data.extraData())
        if (auto rich = RichText::fromRTF(*data.extraData()))
            return rich;
    if (data.extraType() == ExtraType::RTFD && data.extraData())
        if (auto rich = RichText::fromRTFD(*data.extraData()))
            return rich;
    return RichText::fromPlainText(*data.contents());
}

bool canBeJoined(qint32 code) {
    return code == ExtraType::Text || ExtraType::isRichText(code);
}

} // namespace

bool PasteWindow::synthesisData(std::unique_ptr<PasteData>& data, bool message) {
    const PasteSet* set = currentSet();
    const IndexSet rows = selectedSetRows();
    RichText joined;
    QString text;
    qint32 code = ExtraType::Text;
    bool anyText = false;
    for (const quint64 row : rows) {
        const PasteData* clipping = set ? set->getDataAtIndex(row) : nullptr;
        if (!clipping)
            continue;
        if (!canBeJoined(clipping->extraType())) {
            if (message)
                Alert::run(Strings::localized(QStringLiteral("PasteTitle")),
                           Strings::localized(QStringLiteral("PasteMessage")),
                           Strings::localized(QStringLiteral("OKButton")));
            return false;
        }
        if (clipping->contents()) {
            text += *clipping->contents();
            anyText = true;
        }
        if (const std::optional<RichText> rich = richForm(*clipping))
            joined.append(*rich);
        // RTFD wins over RTF, which wins over plain text.
        if (ExtraType::isRichText(clipping->extraType()) && code != ExtraType::RTFD)
            code = clipping->extraType();
    }
    std::optional<QByteArray> payload;
    if (code == ExtraType::RTFD)
        payload = joined.RTFD();
    else if (code == ExtraType::RTF)
        payload = joined.RTF();
    auto combined = std::make_unique<PasteData>();
    combined->setContents(anyText ? std::optional(text) : std::nullopt);
    combined->setExtraData(payload, code);
    data = std::move(combined);
    return true;
}

bool PasteWindow::doPaste(bool& pasted) {
    pasted = false;
    const qint64 selected = selectedRows();
    if (selected == 1) {
        const qint64 row = _model->setRow(_table->selectedRow());
        PasteSet* set = currentSet();
        PasteData* data = set && row >= 0 ? set->getDataAtIndex(quint64(row)) : nullptr;
        if (!data)
            return true;
        pasted = _applicationIns->doPasteCommand(*data);
        // Whatever the application answered, the clipping used last rises to the top.
        if (_applicationIns->bRecentlyTop() == 1 && _list->currentIndex() == 0) {
            set->exchangeStackFront(row);
            _table->reloadData();
        }
    } else if (selected > 1) {
        std::unique_ptr<PasteData> combined;
        if (synthesisData(combined, true))
            pasted = _applicationIns->doPasteCommand(*combined);
    }
    return true;
}
