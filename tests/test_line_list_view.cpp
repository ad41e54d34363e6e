// The line list's own layout and drawing: rows found where they are drawn, the newest line
// scrolled into view, keys and clicks choosing rows, at a few lines and at a million; long
// lines drawn in part but looking whole; characters that would hide or act drawn as marks.
#include "line_delegate.h"
#include "line_list_view.h"
#include "line_model.h"
#include "line_store.h"

#include <QApplication>
#include <QIdentityProxyModel>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStringListModel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace
{

struct Case {
    const char *name;
    QAbstractItemView::ScrollMode mode;
    int lines;
};

void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

class LineListViewTest : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        view.setModel(&model);
        view.setVerticalScrollMode(GetParam().mode);
        view.resize(300, 200);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void append(int lines)
    {
        for (int i = 0; i < lines; ++i) {
            const std::string text = "line " + std::to_string(store.count());
            store.append(text, {});
        }
        model.apply(store.snapshot());
    }

    // What the window does after new lines: the newest is current and scrolled into view.
    void showNewest()
    {
        const QModelIndex newest = model.index(model.rowCount() - 1);
        view.setCurrentIndex(newest);
        view.scrollTo(newest);
    }

    QModelIndex row(int r) const { return model.index(r); }

    LineStore store;
    LineModel model;
    LineListView view;
};

TEST_P(LineListViewTest, NewestLineIsShownAndRowsAreFoundWhereTheyAreDrawn)
{
    append(GetParam().lines);
    showNewest();
    const int last = model.rowCount() - 1;
    const QRect shown = view.viewport()->rect();
    EXPECT_TRUE(shown.contains(view.visualRect(row(last)))) << view.visualRect(row(last)).y();
    EXPECT_EQ(view.indexAt(view.visualRect(row(last)).center()), row(last));
    // The row above the newest sits right above it; rows long scrolled away are off screen.
    EXPECT_EQ(view.visualRect(row(last - 1)).bottom() + 1, view.visualRect(row(last)).top());
    if (last > 100) {
        EXPECT_LT(view.visualRect(row(0)).bottom(), 0);
        EXPECT_LT(view.visualRect(row(last - 100)).bottom(), 0);
    }
    // Below the last row there is nothing to hit.
    const QPoint belowLast(5, view.visualRect(row(last)).bottom() + 2);
    if (shown.contains(belowLast)) {
        EXPECT_FALSE(view.indexAt(belowLast).isValid());
    }

    // More lines: the newest is in view again, also after the list grew past a page.
    append(50);
    showNewest();
    EXPECT_TRUE(shown.contains(view.visualRect(row(model.rowCount() - 1))));
}

TEST_P(LineListViewTest, KeysMoveTheCurrentRowWithinTheList)
{
    append(GetParam().lines);
    showNewest();
    const int last = model.rowCount() - 1;
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(view.currentIndex().row(), last);
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.currentIndex().row(), last - 1);
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(view.currentIndex().row(), 0);
    EXPECT_TRUE(view.viewport()->rect().contains(view.visualRect(row(0))));
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(view.currentIndex().row(), 0);
    QTest::keyClick(&view, Qt::Key_PageDown);
    const int page = view.currentIndex().row();
    EXPECT_GT(page, 1);
    EXPECT_TRUE(view.viewport()->rect().contains(view.visualRect(row(page))));
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(view.currentIndex().row(), last);
}

TEST_P(LineListViewTest, ClickingARowSelectsIt)
{
    append(GetParam().lines);
    showNewest();
    const int target = model.rowCount() - 3;
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(row(target)).center());
    EXPECT_EQ(view.currentIndex().row(), target);
    ASSERT_EQ(view.selectionModel()->selectedIndexes().size(), 1);
    EXPECT_EQ(view.selectionModel()->selectedIndexes().first().row(), target);
}

