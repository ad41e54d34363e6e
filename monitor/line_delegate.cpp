#include "line_delegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <list>

namespace
{

// Lines up to this length are drawn and measured whole. A longer one is drawn only as far as
// it can be seen, and its width is the sum of its characters' widths, each measured once per
// font: shaping all 1600 characters of every new row made a frame of long lines cost 12 ms.
// (Estimating from the first characters hid the end of a line that starts narrow.)
constexpr int kWholeChars = 256;

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

// The width of each character of a font, measured when first met.
class CharacterWidths
{
public:
    explicit CharacterWidths(const QFont &font) : m_font(font), m_metrics(font)
    {
        m_latin.fill(-1);
    }
    const QFont &font() const { return m_font; }

    qreal of(char32_t c, const QString &text, qsizetype at, qsizetype length)
    {
        if (c < m_latin.size()) {
            if (m_latin[c] < 0)
                m_latin[c] = m_metrics.horizontalAdvance(QChar(c));
            return m_latin[c];
        }
        const auto known = m_other.constFind(c);
        if (known != m_other.constEnd())
            return *known;
        const qreal width = m_metrics.horizontalAdvance(text.mid(at, length));
        if (m_other.size() < 65536)
            m_other.insert(c, width);
        return width;
    }

private:
    QFont m_font;
    QFontMetricsF m_metrics;
    std::array<qreal, 256> m_latin;
    QHash<char32_t, qreal> m_other;
};

// A line's width as the sum of its characters' widths. The GUI thread alone draws, so the
// widths of the few fonts in use are kept here. Never destroyed: fonts must not outlive the
// application object, as a static's destruction after main() would make them.
qreal summedWidth(const QString &text, const QFont &font)
{
    static auto &fonts = *new std::list<CharacterWidths>;
    auto found = std::find_if(fonts.begin(), fonts.end(),
                              [&](const CharacterWidths &w) { return w.font() == font; });
    if (found == fonts.end()) {
        if (fonts.size() >= 4)
            fonts.pop_back();
        fonts.emplace_front(font);
        found = fonts.begin();
    } else if (found != fonts.begin()) {
        fonts.splice(fonts.begin(), fonts, found);
        found = fonts.begin();
    }
    qreal width = 0;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            width += found->of(QChar::surrogateToUcs4(c, text.at(i + 1)), text, i, 2);
            i += 2;
        } else {
            width += found->of(c.unicode(), text, i, 1);
            ++i;
        }
    }
    return width;
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
    if (text.size() <= kWholeChars || hasRightToLeft(text)) {
        width = metrics.horizontalAdvance(text);
    } else {
        // The sum of the characters' own widths, with room to spare for what shaping changes:
        // a scroll range a little too wide shows some blank space, one too narrow would hide
        // the line's end.
        width = int(std::ceil(summedWidth(text, option.font)));
        width += width / 50 + 2 * metrics.averageCharWidth();
    }
    return {width + 2 * textMargin(option), metrics.height()};
}
