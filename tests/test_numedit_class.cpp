#include "clock.h"
#include "component.h"
#include "date_value.h"
#include "fixed_settings.h"
#include "num_value_source.h"
#include "probe_num_edit.h"
#include "regional.h"
#include "ui_form_fixture.h"

#include <numedit/exception.h>
#include <numedit/tedspeedbutton.h>
#include <numedit/tnumedit.h>

#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

namespace
{

class NumEditTest : public FixedSettingsTest
{
protected:
    // Puts a text in place without formatting it, as a user's typing would.
    static void type(TNumEdit &e, const char *text)
    {
        e.QLineEdit::setText(QString::fromUtf8(text));
    }
};

TEST_F(NumEditTest, ConstructionGivesTheDocumentedState)
{
    TNumEdit e;
    EXPECT_EQ(e.parentWidget(), nullptr);
    EXPECT_EQ(e.numType(), TNumEdit::ntNone);
    EXPECT_TRUE(e.numMask().isEmpty());
    EXPECT_TRUE(e.text().isEmpty());
    EXPECT_FALSE(e.clearOnErr());
    EXPECT_EQ(e.errorColor(), clRed);
    EXPECT_EQ(e.color(), clWindow);
    EXPECT_EQ(e.normalColor(), clWindow);
    EXPECT_EQ(e.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    EXPECT_TRUE(e.tabStop());
    ASSERT_NE(e.TitleLabel(), nullptr);
    ASSERT_NE(e.EllipsisButton(), nullptr);
    EXPECT_EQ(e.TitleLabel()->parentWidget(), nullptr);
    EXPECT_EQ(e.EllipsisButton()->parentWidget(), nullptr);
    EXPECT_EQ(e.EllipsisButton()->OwnerEdit(), &e);
    EXPECT_EQ(e.EllipsisButton()->focusPolicy(), Qt::NoFocus);
}

TEST_F(NumEditTest, DestructionTakesTheCompanionsAlong)
{
    QWidget parent;
    auto *e = new TNumEdit(&parent);
    EXPECT_EQ(e->parentWidget(), &parent);
    e->setTitle(QStringLiteral("Port"));
    e->setElipsis(true);
    QPointer<QLabel> label = e->TitleLabel();
    QPointer<TEdSpeedButton> button = e->EllipsisButton();
    delete e;
    EXPECT_TRUE(label.isNull());
    EXPECT_TRUE(button.isNull());

    // A parent destroyed first takes the companions itself; the control must not free them again.
    auto *parent2 = new QWidget;
    auto *e2 = new TNumEdit(parent2);
    e2->setTitle(QStringLiteral("Cycle"));
    delete parent2;
}

TEST_F(NumEditTest, GetValueReadsTheTextAsItsKind)
{
    TNumEdit e;
    const struct {
        const char *mask;
        const char *text;
        double value;
    } rows[] = {
        {"", "12", 0}, // ntNone never looks at the text
        {"<0", "", 0},
        {"<0", "20010", 20010},
        {"<0", " 5", 5},
        {"<0", "-5", -5},
        {"<0", "$10", 16},
        {"<0.00", "", 0},
        {"<0.00", "3.5", 3.5},
        {"<0.00", "-.25", -0.25},
        {"D.M.Y", "", 0},
        {"D.M.Y", "1.1.2000", 36526},
        {"D.M.Y", "1.1", tk::encodeDate(2025, 1, 1)},
        {"D.M.Y", "5.3.24", tk::encodeDate(2024, 3, 5)},
    };
    for (const auto &row : rows) {
        e.setNumMask(QString::fromUtf8(row.mask));
        type(e, row.text);
        EXPECT_DOUBLE_EQ(e.GetValue(), row.value) << row.mask << " " << row.text;
        // The value another thread reads without an exception is the same.
        EXPECT_DOUBLE_EQ(e.valueSource()->valueOrNaN(), row.value) << row.mask << " " << row.text;
    }
}

TEST_F(NumEditTest, GetValueFailsWithTheConversionMessage)
{
    TNumEdit e;
    const struct {
        const char *mask;
        const char *text;
        const char *message;
    } rows[] = {
        {"<0", "5 ", "'5 ' is not a valid integer value"},
        {"<0", "   ", "'   ' is not a valid integer value"},
        {"<0.00", "3,5", "'3,5' is not a valid floating point value"},
        {"<0.00", " ", "' ' is not a valid floating point value"},
        {"D.M.Y", "31.2.2000", "'31.2.2000' is not a valid date"},
    };
    for (const auto &row : rows) {
        e.setNumMask(QString::fromUtf8(row.mask));
        type(e, row.text);
        try {
            e.GetValue();
            ADD_FAILURE() << row.text << " converted";
        } catch (const tk::EConvertError &error) {
            EXPECT_EQ(error.message(), row.message);
        }
        EXPECT_EQ(e.text(), QString::fromUtf8(row.text)); // the control keeps its text
        EXPECT_TRUE(std::isnan(e.valueSource()->valueOrNaN())) << row.text;
    }
    // A new kind reads the same text afresh.
    e.setNumMask(QStringLiteral("<0"));
    type(e, "12");
    e.setNumMask(QStringLiteral("<0.00"));
    type(e, "12");
    e.setNumType(TNumEdit::ntNone);
    EXPECT_EQ(e.valueSource()->valueOrNaN(), 0);
    e.setNumType(TNumEdit::ntInt);
    EXPECT_EQ(e.valueSource()->valueOrNaN(), 12);
}

TEST_F(NumEditTest, GetValueFromAnotherThreadSeesWholeTexts)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    type(e, "1");
    auto source = e.valueSource();
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        while (!stop.load()) {
            for (const double v : {source->value(), source->valueOrNaN()})
                if (v != 1 && v != 22222)
                    ++bad;
        }
    });
    for (int i = 0; i < 20000; ++i)
        type(e, i % 2 ? "1" : "22222");
    stop = true;
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

