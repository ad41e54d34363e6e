// A real TNumEdit in a shown, active window: focus moves between it and a plain line edit,
// keys arrive through Qt Test.
#include "clock.h"
#include "date_value.h"
#include "field_window.h"
#include "fixed_settings.h"
#include "message_box.h"
#include "regional.h"

#include <numedit/tnumedit.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace
{

class EditingTest : public FieldWindowTest
{
protected:
    void SetUp() override
    {
        FieldWindowTest::SetUp();
        ASSERT_TRUE(other->hasFocus());
        recordEvents();
    }

    void TearDown() override
    {
        const std::vector<tk::RecordedBox> boxes = tk::takeRecordedBoxes();
        EXPECT_TRUE(boxes.empty()) << "unexpected box: " << boxes.front().text.toStdString();
        FieldWindowTest::TearDown();
    }

    static void setDecimalSeparator(char separator) { useSettings(separator, "d.M.yyyy"); }

    // A field of the mask's kind holding text as if typed: no formatting yet.
    void prepare(const char *mask, const char *text = "")
    {
        field->setNumMask(QString::fromUtf8(mask));
        field->QLineEdit::setText(QString::fromUtf8(text));
    }

    void enter() { field->setFocus(Qt::TabFocusReason); }
    void leave() { other->setFocus(Qt::TabFocusReason); }
    void type(const char *keys) { QTest::keyClicks(field, QString::fromUtf8(keys)); }
    void pressEnter() { QTest::keyClick(field, Qt::Key_Return); }

    // The signals that matter here, in order, each with the text the handler saw.
    void recordEvents()
    {
        auto text = [this] { return field->text().toStdString(); };
        QObject::connect(field, &TNumEdit::entered, field,
                         [this, text](TNumEdit *) { m_events.push_back("entered " + text()); });
        QObject::connect(field, &TNumEdit::exited, field,
                         [this, text](TNumEdit *) { m_events.push_back("exited " + text()); });
        QObject::connect(field, &TNumEdit::edited, field,
                         [this, text](TNumEdit *, const QString &old) {
                             m_events.push_back("edited " + text() + " old " + old.toStdString());
                         });
    }
    std::vector<std::string> events() const { return m_events; }
    void clearEvents() { m_events.clear(); }

private:
    std::vector<std::string> m_events;
};

using Events = std::vector<std::string>;

TEST_F(EditingTest, TypedLettersAreSwallowedOnlyInNumberAndDateFields)
{
    struct Case {
        const char *mask;
        const char *expected;
        QString seenByKeyPressed; // what keyPressed handlers receive
    };
    const QString swallowed = QString::fromStdU16String(std::u16string(u"1\0"
                                                                       u"2\0",
                                                                       4));
    const Case cases[] = {
        {"<0", "12", swallowed},
        {"<0.009", "12", swallowed},
        {"D.M.Y", "12", swallowed},
        {"", "1a2B", QStringLiteral("1a2B")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        prepare(c.mask);
        QString seen;
        auto connection = QObject::connect(field, &TNumEdit::keyPressed,
                                           [&seen](TNumEdit *, QChar &key) { seen += key; });
        enter();
        type("1a2B");
        EXPECT_EQ(field->text().toStdString(), c.expected);
        EXPECT_EQ(seen, c.seenByKeyPressed);
        QObject::disconnect(connection);
        field->QLineEdit::setText(QString());
        leave();
    }
}

TEST_F(EditingTest, AccentedLettersAndControlCharactersPassInEveryKind)
{
    for (const char *mask : {"<0", "<0.009", "D.M.Y", ""}) {
        SCOPED_TRACE(mask);
        prepare(mask);
        enter();
        type("1");
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QStringLiteral("\u00e9\u00df"),
                            Qt::NoModifier);
        EXPECT_EQ(field->text(), QStringLiteral("1\u00e9\u00df"));
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(field->text(), QStringLiteral("1\u00e9"));
        field->QLineEdit::setText(QString());
        leave();
    }
}

TEST_F(EditingTest, ShortcutsWithLettersStillWork)
{
    prepare("<0", "123");
    enter();
    field->deselect();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("123"));
    EXPECT_EQ(field->selectedText(), QStringLiteral("123"));

    QApplication::clipboard()->setText(QStringLiteral("45"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), QStringLiteral("45"));
}

