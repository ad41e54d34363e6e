#include "line_delegate.h"

#include "line_display.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <list>

namespace
{

// Text runs up to this length are drawn and measured whole. A longer one is drawn only as
// far as it can be seen, and its width is the sum of its characters' widths, each measured
// once per font: shaping all 1600 characters of every new row made a frame of long lines cost
// 12 ms. (Estimating from the first characters hid the end of a line that starts narrow.)
constexpr int kWholeChars = 256;

// A mark's box: padding inside the frame, and a gap either side of it.
constexpr int kMarkPadding = 2;
constexpr int kMarkGap = 1;

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
// characters than the whole text does.
bool hasRightToLeft(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x0590)
            continue;
        switch (c.direction()) {
        case QChar::DirR:
        case QChar::DirAL:
            return true;
        default:
            break;
        }
    }
    return false;
}

// A cut that keeps surrogate pairs and a character's combining marks together.
qsizetype cutAt(QStringView text, qsizetype n)
{
    while (n < text.size() && (text.at(n).isLowSurrogate() || text.at(n).isMark()))
        ++n;
    return n;
}

// Text laid out on one line. Should Qt break it anywhere all the same, the lines after the
// first are placed behind it on the same baseline, so no character is left out.
class OneLine
{
public:
    OneLine(const QString &text, const QFont &font, QPaintDevice *device)
        : m_layout(text, font, device)
    {
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        m_layout.setTextOption(option);
        m_layout.beginLayout();
        while (m_layout.createLine().isValid()) {
        }
        m_layout.endLayout();
        for (int i = 0; i < m_layout.lineCount(); ++i)
            m_ascent = std::max(m_ascent, m_layout.lineAt(i).ascent());
        for (int i = 0; i < m_layout.lineCount(); ++i) {
            QTextLine line = m_layout.lineAt(i);
            line.setPosition(QPointF(m_width, m_ascent - line.ascent()));
            m_width += line.naturalTextWidth();
        }
    }

    qreal width() const { return m_width; }
    void draw(QPainter *painter, qreal x, qreal baseline) const
    {
        m_layout.draw(painter, QPointF(x, baseline - m_ascent));
    }

private:
    QTextLayout m_layout;
    qreal m_width = 0;
    qreal m_ascent = 0;
};

// Draws text with its left end at x; returns its width, or as much of it as was drawn when
// it reaches past right. The last text of a row needs no width: QPainter draws it faster.
qreal drawText(QPainter *painter, const QFont &font, const QFontMetrics &metrics,
               const QString &text, qreal x, qreal baseline, qreal right, bool last)
{
    if (text.size() <= kWholeChars || hasRightToLeft(text)) {
        if (last) {
            painter->drawText(QPointF(x, baseline), text);
            return 0;
        }
        const OneLine whole(text, font, painter->device());
        whole.draw(painter, x, baseline);
        return whole.width();
    }
    // Shape a prefix that reaches past the right edge, longer ones until one does.
    const qreal needed = right - x;
    qsizetype n =
        qsizetype(std::max<qreal>(needed, 0) / std::max(1, metrics.averageCharWidth())) * 5 / 4 + 8;
    for (;;) {
        n = cutAt(text, std::min(n, text.size()));
        const OneLine prefix(n == text.size() ? text : text.left(n), font, painter->device());
        if (n == text.size() || prefix.width() > needed) {
            prefix.draw(painter, x, baseline);
            return prefix.width();
        }
        n += n / 2;
    }
}