TEST_P(LineListViewTest, AClearLeavesNoScrollRangeBehind)
{
    append(GetParam().lines);
    showNewest();
    store.clear();
    model.apply(store.snapshot());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    append(3);
    showNewest();
    EXPECT_EQ(view.visualRect(row(0)).top(), 0);
    EXPECT_EQ(view.indexAt(view.visualRect(row(2)).center()), row(2));
}

// Typing in the list must not make Qt search every row for the typed letters: at a million
// long lines that read each row's text and froze the window for seconds a key.
TEST_P(LineListViewTest, TypingReadsOnlyTheRowsShown)
{
    struct CountingModel : QIdentityProxyModel {
        mutable int reads = 0;
        QVariant data(const QModelIndex &index, int role) const override
        {
            if (role == Qt::DisplayRole)
                ++reads;
            return QIdentityProxyModel::data(index, role);
        }
    } counting;
    counting.setSourceModel(&model);
    view.setModel(&counting);
    append(GetParam().lines);
    const QModelIndex first = counting.index(0, 0);
    view.setCurrentIndex(first);
    QCoreApplication::processEvents();
    counting.reads = 0;
    QTest::keyClicks(&view, QStringLiteral("line 3"));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.currentIndex().row(), 0);
    EXPECT_LT(counting.reads, 200);
}

const Case kCases[] = {
    {"PerItemFewLines", QAbstractItemView::ScrollPerItem, 5},
    {"PerItemManyLines", QAbstractItemView::ScrollPerItem, 1000000},
    {"PerPixelFewLines", QAbstractItemView::ScrollPerPixel, 5},
    {"PerPixelManyLines", QAbstractItemView::ScrollPerPixel, 1000000},
};

INSTANTIATE_TEST_SUITE_P(Modes, LineListViewTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The horizontal scroll range reaches the end of every line shown, however its width is
// spread over its characters.
TEST(LineListViewWidth, TheEndOfEveryLongLineCanBeScrolledIntoView)
{
    const auto times = [](const char *piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += piece;
        return text;
    };
    const struct {
        const char *what;
        std::string bytes;
    } rows[] = {
        {"narrow start, wide rest", times("i", 128) + times("W", 1460) + "<<END>>"},
        {"zero-width start", times("\xe2\x80\x8b", 128) + times("W", 1205)},
        {"wide start, narrow rest", times("W", 128) + times("i", 1460) + "<<END>>"},
        {"emoji and marks", times("\xf0\x9f\x98\x80", 200) + times("e\xcc\x81", 400)},
        {"right to left", times("\xd7\xa9\xd7\x9c", 400) + "<<END>>"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        LineStore store;
        LineModel model;
        LineListView view;
        view.setModel(&model);
        view.resize(400, 200);
        store.append(row.bytes, {});
        model.apply(store.snapshot());
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(20); // the scroll range follows the first paint
        const QString text = model.lineText(0);
        const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        const int needed = margin + QFontMetrics(view.font()).horizontalAdvance(text);
        const QScrollBar *bar = view.horizontalScrollBar();
        EXPECT_GE(bar->maximum() + view.viewport()->width(), needed);
    }
}

} // namespace

namespace
{

// The delegate draws a long line only as far as it can be seen; the visible part must look
// exactly as if the whole line had been drawn.
struct LongLine {
    const char *name;
    QString text;
    int left; // where the row starts: below 0 when scrolled to the right
};

void PrintTo(const LongLine &c, std::ostream *out)
{
    *out << c.name;
}

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

QStyleOptionViewItem rowOption(int left)
{
    QStyleOptionViewItem option;
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    option.font = QApplication::font();
    option.fontMetrics = QFontMetrics(option.font);
    option.palette = QApplication::palette();
    option.rect = QRect(left, 0, 1000000, option.fontMetrics.height());
    return option;
}

// A row of text as the delegate draws it into an image of the given width.
QImage drawnByDelegate(const QString &text, int left, int width = 400)
{
    QStringListModel model({text});
    LineDelegate delegate;
    const QStyleOptionViewItem option = rowOption(left);
    QImage image = blank(width, option.rect.height());
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0));
    return image;
}