TEST_F(EditingTest, PastedTextIsNotFiltered)
{
    prepare("<0");
    enter();
    QApplication::clipboard()->setText(QStringLiteral("12abc"));
    field->paste();
    EXPECT_EQ(field->text(), QStringLiteral("12abc"));
    field->QLineEdit::setText(QString());
}

// Whatever types text is typing: a letter held with Alt or Meta, or with AltGr (Ctrl+Alt on
// some systems), lands in a plain line edit, so a number field swallows it. Only keys that
// type nothing there pass on as shortcuts.
TEST_F(EditingTest, LettersTypedWithModifiersAreSwallowedToo)
{
    const struct {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {
        {"Alt+a", Qt::Key_A, Qt::AltModifier},
        {"Meta+b", Qt::Key_B, Qt::MetaModifier},
        {"Ctrl+Alt+c", Qt::Key_C, Qt::ControlModifier | Qt::AltModifier},
        {"Shift+Alt+d", Qt::Key_D, Qt::ShiftModifier | Qt::AltModifier},
    };
    for (const auto &k : keys) {
        for (const char *mask : {"<0", ""}) {
            SCOPED_TRACE(std::string(k.name) + " in mask \"" + mask + "\"");
            QLineEdit plain; // what the key types in a plain line edit
            QTest::keyClick(&plain, k.key, k.modifiers);
            ASSERT_FALSE(plain.text().isEmpty());

            prepare(mask, "1");
            enter();
            field->end(false);
            QString seen;
            auto connection = QObject::connect(field, &TNumEdit::keyPressed,
                                               [&seen](TNumEdit *, QChar &key) { seen += key; });
            QTest::keyClick(field, k.key, k.modifiers);
            QObject::disconnect(connection);
            const bool number = *mask != 0;
            EXPECT_EQ(field->text().toStdString(), number ? "1" : "1" + plain.text().toStdString());
            EXPECT_EQ(seen, number ? QString(QChar()) : plain.text()); // the null character
            leave();
        }
    }
}

// Text from an input method is typed text as well: its letters are swallowed in number
// fields, the rest arrives as committed.
TEST_F(EditingTest, InputMethodTextFollowsTheLetterRule)
{
    for (const char *mask : {"<0", "D.M.Y", ""}) {
        SCOPED_TRACE(mask);
        prepare(mask);
        enter();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("1a2\u00e9B"));
        QApplication::sendEvent(field, &commit);
        EXPECT_EQ(field->text().toStdString(), *mask ? "12\u00e9" : "1a2\u00e9B");
        field->QLineEdit::setText(QString());
        leave();
    }
}

TEST_F(EditingTest, EnterInAnEmptyFieldOnlyPassesTheKeyOn)
{
    for (const char *mask : {"<0", "<0.009", "D.M.Y"}) {
        SCOPED_TRACE(mask);
        prepare(mask);
        QString seen;
        auto connection = QObject::connect(field, &TNumEdit::keyPressed,
                                           [&seen](TNumEdit *, QChar &key) { seen += key; });
        QSignalSpy returnPressed(field, &QLineEdit::returnPressed);
        enter();
        clearEvents();
        pressEnter();
        EXPECT_EQ(field->text(), QString()); // not formatted to 0 or today
        EXPECT_EQ(events(), Events{});
        EXPECT_EQ(seen, QStringLiteral("\r"));
        EXPECT_EQ(returnPressed.count(), 1);
        QObject::disconnect(connection);
        leave();
    }
}

