// Number formatting in the widget: the occasions on which it formats and the order in which it
// reports bad input. (The formatting rules themselves are in test_number_format.cpp.)
#include "fixed_settings.h"
#include "num_core.h"

#include <numedit/form_reading_scope.h>
#include <numedit/tnumedit.h>

#include <QApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace
{

class NumberFormatWidget : public FixedSettingsTest
{
protected:
    // Restores a control the way a stored form does: mask, kind and text in stored order
    // while loading, FormatOnCreate (stored later) only when set, then the loading-finished
    // hook. ClearOnErr false equals its stored default and is not stored.
    static std::unique_ptr<TNumEdit> restore(const char *mask, TNumEdit::TNumType kind,
                                             const char *text, bool formatOnCreate,
                                             bool designing = false)
    {
        tk::FormReadingScope scope;
        auto e = std::make_unique<TNumEdit>();
        e->setDesigning(designing);
        e->setNumMask(QString::fromUtf8(mask));
        e->setNumType(kind);
        e->setText(QString::fromUtf8(text));
        if (formatOnCreate)
            e->setFormatOnCreate(true);
        scope.finish();
        return e;
    }

    static QColor baseOf(const TNumEdit &e) { return e.palette().color(QPalette::Base); }
};

TEST_F(NumberFormatWidget, NumMaskSetterAnalysesBeforeUpperCasing)
{
    TNumEdit e;
    const struct {
        const char *mask;
        const char *stored;
        TNumEdit::TNumType kind;
    } rows[] = {
        {"dd-mm-yyyy", "DD-MM-YYYY", TNumEdit::ntInt},
        {"d.m.y", "D.M.Y", TNumEdit::ntDate},
        {"<0.009", "<0.009", TNumEdit::ntFloat},
        {"x\xC3\xA9", "X\xC3\xA9", TNumEdit::ntInt}, // only a to z change
    };
    for (const auto &row : rows) {
        e.QLineEdit::setText(QStringLiteral("7"));
        e.setNumMask(QString::fromUtf8(row.mask));
        EXPECT_EQ(e.numMask(), QString::fromUtf8(row.stored)) << row.mask;
        EXPECT_EQ(e.numType(), row.kind) << row.mask;
        EXPECT_TRUE(e.clearOnErr()) << row.mask;
        EXPECT_TRUE(e.text().isEmpty()) << row.mask; // a new mask empties the text
    }
}

TEST_F(NumberFormatWidget, RunTimeKindChangeKeepsMaskAndText)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    const numcore::MaskInfo info = e.maskInfo();
    e.QLineEdit::setText(QStringLiteral("5"));
    e.setNumType(TNumEdit::ntFloat);
    EXPECT_EQ(e.numMask(), QStringLiteral("<0"));
    EXPECT_EQ(e.maskInfo(), info);
    EXPECT_EQ(e.text(), QStringLiteral("5"));
    e.setText(QStringLiteral("3.7"));
    EXPECT_EQ(e.text(), QStringLiteral("3."));
}

TEST_F(NumberFormatWidget, EmptiedMaskKeepsTheDigitCounts)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("000"));
    e.setNumMask(QString());
    EXPECT_EQ(e.numType(), TNumEdit::ntNone);
    EXPECT_FALSE(e.clearOnErr());
    e.setNumType(TNumEdit::ntInt);
    e.setText(QStringLiteral("5"));
    EXPECT_EQ(e.text(), QStringLiteral("005"));
}

TEST_F(NumberFormatWidget, TextSetterFormatsOnlyALiveControl)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0.009"));
    e.setText(QStringLiteral("3"));
    EXPECT_EQ(e.text(), QStringLiteral("3.00"));
    e.setText(QString());
    EXPECT_EQ(e.text(), QString()); // the empty text needs FormatOnCreate
    e.setFormatOnCreate(true);
    e.setText(QString());
    EXPECT_EQ(e.text(), QStringLiteral("0.00"));
    e.setNumMask(QStringLiteral("<0")); // its emptied text goes through the Text setter too
    EXPECT_EQ(e.text(), QStringLiteral("0"));

    e.setDesigning(true);
    e.setText(QStringLiteral("12.7"));
    EXPECT_EQ(e.text(), QStringLiteral("12.7"));
}

TEST_F(NumberFormatWidget, DesignTimeKindGivesTheDefaultMaskAndFormatsIt)
{
    TNumEdit e;
    e.setDesigning(true);
    const struct {
        TNumEdit::TNumType kind;
        const char *mask;
        const char *text;
    } rows[] = {
        {TNumEdit::ntInt, "<0", "0"}, {TNumEdit::ntFloat, "<0.009", "0.00"},
        {TNumEdit::ntNone, "", ""},   {TNumEdit::ntInt, "<0", "0"},
        {TNumEdit::ntInt, "<0", "0"}, // the same kind again still resets the text
    };
    for (const auto &row : rows) {
        e.QLineEdit::setText(QStringLiteral("77"));
        e.setNumType(row.kind);
        EXPECT_EQ(e.numType(), row.kind);
        EXPECT_EQ(e.numMask(), QString::fromUtf8(row.mask));
        EXPECT_EQ(e.text(), QString::fromUtf8(row.text)) << row.mask;
    }
    e.setNumType(TNumEdit::ntDate);
    EXPECT_EQ(e.numMask(), QStringLiteral("D.M.Y"));
    EXPECT_EQ(e.numType(), TNumEdit::ntDate);

    e.setNumMask(QStringLiteral("000")); // a mask typed in the designer formats as well
    EXPECT_EQ(e.text(), QStringLiteral("000"));

    e.setNoFormatOnEmpty(true);
    e.setNumType(TNumEdit::ntInt);
    EXPECT_EQ(e.text(), QString());
}

