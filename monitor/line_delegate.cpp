#include "line_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace
{

// Lines up to this length are drawn and measured whole. A longer one is drawn only as far as
// it can be seen, and its width is extrapolated from its first kMeasuredChars characters:
// shaping all 1600 characters of every new row made a frame of long lines cost 12 ms.
constexpr int kWholeChars = 256;
constexpr int kMeasuredChars = 128;

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

// The space left and right of the text, as the style's item views keep it.
int textMargin(const QStyleOptionViewItem &option)
{
    return styleOf(option)->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
}

// Right-to-left text is reordered for display, so a cut in reading order would show other
// characters than the whole line does.
bool hasRightToLeft(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x0590)
            continue;
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
        case QChar::DirRLE:
        case QChar::DirRLO:
        case QChar::DirRLI:
            return true;
        default:
            break;
        }
    }
    return false;
}

// A cut that keeps surrogate pairs and a character's combining marks together.
qsizetype cutAt(const QString &text, qsizetype n)
{
    while (n < text.size() && (text.at(n).isLowSurrogate() || text.at(n).isMark()))
        ++n;
    return n;
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
    const QRect &r = option.rect;
    const int x = r.left() + textMargin(option);
    const int right =
        painter->device() ? std::min(r.right(), painter->device()->width()) : r.right();
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty() && x < right) {
        painter->save();
        painter->setFont(option.font);
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics &metrics = option.fontMetrics;
        const int top = r.top() + (r.height() - metrics.height()) / 2;
        if (text.size() <= kWholeChars || hasRightToLeft(text)) {
            painter->drawText(QPoint(x, top + metrics.ascent()), text);
        } else {
            // Shape a prefix that reaches past the right edge, longer ones until one does.
            const int needed = right - x;
            qsizetype n = qsizetype(needed / std::max(1, metrics.averageCharWidth())) * 5 / 4 + 8;
            for (;;) {
                n = cutAt(text, std::min(n, text.size()));
                QTextLayout layout(text.left(n), option.font, painter->device());
                QTextOption textOption;
                textOption.setWrapMode(QTextOption::NoWrap);
                layout.setTextOption(textOption);
                layout.beginLayout();
                QTextLine line = layout.createLine();
                layout.endLayout();
                if (n == text.size() || line.naturalTextWidth() > needed) {
                    layout.draw(painter, QPointF(x, top + metrics.ascent() - line.ascent()));
                    break;
                }
                n += n / 2;
            }
        }
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
    const QFontMetrics &metrics = option.fontMetrics;
    int width = 0;
    if (text.size() <= kWholeChars) {
        width = metrics.horizontalAdvance(text);
    } else {
        // Extrapolated from the first characters, with room to spare: a scroll range a little
        // too wide shows some blank space, one too narrow would hide the line's end.
        const qsizetype n = cutAt(text, kMeasuredChars);
        width = int(qint64(metrics.horizontalAdvance(text.left(n))) * text.size() / n);
        width += width / 20 + 4 * metrics.averageCharWidth();
    }
    return {width + 2 * textMargin(option), metrics.height()};
}
