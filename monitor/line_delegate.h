#pragma once

#include <QStyledItemDelegate>

// Draws a line as one run of plain text on the style's row background, with the focus frame
// where it belongs. QStyledItemDelegate lays each row's text out for wrapping and eliding and
// asks the model for a dozen roles, which made painting the main cost of a busy frame; this
// shapes the text once and asks only for the text.
class LineDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
