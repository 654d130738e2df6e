#pragma once

#include <QCache>
#include <QStaticText>
#include <QStyledItemDelegate>

// A one-line text cell with the row's picture, if any, at its left edge: the picture sits at
// the top-left corner at its own height, the text takes the rest of the width, and an editor
// never covers the picture. Only the first line of a text is drawn, clipped to the cell, so
// nothing of a row reaches into the next one. A cell without a picture is a plain text cell.
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
    // What one line shows of a text: up to its first line break.
    static QString firstLine(const QString& text);

private:
    static int pictureWidth(const QModelIndex& index);
    // The line as drawn in that width: shaping text costs more than drawing it, and a capture
    // moves every visible row, so each row's text is laid out once, not at every repaint.
    const QStaticText& laidOut(const QString& text, const QFont& font, int width) const;

    mutable QCache<QString, QStaticText> _laidOut{512};
    mutable QFont _laidOutFont;
};