// The same text drawn whole by QPainter, where the delegate starts its text.
QImage drawnPlain(const QString &text, int left, int width = 400)
{
    const QStyleOptionViewItem option = rowOption(left);
    QImage image = blank(width, option.rect.height());
    QPainter painter(&image);
    painter.setFont(option.font);
    painter.setPen(option.palette.color(QPalette::Normal, QPalette::Text));
    const int margin = QApplication::style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
    painter.drawText(QPoint(left + margin, option.fontMetrics.ascent()), text);
    return image;
}

// The columns from x on that hold something other than the background.
int inkedColumns(const QImage &image, int from = 0)
{
    int count = 0;
    for (int x = from; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 200) {
                ++count;
                break;
            }
    return count;
}

int rightmostInk(const QImage &image)
{
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 200)
                return x;
    return -1;
}

QString repeated(const QString &piece, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += piece;
    return text;
}

QString text16(const char16_t *text)
{
    return QStringView(text).toString();
}

class LineDelegateTest : public ::testing::TestWithParam<LongLine>
{
};

TEST_P(LineDelegateTest, DrawsTheVisiblePartOfALongLineAsTheWholeLineWouldLook)
{
    const LongLine &c = GetParam();
    EXPECT_EQ(drawnByDelegate(c.text, c.left), drawnPlain(c.text, c.left));
}