// Enter in a number field: the expression's result replaces the text, then formatting.
struct EnterCase {
    const char *name;
    const char *mask;
    char separator; // regional decimal separator
    const char *typed;
    const char *expressionText; // the text right after the expression step
    const char *finalText;
    double value;
};

void PrintTo(const EnterCase &c, std::ostream *os)
{
    *os << c.name;
}

class EnterTest : public EditingTest, public ::testing::WithParamInterface<EnterCase>
{
};

TEST_P(EnterTest, EvaluatesFormatsAndSelectsTheText)
{
    const EnterCase &c = GetParam();
    setDecimalSeparator(c.separator);
    prepare(c.mask);
    enter();
    type(c.typed);
    QSignalSpy texts(field, &QLineEdit::textChanged);
    pressEnter();

    ASSERT_GE(texts.count(), 1);
    EXPECT_EQ(texts.at(0).at(0).toString().toStdString(), c.expressionText);
    EXPECT_EQ(field->text().toStdString(), c.finalText);
    EXPECT_EQ(field->GetValue(), c.value);
    EXPECT_EQ(field->selectedText(), field->text());
    EXPECT_EQ(field->valueChanged(), c.value != 0);
    Events expected = {"entered "};
    if (*c.finalText) // a rejected result leaves the text as it was at entry: empty
        expected.push_back("edited " + std::string(c.finalText) + " old ");
    EXPECT_EQ(events(), expected);
    EXPECT_TRUE(field->hasFocus());
}

const EnterCase enterCases[] = {
    {"IntegerProduct", "<0", '.', "5*4", "20", "20", 20},
    {"IntegerMaskCutsHalf", "<0", '.', "7/2", "3.5", "3", 3},
    {"DecimalThirdKeepsAllDigits", "<0.>", '.', "1/3", "0.333333333333333", "0.333333333333333",
     0.333333333333333},
    {"DecimalThirdCutToTheMask", "<0.009", '.', "1/3", "0.333333333333333", "0.333", 0.333},
    {"BinaryRoundingHidden", "<0.>", '.', "0.1+0.2", "0.3", "0.3", 0.3},
    {"CommaRegionTypedPoint", "<0,>", ',', "2.5*2", "5", "5", 5},
    {"CommaRegionResult", "<0,>", ',', "5/2", "2,5", "2,5", 2.5},
    {"ExponentFormIsRejected", "<0", '.', "1000000000000000", "1E15", "", 0},
    {"SmallExponentFormIsRejected", "<0.>", '.', "1/100000", "1E-5", "", 0},
};

