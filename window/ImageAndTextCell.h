#pragma once

#include <QCache>
#include <QStaticText>
#include <QStringList>
#include <QStyledItemDelegate>

// A text cell with the row's picture, if any, at its left edge: the picture sits at the
// top-left corner at its own height, the text takes the rest of the width, and an editor never
// covers the picture. As many lines of the text are drawn as the row's height holds, at least
// one, clipped to the cell, so nothing of a row reaches into the next one; the cell's foreground
// colour is that of the first line (the kind's word, before its information lines). A cell
// without a picture is a plain text cell.
class ImageAndTextCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    // The part of a cell's frame left to the text beside a picture of that width.
    static QRect textFrame(const QRect& cellFrame, int pictureWidth);
    // The first lines of a text, at most that many: what a cell of that many lines shows.
    static QStringList leadingLines(const QString& text, int count);

private:
    static int pictureWidth(const QModelIndex& index);
    // The line as drawn in that width: shaping text costs more than drawing it, and a capture
    // moves every visible row, so each row's text is laid out once, not at every repaint.
    const QStaticText& laidOut(const QString& text, const QFont& font, int width) const;

    mutable QCache<QString, QStaticText> _laidOut{512};
    mutable QFont _laidOutFont;
};
