#include "window/ImageAndTextCell.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

QRect ImageAndTextCell::textFrame(const QRect& cellFrame, int pictureWidth) {
    return cellFrame.adjusted(qMin(pictureWidth, cellFrame.width()), 0, 0, 0);
}

QString ImageAndTextCell::firstLine(const QString& text) {
    const auto end = std::find_if(text.begin(), text.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == QChar::LineSeparator ||
               c == QChar::ParagraphSeparator;
    });
    return end == text.end() ? text : text.first(end - text.begin());
}

int ImageAndTextCell::pictureWidth(const QModelIndex& index) {
    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    return picture.isNull() ? 0 : qCeil(picture.deviceIndependentSize().width());
}

void ImageAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    // Drawn from the few values a row has, without the style's general item layout: every
    // visible row is drawn again at each capture.
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    painter->setClipRect(option.rect);
    if (selected)
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, view);

    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    QRect text = option.rect;
    if (!picture.isNull()) {
        const QSizeF size = picture.deviceIndependentSize();
        painter->drawPixmap(QRectF(option.rect.topLeft(), size), picture, picture.rect());
        text = textFrame(option.rect, qCeil(size.width()));
    }
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    text.adjust(margin, 0, -margin, 0);
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QVariant foreground = index.data(Qt::ForegroundRole);
    painter->setPen(selected               ? option.palette.color(group, QPalette::HighlightedText)
                    : foreground.isValid() ? foreground.value<QColor>()
                                           : option.palette.color(group, QPalette::Text));
    painter->setFont(option.font);
    const QStaticText& line =
        laidOut(index.data(Qt::DisplayRole).toString(), option.font, text.width());
    const qreal top = text.top() + (text.height() - option.fontMetrics.height()) / 2.0;
    painter->drawStaticText(QPointF(text.left(), top), line);
    painter->restore();
}

const QStaticText& ImageAndTextCell::laidOut(const QString& text, const QFont& font,
                                             int width) const {
    if (font != _laidOutFont) {
        _laidOut.clear();
        _laidOutFont = font;
    }
    const QString key = QString::number(width) + u'\n' + text;
    if (QStaticText* known = _laidOut.object(key))
        return *known;
    const QFontMetrics metrics(font);
    auto* line = new QStaticText(metrics.elidedText(firstLine(text), Qt::ElideRight, width));
    line->setTextFormat(Qt::PlainText);
    line->prepare(QTransform(), font);
    _laidOut.insert(key, line);
    return *line;
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const int margin = 2 * (QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    return QSize(cell.fontMetrics.horizontalAdvance(firstLine(cell.text)) + margin +
                     pictureWidth(index),
                 cell.fontMetrics.height());
}

void ImageAndTextCell::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    editor->setGeometry(textFrame(option.rect, pictureWidth(index)));
}