const LongLine kLongLines[] = {
    {"Ascii", repeated(QStringLiteral("abcdefghij0123456789 "), 70), 0},
    {"AsciiScrolledRight", repeated(QStringLiteral("abcdefghij0123456789 "), 70), -3000},
    {"WideLetters", repeated(QStringLiteral("WM"), 700), 0},
    {"NarrowLettersNeedALongerCut", repeated(QStringLiteral("il."), 500), 0},
    {"SurrogatePairsAndMarks", repeated(QString::fromUtf8("e\xcc\x81\xf0\x9f\x98\x80x"), 400), 0},
    {"RightToLeft", repeated(QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d "), 300), 0},
};

INSTANTIATE_TEST_SUITE_P(Lines, LineDelegateTest, ::testing::ValuesIn(kLongLines),
                         [](const auto &info) { return std::string(info.param.name); });

// Lines with marks: drawn into a narrow image, the delegate stops early; drawn into one wide
// enough for the whole line, it does not. What both show must be the same.
class MarkedLineTest : public ::testing::TestWithParam<LongLine>
{
};

TEST_P(MarkedLineTest, DrawsTheVisiblePartAsTheWholeLineWouldLook)
{
    const LongLine &c = GetParam();
    const QImage whole = drawnByDelegate(c.text, c.left, 24000);
    ASSERT_LT(rightmostInk(whole), whole.width() - 100) << "the image is too narrow for the line";
    EXPECT_EQ(drawnByDelegate(c.text, c.left), whole.copy(0, 0, 400, whole.height()));
}

const QString kHebrewWord = text16(u"\u05E9\u05DC\u05D5\u05DD");

const LongLine kMarkedLines[] = {
    {"SeparatorsInALongLine",
     text16(u"abc\u2028") + QString(300, QLatin1Char('x')) + text16(u"\u2029") +
         QString(100, QLatin1Char('y')),
     0},
    {"MarksThroughout", repeated(text16(u"ab\u200Bc\u202Ed"), 150), 0},
    {"MarksThroughoutScrolledRight", repeated(text16(u"ab\u200Bc\u202Ed"), 150), -3000},
    {"LongTextBetweenMarks", repeated(QString(300, QLatin1Char('x')) + QChar(0xFEFF), 4), 0},
    {"LongTextBetweenMarksScrolledRight",
     repeated(QString(300, QLatin1Char('x')) + QChar(0xFEFF), 4), -2500},
    {"RightToLeftWithMarks", repeated(kHebrewWord + text16(u"\u200F "), 100), 0},
};

INSTANTIATE_TEST_SUITE_P(Lines, MarkedLineTest, ::testing::ValuesIn(kMarkedLines),
                         [](const auto &info) { return std::string(info.param.name); });

// What would draw nothing, reorder its neighbours or end the line shows as a mark: the row
// never looks like the text without it.
TEST(LineDelegateMarks, NeverLookLikeTheTextWithoutThem)
{
    const struct {
        const char *what;
        QString text;
        QString lookalike;
    } rows[] = {
        {"RLO does not reverse", text16(u"abc\u202Edef"), QStringLiteral("abcfed")},
        {"RLO does not vanish", text16(u"abc\u202Edef"), QStringLiteral("abcdef")},
        {"zero-width space", text16(u"a\u200Bb"), QStringLiteral("ab")},
        {"LRM", text16(u"a\u200Eb"), QStringLiteral("ab")},
        {"RLM", text16(u"a\u200Fb"), QStringLiteral("ab")},
        {"word joiner", text16(u"a\u2060b"), QStringLiteral("ab")},
        {"BOM", text16(u"\uFEFFab"), QStringLiteral("ab")},
        {"soft hyphen", text16(u"a\u00ADb"), QStringLiteral("ab")},
        {"a line separator in a short line", text16(u"ab\u2028c"), QStringLiteral("abc")},
    };
    for (const auto &row : rows)
        EXPECT_NE(drawnByDelegate(row.text, 0), drawnByDelegate(row.lookalike, 0)) << row.what;

    // Everything after a separator in a long line is drawn: the x's reach the right edge.
    const QImage separated =
        drawnByDelegate(text16(u"abc\u2028") + QString(300, QLatin1Char('x')), 0);
    EXPECT_GT(inkedColumns(separated, 350), 25);
}

// Right-to-left text, and the joiners that scripts and emoji need, draw as plain text does.
TEST(LineDelegateMarks, LeaveTextThatNeedsItsJoinersAlone)
{
    const struct {
        const char *what;
        QString text;
    } rows[] = {
        {"Hebrew", kHebrewWord + QStringLiteral(" ") + text16(u"\u05E2\u05D5\u05DC\u05DD")},
        {"Persian with ZWNJ", text16(u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645")},
        {"Devanagari half form", text16(u"\u0915\u094D\u200D\u0937")},
        {"family emoji", text16(u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466")},
        {"rainbow flag", text16(u"\U0001F3F3\uFE0F\u200D\U0001F308")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(drawnByDelegate(row.text, 0), drawnPlain(row.text, 0)) << row.what;
}

// The row is as wide as what is drawn, marks included, also when they come late in a long
// line (the scroll range follows the widest row).
TEST(LineDelegateMarks, CountInTheRowWidth)
{
    const QString lines[] = {
        text16(u"a\u200Bb\u200Bc\u202E"),
        QString(130, QLatin1Char('x')) + repeated(text16(u"\u200B"), 200),
        repeated(text16(u"\u2028"), 400),
        repeated(QStringLiteral("ab") + QChar(0xAD), 300),
    };
    LineDelegate delegate;
    const QStyleOptionViewItem option = rowOption(0);
    for (const QString &text : lines) {
        QStringListModel model({text});
        const QImage whole = drawnByDelegate(text, 0, 24000);
        const int ink = rightmostInk(whole);
        ASSERT_LT(ink, whole.width() - 100);
        const int hint = delegate.sizeHint(option, model.index(0)).width();
        EXPECT_GT(hint, ink) << text.size() << " characters";
        EXPECT_LT(hint, ink + ink / 8 + 60) << text.size() << " characters";
    }
}

} // namespace