TEST_F(NumberFormatWidget, LoadingKeepsTheStoredTextUnlessFormatOnCreate)
{
    auto kept = restore("<0", TNumEdit::ntInt, "12.7", false);
    EXPECT_EQ(kept->componentState(), 0u);
    EXPECT_EQ(kept->text(), QStringLiteral("12.7"));
    EXPECT_TRUE(kept->clearOnErr()); // the non-empty mask sets it again

    auto formatted = restore("<0", TNumEdit::ntInt, "12.7", true);
    EXPECT_EQ(formatted->text(), QStringLiteral("12"));
    EXPECT_EQ(restore("<0.009", TNumEdit::ntFloat, "", true)->text(), QStringLiteral("0.00"));

    // The stored kind wins over the analysed one, and the mask stays the stored one.
    auto kind = restore("<0", TNumEdit::ntFloat, "3.7", true);
    EXPECT_EQ(kind->numType(), TNumEdit::ntFloat);
    EXPECT_EQ(kind->numMask(), QStringLiteral("<0"));
    EXPECT_EQ(kind->text(), QStringLiteral("3."));

    // In a form designer the stored mask survives the kind, and nothing formats.
    auto designed = restore("<0.00", TNumEdit::ntFloat, "1.5", true, true);
    EXPECT_EQ(designed->numMask(), QStringLiteral("<0.00"));
    EXPECT_EQ(designed->text(), QStringLiteral("1.5"));
}

TEST_F(NumberFormatWidget, EdErrorSeesTheRejectedTextInTheNormalColour)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    int calls = 0;
    QString seenText;
    TColor seenColor = 0;
    QColor seenBase;
    QObject::connect(&e, &TNumEdit::edError, [&](TNumEdit *sender) {
        EXPECT_EQ(sender, &e);
        ++calls;
        seenText = sender->text();
        seenColor = sender->color();
        seenBase = baseOf(*sender);
    });
    const QColor windowBase = QApplication::palette().color(QPalette::Base);

    e.setText(QStringLiteral("12a"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seenText, QStringLiteral("12a"));
    EXPECT_EQ(seenColor, clWindow);
    EXPECT_EQ(seenBase, windowBase);
    EXPECT_EQ(e.text(), QString());
    EXPECT_EQ(e.color(), clRed);
    EXPECT_EQ(baseOf(e), QColor(Qt::red));
    EXPECT_EQ(e.normalColor(), clWindow); // the error colour is shown, not stored

    // The colour goes back to normal before the next handler runs.
    e.setText(QStringLiteral("x"));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(seenText, QStringLiteral("x"));
    EXPECT_EQ(seenColor, clWindow);
    EXPECT_EQ(e.color(), clRed);

    e.setText(QStringLiteral("5"));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(e.text(), QStringLiteral("5"));
    EXPECT_EQ(e.color(), clWindow);
    EXPECT_EQ(baseOf(e), windowBase);

    e.setClearOnErr(false);
    e.setText(QStringLiteral("12a"));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(e.text(), QStringLiteral("12a"));
    EXPECT_EQ(e.color(), clWindow);
}

TEST_F(NumberFormatWidget, NoFormatOnEmptyKeepsTheErrorColour)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    e.setText(QStringLiteral("bad"));
    ASSERT_EQ(e.color(), clRed);
    e.setNoFormatOnEmpty(true);
    e.setFormatOnCreate(true);
    e.setText(QString());
    EXPECT_EQ(e.text(), QString());
    EXPECT_EQ(e.color(), clRed);
    e.Reformat();
    EXPECT_EQ(e.color(), clRed);
    e.setText(QStringLiteral("4"));
    EXPECT_EQ(e.color(), clWindow);
}

TEST_F(NumberFormatWidget, IntegerFieldShowsTheIntermediateText)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    QSignalSpy spy(&e, &QLineEdit::textChanged);
    e.setText(QStringLiteral("-12.7"));
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("-12.7"));
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("12"));
    EXPECT_EQ(spy.at(2).at(0).toString(), QStringLiteral("-12"));
}

TEST_F(NumberFormatWidget, SetValueFormatsOrRejectsTheGeneralText)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0.009"));
    QSignalSpy errors(&e, &TNumEdit::edError);
    e.SetValue(20010);
    EXPECT_EQ(e.text(), QStringLiteral("20010.00"));
    e.SetValue(0.05);
    EXPECT_EQ(e.text(), QStringLiteral("0.05"));
    EXPECT_EQ(errors.count(), 0);
    e.SetValue(1e20); // "1E20" holds a letter
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(e.text(), QString());
    EXPECT_EQ(e.color(), clRed);
}

} // namespace
