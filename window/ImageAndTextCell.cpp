#include "window/ImageAndTextCell.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

QRect ImageAndTextCell::textFrame(const QRect& cellFrame, int pictureWidth) {
    return cellFrame.adjusted(qMin(pictureWidth, cellFrame.width()), 0, 0, 0);
}

QStringList ImageAndTextCell::leadingLines(const QString& text, int count) {
    QStringList lines;
    qsizetype start = 0;
    while (lines.size() < count) {
        const auto end = std::find_if(text.begin() + start, text.end(), [](QChar c) {
            return c == u'\n' || c == u'\r' || c == QChar::LineSeparator ||
                   c == QChar::ParagraphSeparator;
        });
        const qsizetype at = end - text.begin();
        lines << text.mid(start, at - start);
        if (end == text.end())
            break;
        // A carriage return and line feed end one line.
        start = at + (text.mid(at, 2) == u"\r\n" ? 2 : 1);
    }
    return lines;
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
    const QColor plain =
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    const QColor first = foreground.isValid() && !selected ? foreground.value<QColor>() : plain;
    painter->setFont(option.font);
    const int spacing = option.fontMetrics.lineSpacing();
    const int room = std::max(1, 1 + (text.height() - option.fontMetrics.height()) / spacing);
    const QStringList lines = leadingLines(index.data(Qt::DisplayRole).toString(), room);
    // The lines as one block, in the middle of the row's height.
    const int block = option.fontMetrics.height() + int(lines.size() - 1) * spacing;
    const qreal top = text.top() + (text.height() - block) / 2.0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        painter->setPen(i == 0 ? first : plain);
        painter->drawStaticText(QPointF(text.left(), top + qreal(i * spacing)),
                                laidOut(lines[i], option.font, text.width()));
    }
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
    auto* line = new QStaticText;
    line->setTextFormat(Qt::PlainText);
    const auto layOut = [&](const QString& shown) {
        line->setText(shown);
        line->prepare(QTransform(), font);
    };
    // Eliding shapes the text once to measure it and the line shapes it again: a line that fits
    // is shaped once. One with more characters than the width has pixels cannot fit.
    const bool mayFit = text.size() <= width;
    if (mayFit)
        layOut(text);
    if (!mayFit || line->size().width() > width)
        layOut(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
    _laidOut.insert(key, line);
    return *line;
}

QSize ImageAndTextCell::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const int margin = 2 * (QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    return QSize(cell.fontMetrics.horizontalAdvance(leadingLines(cell.text, 1).front()) + margin +
                     pictureWidth(index),
                 cell.fontMetrics.height());
}

void ImageAndTextCell::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                            const QModelIndex& index) const {
    editor->setGeometry(textFrame(option.rect, pictureWidth(index)));
}
