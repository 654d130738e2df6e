#include "model/PasteData.h"

#include "model/ClipFilter.h"
#include "model/ExtraType.h"
#include "platform/Strings.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Longer texts are cut for the table so that drawing a row never handles a long text.
constexpr qsizetype DisplayLength = 125;

QString displayText(const QString& text) {
    if (text.size() <= DisplayLength)
        return text;
    return text.left(DisplayLength) + QStringLiteral(" .....");
}

QString informationText(const QString& text) {
    QString information = QStringLiteral("\n") + QString::number(quint64(text.size()));
    if (text.contains(QLatin1Char('\n')))
        information += QStringLiteral("\nLF");
    return information;
}

// The message shows whole points; a size beyond the 32-bit range is pinned to its edge instead
// of overflowing.
qint32 wholePoints(double points) {
    constexpr double lowest = std::numeric_limits<qint32>::min();
    constexpr double highest = std::numeric_limits<qint32>::max();
    return qint32(std::clamp(std::trunc(points), lowest, highest));
}

std::optional<Picture::Format> pictureFormat(qint32 extraType) {
    switch (extraType) {
    case ExtraType::PICT:
        return Picture::Format::PICT;
    case ExtraType::TIFF:
        return Picture::Format::TIFF;
    case ExtraType::PDF:
        return Picture::Format::PDF;
    default:
        return std::nullopt;
    }
}

// The longer side fills the request and the aspect ratio is kept; a square counts as tall.
QSizeF fittedSize(QSizeF natural, QSizeF requested) {
    const double width = natural.width();
    const double height = natural.height();
    if (width > height)
        return {requested.width(), height * requested.width() / width};
    return {width * requested.height() / height, requested.height()};
}

} // namespace

PasteData::PasteData() : _contents(QString()), _imageCurrentSize(0, 0) {}

const QByteArray& PasteData::digest() const {
    if (!_digest.isEmpty())
        return _digest;
    // Each part's presence and length go first, so that no two clippings' parts run together
    // into the same bytes.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const QByteArray text = _contents.value_or(QString()).toUtf8();
    const QByteArray payload = _extraData.value_or(QByteArray());
    const qint64 header[] = {_contents.has_value(), text.size(), _extraType, _extraData.has_value(),
                             payload.size()};
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(header), sizeof header));
    hash.addData(text);
    hash.addData(payload);
    // Half the hash is more than enough to tell a lifetime of clippings apart.
    _digest = hash.result().left(16).toHex();
    return _digest;
}

void PasteData::setContents(const std::optional<QString>& contents) {
    _digest.clear();
    _contents = contents;
    if (contents) {
        _displayContents = displayText(*contents);
        _strInfo = informationText(*contents);
        _foldedContents = ClipFilter::folded(*contents);
    } else {
        _displayContents.reset();
        _strInfo.clear();
        _foldedContents.clear();
    }
}

void PasteData::setExtraData(const std::optional<QByteArray>& extraData, qint32 type) {
    _digest.clear();
    _extraData = extraData;
    _extraType = type;
    _image.reset();
    if (!ExtraType::isPicture(type))
        return;
    _image = decodePicture();
    _imageCurrentSize = _image ? _image->naturalSize() : QSizeF(0, 0);
    _displayContents = Strings::localizedFormat(
        QStringLiteral("PictureMessage"),
        {wholePoints(_imageCurrentSize.width()), wholePoints(_imageCurrentSize.height())});
}

std::shared_ptr<Picture> PasteData::image(QSizeF requested) {
    // Only a picture clipping ever holds a picture, and one without it has bytes that already
    // failed to decode: decoding them again at every repaint would fail the same way.
    if (!_image)
        return nullptr;
    if (requested.height() == _imageCurrentSize.height())
        return _image;
    _image = decodePicture();
    if (_image) {
        _image->setSize(fittedSize(_image->naturalSize(), requested));
        _imageCurrentSize = requested;
    }
    return _image;
}

std::shared_ptr<Picture> PasteData::drawnImage(const QByteArray& extraData, qint32 type,
                                               QSizeF requested, qreal pixelRatio) {
    const std::optional<Picture::Format> format = pictureFormat(type);
    std::shared_ptr<Picture> picture = format ? Picture::fromData(extraData, *format) : nullptr;
    if (!picture)
        return nullptr;
    picture->setSize(fittedSize(picture->naturalSize(), requested));
    picture->render((picture->size() * pixelRatio).toSize());
    return picture;
}

void PasteData::adoptImage(std::shared_ptr<Picture> image, QSizeF requested) {
    if (!_image || !image)
        return;
    _image = std::move(image);
    _imageCurrentSize = requested;
}

std::shared_ptr<Picture> PasteData::decodePicture() const {
    const std::optional<Picture::Format> format = pictureFormat(_extraType);
    if (!format || !_extraData)
        return nullptr;
    return Picture::fromData(*_extraData, *format);
}

QList<PasteboardEntry> PasteData::pasteboardEntries(qint64 pasteMode) const {
    QList<PasteboardEntry> entries;
    const bool rich = pasteMode == 1 && ExtraType::isRichText(_extraType);
    if (_extraType == ExtraType::TIFF || _extraType == ExtraType::PDF || rich) {
        if (!_extraData)
            return {};
        const PasteboardType type = _extraType == ExtraType::TIFF  ? PasteboardType::TIFF
                                    : _extraType == ExtraType::PDF ? PasteboardType::PDF
                                    : _extraType == ExtraType::RTF ? PasteboardType::RTF
                                                                   : PasteboardType::RTFD;
        entries.append({type, *_extraData});
        if (ExtraType::isPicture(_extraType))
            return entries;
    } else if (_extraType != ExtraType::Text && !ExtraType::isRichText(_extraType)) {
        return {};
    }
    if (_contents)
        entries.append({PasteboardType::String, _contents->toUtf8()});
    return entries;
}
