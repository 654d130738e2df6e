#include "platform/MimeDataPasteboard.h"

#include <QMimeData>

void MimeDataPasteboard::fill(QMimeData& mimeData,
                              const QList<std::pair<QString, QByteArray>>& named) {
    for (const auto& [name, bytes] : named) {
        if (name == u"UTF8_STRING" || name == u"STRING" || name == u"TEXT")
            continue;
        mimeData.setData(name, bytes);
    }
}

namespace {

// A drop's data, asked for each type as the reader needs it: a drag may offer many large forms.
class DropContent : public PasteboardContent {
public:
    explicit DropContent(const QMimeData* data) : _data(data) {}

    std::optional<PasteboardOffer> offer(const Transfer&) override {
        PasteboardOffer offer;
        for (const QString& format : _data->formats())
            offer.add(format);
        return offer;
    }
    std::optional<QByteArray> read(const QString& name, qsizetype allowed,
                                   const Transfer&) override {
        if (!_data->hasFormat(name))
            return std::nullopt;
        QByteArray bytes = _data->data(name);
        return bytes.size() <= allowed ? std::optional(std::move(bytes)) : std::nullopt;
    }

private:
    const QMimeData* _data;
};

} // namespace

std::shared_ptr<PasteboardContent> MimeDataPasteboard::content() {
    return std::make_shared<DropContent>(_read);
}

std::optional<qint64>
MimeDataPasteboard::writeNames(const QList<std::pair<QString, QByteArray>>& named) {
    if (!_written)
        return std::nullopt;
    fill(*_written, named);
    return changeCount();
}
