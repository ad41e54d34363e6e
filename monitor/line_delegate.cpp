#include "line_delegate.h"

#include <QApplication>
#include <QPainter>

namespace
{

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

// The space left and right of the text, as the style's item views keep it.
int textMargin(const QStyleOptionViewItem &option)
{
    return styleOf(option)->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
}

} // namespace

void LineDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QStyle *style = styleOf(option);
    const QWidget *widget = option.widget;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);

    const bool enabled = option.state & QStyle::State_Enabled;
    const QPalette::ColorGroup group = !enabled                                ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Normal
                                                                               : QPalette::Inactive;
    const bool selected = option.state & QStyle::State_Selected;
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        const QFontMetrics &metrics = option.fontMetrics;
        const QRect &r = option.rect;
        const int baseline = r.top() + (r.height() - metrics.height()) / 2 + metrics.ascent();
        painter->save();
        painter->setFont(option.font);
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QPoint(r.left() + textMargin(option), baseline), text);
        painter->restore();
    }

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize LineDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString text = index.data(Qt::DisplayRole).toString();
    return {option.fontMetrics.horizontalAdvance(text) + 2 * textMargin(option),
            option.fontMetrics.height()};
}