INSTANTIATE_TEST_SUITE_P(Enter, EnterTest, ::testing::ValuesIn(enterCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(EditingTest, EnterAgainAndLeavingFireEditedWithTheSameOldText)
{
    prepare("<0", "7");
    enter();
    field->selectAll();
    type("5*4");
    pressEnter();
    pressEnter();
    leave();
    const Events expected = {"entered 7", "edited 20 old 7", "edited 20 old 7", "exited 20",
                             "edited 20 old 7"};
    EXPECT_EQ(events(), expected);
    EXPECT_EQ(field->entryText(), QStringLiteral("7"));
    EXPECT_EQ(field->oldText(), QStringLiteral("7"));
    EXPECT_EQ(field->entryValue(), 7);
    EXPECT_TRUE(field->valueChanged());
}

TEST_F(EditingTest, ATextBroughtBackFiresNoEditedButKeepsValueChanged)
{
    prepare("<0", "7");
    enter();
    field->selectAll();
    type("8");
    pressEnter();
    field->selectAll();
    type("7");
    leave();
    const Events expected = {"entered 7", "edited 8 old 7", "exited 7"};
    EXPECT_EQ(events(), expected);
    EXPECT_TRUE(field->valueChanged());

    enter();
    EXPECT_FALSE(field->valueChanged());
}

TEST_F(EditingTest, LeavingEvaluatesFormatsThenFiresExitedBeforeEdited)
{
    prepare("<0.009");
    enter();
    type("5/2");
    leave();
    const Events expected = {"entered ", "exited 2.50", "edited 2.50 old "};
    EXPECT_EQ(events(), expected);
    EXPECT_EQ(field->GetValue(), 2.5);
}

TEST_F(EditingTest, LeavingUnchangedFiresOnlyExited)
{
    prepare("<0", "42");
    enter();
    leave();
    const Events expected = {"entered 42", "exited 42"};
    EXPECT_EQ(events(), expected);
    EXPECT_FALSE(field->valueChanged());
}

TEST_F(EditingTest, PlainTextFieldIsNeverEvaluated)
{
    prepare("");
    enter();
    type("5*4");
    pressEnter();
    EXPECT_EQ(field->text(), QStringLiteral("5*4"));
    leave();
    const Events expected = {"entered ", "exited 5*4", "edited 5*4 old "};
    EXPECT_EQ(events(), expected);
}

TEST_F(EditingTest, EntryRemembersTheTextAndDropsTheErrorColour)
{
    prepare("<0");
    field->setText(QStringLiteral("12a")); // rejected: emptied and painted in the error colour
    ASSERT_EQ(field->color(), clRed);
    ASSERT_EQ(field->text(), QString());
    enter();
    EXPECT_EQ(field->color(), clWindow);
    EXPECT_EQ(field->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Base));

    leave();
    field->setText(QStringLiteral("42"));
    clearEvents();
    enter();
    EXPECT_EQ(field->entryText(), QStringLiteral("42"));
    EXPECT_EQ(field->oldText(), QStringLiteral("42"));
    EXPECT_EQ(field->entryValue(), 42);
    EXPECT_FALSE(field->valueChanged());
    EXPECT_EQ(events(), Events{"entered 42"});
}

TEST_F(EditingTest, WindowDeactivationDoesNotCommitAHalfTypedExpression)
{
    prepare("<0", "3");
    enter();
    field->selectAll();
    type("5*");

    QWidget elsewhere;
    elsewhere.show();
    activate(&elsewhere);
    EXPECT_FALSE(field->hasFocus());
    activate(window.get());
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("5*"));

    // A popup menu takes and returns the focus the same way.
    QMenu menu;
    menu.addAction(QStringLiteral("Item"));
    menu.popup(field->mapToGlobal(QPoint(0, 0)));
    QTest::qWait(20);
    menu.close();
    QTest::qWait(20);
    EXPECT_EQ(field->text(), QStringLiteral("5*"));

    type("4");
    leave();
    const Events expected = {"entered 3", "exited 20", "edited 20 old 3"};
    EXPECT_EQ(events(), expected);
}

TEST_F(EditingTest, TappingAltForTheMenuBarDoesNotCommit)
{
    auto *menuBar = new QMenuBar(window.get());
    menuBar->addMenu(QStringLiteral("File"));
    menuBar->show();
    prepare("<0", "3");
    enter();
    field->selectAll();
    type("5*");
    menuBar->setFocus(Qt::MenuBarFocusReason); // what tapping Alt does where menus take keys
    ASSERT_TRUE(menuBar->hasFocus());
    field->setFocus(Qt::MenuBarFocusReason); // and Esc hands the focus back
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), QStringLiteral("5*"));
    type("4");
    leave();
    const Events expected = {"entered 3", "exited 20", "edited 20 old 3"};
    EXPECT_EQ(events(), expected);
}