// The GUI thread reads the text itself, and the copy for other threads follows every change
// of the text, also one made while the field's signals are blocked.
TEST_F(NumEditTest, ValueFollowsEveryChangeOfTheText)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("<0"));
    e.setText(QStringLiteral("7"));
    QLineEdit &base = e;
    const struct {
        const char *name;
        std::function<void()> change;
        double value;
    } changes[] = {
        {"Text setter", [&] { e.setText(QStringLiteral("42")); }, 42},
        {"QLineEdit::setText", [&] { base.setText(QStringLiteral("43")); }, 43},
        {"insert", [&] { e.insert(QStringLiteral("1")); }, 431},
        {"undo", [&] { e.undo(); }, 43},
        {"clear", [&] { e.clear(); }, 0},
    };
    for (const auto &change : changes) {
        SCOPED_TRACE(change.name);
        QSignalBlocker blocked(&e);
        change.change();
        EXPECT_EQ(e.GetValue(), change.value);
        EXPECT_EQ(e.valueSource()->value(), change.value);
    }

    // A textEdited handler sees the value of the text it is told about, not the one before.
    std::vector<double> seen;
    QObject::connect(&e, &QLineEdit::textEdited, [&] { seen.push_back(e.GetValue()); });
    QTest::keyClicks(&e, QStringLiteral("42"));
    EXPECT_EQ(seen, (std::vector<double>{4, 42}));
}

TEST_F(NumEditTest, ValueSourceOutlivesTheControl)
{
    std::shared_ptr<const NumValueSource> source;
    {
        TNumEdit e;
        e.setNumMask(QStringLiteral("<0"));
        type(e, "42");
        source = e.valueSource();
    }
    EXPECT_EQ(source->value(), 42);
}

TEST_F(NumEditTest, SetValueWritesTheGeneralNumberText)
{
    TNumEdit e;
    type(e, "keep");
    e.SetValue(20010);
    EXPECT_EQ(e.text(), QStringLiteral("keep")); // ntNone: nothing changes
    e.setNumMask(QStringLiteral("<0"));
    e.SetValue(20010);
    EXPECT_EQ(e.text(), QStringLiteral("20010"));
}

TEST_F(NumEditTest, ValueAsSqlLiteral)
{
    TNumEdit e;
    const struct {
        const char *mask;
        const char *text;
        const char *literal;
    } rows[] = {
        {"<0", "", "NULL"},      {"", "", "NULL"},
        {"<0", "12", "12"},      {"<0.00", "1.50", "1.50"},
        {"<0", "  ", "  "},      {"", "abc", "'abc'"},
        {"", "  ", "'  '"},      {"D.M.Y", "5.3.2024", "'5.3.2024'"},
        {"", "it's", "'it''s'"}, {"", "'; DROP TABLE t; --", "'''; DROP TABLE t; --'"},
    };
    for (const auto &row : rows) {
        e.setNumMask(QString::fromUtf8(row.mask));
        type(e, row.text);
        EXPECT_EQ(e.ValueAsSqlLiteral(), QString::fromUtf8(row.literal)) << row.text;
    }
}

TEST_F(NumEditTest, ClearOnErrNeedsAMask)
{
    TNumEdit e;
    e.setClearOnErr(true);
    EXPECT_FALSE(e.clearOnErr());
    e.setNumMask(QStringLiteral("<0"));
    EXPECT_TRUE(e.clearOnErr()); // every mask sets it anew
    e.setClearOnErr(false);
    EXPECT_FALSE(e.clearOnErr());
    e.setNumMask(QString());
    EXPECT_FALSE(e.clearOnErr());
}

