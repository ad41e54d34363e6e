#pragma once

#include <QStyledItemDelegate>

#include <memory>

// Draws a line as plain text on the style's row background, with the focus frame where it
// belongs. QStyledItemDelegate lays each row's text out for wrapping and eliding and asks the
// model for a dozen roles, which made painting the main cost of a busy frame; this shapes the
// text once and asks only for the text. Characters that would draw nothing, act on their
// neighbours or break the line are drawn as small boxed labels (see displayRuns()).
class LineDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit LineDelegate(QObject *parent = nullptr);
    ~LineDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    class Marks;
    Marks &marks(const QFont &font) const;

    mutable std::unique_ptr<Marks> m_marks; // for the font of the rows last drawn
};