// A window hidden with the field focused and shown again, or the focus moved elsewhere while
// the window was inactive: the session ends with a proper leaving, and the next focus is a
// fresh entry.
TEST_F(EditingTest, FocusComingBackAfterHidingOrAMoveElsewhereIsAFreshEntry)
{
    prepare("<0", "3");
    enter();
    field->selectAll();
    type("7");
    window->hide();
    window->show();
    activate(window.get());
    ASSERT_TRUE(field->hasFocus());
    EXPECT_FALSE(field->valueChanged());
    field->selectAll();
    type("8");
    leave();
    Events expected = {"entered 3", "exited 7", "edited 7 old 3",
                       "entered 7", "exited 8", "edited 8 old 7"};
    EXPECT_EQ(events(), expected);

    clearEvents();
    enter();
    field->selectAll();
    type("9");
    QWidget elsewhere;
    elsewhere.show();
    activate(&elsewhere);
    other->setFocus(Qt::OtherFocusReason); // while the window is inactive
    activate(window.get());
    ASSERT_TRUE(other->hasFocus());
    expected = {"entered 8", "exited 9", "edited 9 old 8"};
    EXPECT_EQ(events(), expected);
    EXPECT_TRUE(field->valueChanged());
    enter();
    EXPECT_FALSE(field->valueChanged());
    EXPECT_EQ(field->oldText(), QStringLiteral("9"));
}

TEST_F(EditingTest, FocusFromTheWindowsFirstActivationIsAnEntry)
{
    prepare("<0", "3");
    QWidget elsewhere;
    elsewhere.show();
    activate(&elsewhere);
    field->setFocus(Qt::OtherFocusReason); // the inactive window's focus widget, no event yet
    activate(window.get());
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->entryText(), QStringLiteral("3"));
    leave();
    const Events expected = {"entered 3", "exited 3"}; // nothing edited
    EXPECT_EQ(events(), expected);
}

TEST_F(EditingTest, ValueReadFailureOnEntryShowsOneBoxAndKeepsTheText)
{
    struct Case {
        const char *mask;
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"<0", "12abc", "'12abc' is not a valid integer value."},
        {"<0.009", "1,5", "'1,5' is not a valid floating point value."},
        {"D.M.Y", "31.2.2000", "'31.2.2000' is not a valid date."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        prepare(c.mask, c.text);
        clearEvents();
        enter();
        const std::vector<tk::RecordedBox> boxes = tk::takeRecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.toStdString(), c.message);
        EXPECT_EQ(field->text().toStdString(), c.text);
        EXPECT_EQ(events(), Events{}); // no entered
        // Qt's own focus handling still ran: the field has the focus and Tab selected all.
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(field->selectedText(), field->text());

        field->QLineEdit::setText(QString());
        leave();
        tk::takeRecordedBoxes();
    }
}

TEST_F(EditingTest, ValueReadFailureOnLeavingStopsBeforeExited)
{
    // A date that cannot be read: no expression step for dates, so the read fails.
    prepare("D.M.Y", "1.1.2000");
    field->setClearOnErr(false);
    enter();
    field->QLineEdit::setText(QStringLiteral("31.2.2000"));
    leave();
    const std::vector<tk::RecordedBox> boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.toStdString(), "'31.2.2000' is not a valid date.");
    EXPECT_EQ(events(), Events{"entered 1.1.2000"});
    EXPECT_TRUE(other->hasFocus());
    field->QLineEdit::setText(QString());
}

TEST_F(EditingTest, KeyHandlersSeeAndCanChangeTheKey)
{
    prepare("");
    enter();
    std::vector<int> downs, ups;
    QObject::connect(field, &TNumEdit::keyDown,
                     [&downs](TNumEdit *, int &key, Qt::KeyboardModifiers) {
                         downs.push_back(key);
                         if (key == Qt::Key_Backspace)
                             key = 0; // takes the key: nothing is deleted
                     });
    QObject::connect(field, &TNumEdit::keyUp,
                     [&ups](TNumEdit *, int &key, Qt::KeyboardModifiers) { ups.push_back(key); });
    QObject::connect(field, &TNumEdit::keyPressed, [](TNumEdit *, QChar &key) {
        if (key == u'+')
            key = u'-';
    });
    type("5+3");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("5-3"));
    const std::vector<int> keys = {Qt::Key_5, Qt::Key_Plus, Qt::Key_3, Qt::Key_Backspace};
    EXPECT_EQ(downs, keys);
    EXPECT_EQ(ups, keys);
}

} // namespace