TEST_F(NumEditTest, ColorSetterKeepsNormalColor)
{
    TNumEdit e;
    e.setColor(clWhite);
    EXPECT_EQ(e.color(), clWhite);
    EXPECT_EQ(e.normalColor(), clWhite);
    EXPECT_EQ(e.palette().color(QPalette::Base), QColor(255, 255, 255));
    e.setColor(0x0000FF00); // RGB with red in the low byte
    EXPECT_EQ(e.palette().color(QPalette::Base), QColor(0, 255, 0));
}

TEST_F(NumEditTest, ShowingAnotherColourStopsFollowingTheParent)
{
    QWidget parent;
    TNumEdit e(&parent);
    e.setNumMask(QStringLiteral("<0"));
    e.setParentColor(true);
    e.setColor(e.color()); // the same colour: still following
    EXPECT_TRUE(e.parentColor());
    e.setText(QStringLiteral("12a")); // rejected: painted in the error colour
    EXPECT_EQ(e.color(), clRed);
    EXPECT_FALSE(e.parentColor());
    e.setParentColor(true);
    e.setColor(clWhite);
    EXPECT_FALSE(e.parentColor());
}

TEST_F(NumEditTest, SetTagReachesTheButton)
{
    TNumEdit e;
    e.SetTag(7);
    EXPECT_EQ(e.GetTag(), 7);
    EXPECT_EQ(e.EllipsisButton()->tag(), 7);
    // The stored property is the same tag.
    EXPECT_EQ(e.property("Tag"), QVariant(7));
    e.setProperty("Tag", 9);
    EXPECT_EQ(e.GetTag(), 9);
    EXPECT_EQ(e.EllipsisButton()->tag(), 9);
}

// A stored form applies the focus policy (perhaps chosen in Designer) before TabStop: the
// policy comes back as chosen, and TabStop false takes only the Tab part away.
TEST_F(NumEditTest, TabStopAndFocusPolicyDoNotFight)
{
    const struct {
        Qt::FocusPolicy stored;
        bool tabStop;
        Qt::FocusPolicy loaded;
    } forms[] = {
        {Qt::NoFocus, true, Qt::NoFocus},       {Qt::TabFocus, true, Qt::TabFocus},
        {Qt::ClickFocus, true, Qt::ClickFocus}, {Qt::StrongFocus, true, Qt::StrongFocus},
        {Qt::WheelFocus, true, Qt::WheelFocus}, {Qt::StrongFocus, false, Qt::ClickFocus},
        {Qt::TabFocus, false, Qt::NoFocus},     {Qt::NoFocus, false, Qt::NoFocus},
    };
    for (const auto &form : forms) {
        SCOPED_TRACE(std::to_string(form.stored) + (form.tabStop ? " TabStop" : " no TabStop"));
        std::unique_ptr<TNumEdit> e;
        {
            tk::FormReadingScope reading;
            e = std::make_unique<TNumEdit>();
            e->setFocusPolicy(form.stored);
            e->setTabStop(form.tabStop);
        }
        EXPECT_EQ(e->focusPolicy(), form.loaded);
        EXPECT_EQ(e->tabStop(), form.tabStop);
    }

    // Written by a program, TabStop adds or takes away the Tab part.
    TNumEdit e;
    EXPECT_TRUE(e.tabStop());
    e.setTabStop(false);
    EXPECT_EQ(e.focusPolicy(), Qt::ClickFocus);
    e.setTabStop(true);
    EXPECT_EQ(e.focusPolicy(), Qt::StrongFocus);
    e.setFocusPolicy(Qt::NoFocus);
    e.setTabStop(true);
    EXPECT_EQ(e.focusPolicy(), Qt::TabFocus);
}

TEST_F(NumEditTest, StoredFormAppliesPropertiesInOrderWhileLoading)
{
    QWidget form;
    Ui::FormFixture ui;
    {
        tk::FormReadingScope scope;
        ui.setupUi(&form);
        EXPECT_EQ(ui.field->finishLoadingCalls, 0);
    }
    const unsigned loadingReading = tk::csLoading | tk::csReading;
    std::vector<std::string> order;
    for (const auto &call : ui.field->calls) {
        order.push_back(call.property);
        EXPECT_EQ(call.state, loadingReading) << call.property;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"NumMask", "NumType", "Text", "ClearOnErr",
                                               "ErrorColor", "Color", "Title", "Visible"}));
    EXPECT_EQ(ui.field->finishLoadingCalls, 1);
    EXPECT_EQ(ui.field->stateAtFinish, unsigned(tk::csLoading));
    EXPECT_EQ(ui.field->componentState(), 0u);
    EXPECT_EQ(ui.field->text(), QStringLiteral("20010")); // stored text kept as stored
    EXPECT_EQ(ui.field->numType(), TNumEdit::ntInt);
    EXPECT_TRUE(ui.field->clearOnErr());
    EXPECT_EQ(ui.field->color(), clWindow);
    EXPECT_EQ(ui.field->GetValue(), 20010);
    EXPECT_EQ(ui.field->TitleLabel()->parentWidget(), &form);
}

} // namespace