QColor markColour(const QPalette &palette, QPalette::ColorGroup group, bool selected)
{
    if (selected)
        return palette.color(group, QPalette::HighlightedText);
    // A raspberry that reads apart from the text on light and on dark backgrounds.
    return palette.color(group, QPalette::Base).lightness() < 128 ? QColor(0xFF, 0x8A, 0xC8)
                                                                  : QColor(0xB0, 0x1C, 0x6E);
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

// The look of the marks for one row font: a smaller font, and each label shaped once.
class LineDelegate::Marks
{
public:
    explicit Marks(const QFont &rowFont) : m_rowFont(rowFont), m_font(rowFont), m_metrics(rowFont)
    {
        if (rowFont.pointSizeF() > 0)
            m_font.setPointSizeF(rowFont.pointSizeF() * 0.75);
        else
            m_font.setPixelSize(std::max(6, rowFont.pixelSize() * 3 / 4));
        m_font.setBold(false);
        m_font.setItalic(false);
        m_metrics = QFontMetrics(m_font);
    }

    // The font of the rows these marks are for.
    const QFont &rowFont() const { return m_rowFont; }

    // The room a mark takes in the row.
    int advance(char32_t c) { return label(c).width + 2 * (kMarkPadding + 1 + kMarkGap); }

    void draw(QPainter *painter, char32_t c, int x, const QRect &row, const QColor &colour)
    {
        const Label &l = label(c);
        const int height = std::min(row.height(), m_metrics.height() + 2);
        // Filled, not stroked: a frame then looks the same wherever the row is clipped.
        const QRect box(x + kMarkGap, row.top() + (row.height() - height) / 2,
                        l.width + 2 * (kMarkPadding + 1), height);
        QColor fill = colour;
        fill.setAlpha(36);
        painter->fillRect(box.adjusted(1, 1, -1, -1), fill);
        painter->fillRect(QRect(box.left(), box.top(), box.width(), 1), colour);
        painter->fillRect(QRect(box.left(), box.bottom(), box.width(), 1), colour);
        painter->fillRect(QRect(box.left(), box.top() + 1, 1, box.height() - 2), colour);
        painter->fillRect(QRect(box.right(), box.top() + 1, 1, box.height() - 2), colour);
        painter->setFont(m_font);
        painter->setPen(colour);
        painter->drawStaticText(box.left() + 1 + kMarkPadding,
                                box.top() + (box.height() - m_metrics.height()) / 2, l.text);
    }

private:
    struct Label {
        QStaticText text;
        int width = 0;
    };

    const Label &label(char32_t c)
    {
        auto found = m_labels.find(c);
        if (found == m_labels.end()) {
            const QString name = markLabel(c);
            Label l;
            l.text.setText(name);
            l.text.setTextFormat(Qt::PlainText);
            l.text.prepare(QTransform(), m_font);
            l.width = m_metrics.horizontalAdvance(name);
            found = m_labels.insert(c, l);
        }
        return *found;
    }

    const QFont m_rowFont;
    QFont m_font;
    QFontMetrics m_metrics;
    QHash<char32_t, Label> m_labels;
};

LineDelegate::LineDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

LineDelegate::~LineDelegate() = default;

LineDelegate::Marks &LineDelegate::marks(const QFont &font) const
{
    if (!m_marks || m_marks->rowFont() != font)
        m_marks = std::make_unique<Marks>(font);
    return *m_marks;
}

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
    const int left = r.left() + textMargin(option);
    const int right =
        painter->device() ? std::min(r.right(), painter->device()->width()) : r.right();
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty() && left < right) {
        painter->save();
        const QPen textPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QColor markPen = markColour(option.palette, group, selected);
        const QFontMetrics &metrics = option.fontMetrics;
        const int baseline = r.top() + (r.height() - metrics.height()) / 2 + metrics.ascent();
        qreal x = left;
        const std::vector<DisplayRun> runs = displayRuns(text);
        for (const DisplayRun &run : runs) {
            if (x >= right)
                break;
            if (run.isMark) {
                Marks &m = marks(option.font);
                const int width = m.advance(run.character);
                if (x + width > 0)
                    m.draw(painter, run.character, qRound(x), r, markPen);
                x += width;
                continue;
            }
            painter->setFont(option.font);
            painter->setPen(textPen);
            const QString piece =
                run.length == text.size() ? text : text.mid(run.start, run.length);
            x += drawText(painter, option.font, metrics, piece, x, baseline, right,
                          &run == &runs.back());
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
    const std::vector<DisplayRun> runs = displayRuns(text);
    const auto piece = [&](qsizetype start, qsizetype length) {
        return length == text.size() ? text : text.mid(start, length);
    };
    // Measured as drawn, in fractions of a pixel: rounding each of many short runs would add
    // up to less than the drawing.
    const QFontMetricsF exact(option.font);
    qreal width = 0;
    qreal summed = 0; // long text runs, measured character by character
    for (const DisplayRun &run : runs) {
        if (run.isMark) {
            width += marks(option.font).advance(run.character);
            continue;
        }
        const QString runText = piece(run.start, run.length);
        if (run.length <= kWholeChars || hasRightToLeft(runText))
            width += exact.horizontalAdvance(runText);
        else
            summed += summedWidth(runText, option.font);
    }
    // Room to spare for what shaping changes: a scroll range a little too wide shows some
    // blank space, one too narrow would hide the line's end.
    if (summed > 0)
        width += summed + summed / 50 + 2 * metrics.averageCharWidth();
    const qint64 whole = qint64(std::ceil(std::min<qreal>(width, INT_MAX / 4)));
    return {int(whole) + 2 * textMargin(option), metrics.height()};
}
