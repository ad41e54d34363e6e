// The control in programs of its own users: a plain QApplication (see host_main.cpp), forms
// built by uic and QUiLoader, an application palette that changes under it.
#include "field_window.h"
#include "fixed_settings.h"
#include "message_box.h"

#include <numedit/exception.h>
#include <numedit/tnumedit.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

// Error boxes are recorded; boxes() takes their texts.
class HostWindow : public FieldWindowTest
{
protected:
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> texts;
        for (const tk::RecordedBox &box : tk::takeRecordedBoxes())
            texts.push_back(box.text.toStdString());
        return texts;
    }
};

// A text that cannot be read ends the step that needs its value and is shown with the
// standard error display; the program goes on. Reading the value directly still throws.
TEST_F(HostWindow, UnreadableTextInTheFieldsHandlersIsShownNotFatal)
{
    enum Step { clickIn, pressEnter, tabOut };
    const struct {
        const char *name;
        const char *mask;
        const char *text;
        Step step;
        const char *message;
    } rows[] = {
        {"clicking into the field", "<0", "12abc", clickIn,
         "'12abc' is not a valid integer value."},
        // Dates are not evaluated first, so a date that does not exist reaches the value test.
        {"Enter", "D.M.Y", "31.2.2000", pressEnter, "'31.2.2000' is not a valid date."},
        {"leaving the field", "D.M.Y", "31.2.2000", tabOut, "'31.2.2000' is not a valid date."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        field->setNumMask(QString::fromUtf8(row.mask));
        field->setClearOnErr(false);
        std::vector<std::string> events;
        QObject::connect(field, &TNumEdit::exited, field, [&] { events.push_back("exited"); });
        QObject::connect(field, &TNumEdit::edited, field, [&] { events.push_back("edited"); });
        if (row.step == clickIn) {
            field->QLineEdit::setText(QString::fromUtf8(row.text));
            QTest::mouseClick(field, Qt::LeftButton);
        } else {
            field->setFocus(Qt::TabFocusReason);
            field->QLineEdit::setText(QString::fromUtf8(row.text));
            QTest::keyClick(field, row.step == pressEnter ? Qt::Key_Return : Qt::Key_Tab);
        }
        EXPECT_EQ(boxes(), std::vector<std::string>{row.message});
        EXPECT_EQ(events, std::vector<std::string>{});
        EXPECT_EQ(field->text().toStdString(), row.text);
        EXPECT_EQ(field->hasFocus(), row.step != tabOut);
        EXPECT_THROW(field->GetValue(), tk::EConvertError);

        QObject::disconnect(field, nullptr, field, nullptr);
        field->QLineEdit::setText(QString());
        other->setFocus(Qt::TabFocusReason);
        boxes();
    }
}

// A palette changed under the control: the application's, a palette for the QLineEdit class,
// a container's. Restored after each test.
class PaletteChange : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = QApplication::palette();
        auto *layout = new QVBoxLayout(&window);
        container = new QWidget(&window);
        auto *inside = new QVBoxLayout(container);
        field = new TNumEdit(container);
        plain = new QLineEdit(container);
        inside->addWidget(field);
        inside->addWidget(plain);
        layout->addWidget(container);
        plain->setFocus(); // entering the field would drop an error colour
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void TearDown() override
    {
        QApplication::setPalette(saved); // also drops palettes set for classes
        QApplication::processEvents();
    }

    static QPalette darkPalette()
    {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        dark.setColor(QPalette::Button, QColor(0x40, 0x40, 0x40));
        return dark;
    }

    static QColor base(const QWidget *w) { return w->palette().color(QPalette::Base); }
    static QColor shownBy(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

    QPalette saved;
    QWidget window;
    QWidget *container = nullptr;
    TNumEdit *field = nullptr;
    QLineEdit *plain = nullptr;
};

// A field in a system colour shows what a plain line edit beside it shows, whatever palette
// changes; its Color stays the system colour.
TEST_F(PaletteChange, SystemColourFollowsLikeAPlainLineEdit)
{
    const struct {
        const char *name;
        std::function<void()> change;
    } changes[] = {
        {"application palette", [] { QApplication::setPalette(darkPalette()); }},
        {"palette of the QLineEdit class",
         [] { QApplication::setPalette(darkPalette(), "QLineEdit"); }},
        {"container's palette", [this] { container->setPalette(darkPalette()); }},
    };
    for (const auto &change : changes) {
        SCOPED_TRACE(change.name);
        field->setNumMask(QStringLiteral("<0"));
        field->setText(QStringLiteral("12a")); // the error colour first, then back to normal
        field->setText(QStringLiteral("5"));
        change.change();
        QApplication::processEvents();
        EXPECT_EQ(base(plain), darkPalette().color(QPalette::Base));
        EXPECT_EQ(base(field), base(plain));
        EXPECT_EQ(field->palette().color(QPalette::Text), plain->palette().color(QPalette::Text));
        EXPECT_EQ(field->color(), clWindow);
        TearDown();
        container->setPalette(QPalette());
        QApplication::processEvents();
    }
}

// An RGB colour, the error colour and a background that the program gave the field through
// its palette stay as set; another system colour follows its role.
TEST_F(PaletteChange, ExplicitColoursStaySystemColoursFollow)
{
    auto *rgb = new TNumEdit(container);
    rgb->setColor(0x00FF8000); // red in the low byte
    auto *face = new TNumEdit(container);
    face->setColor(clBtnFace);
    auto *own = new TNumEdit(container);
    QPalette green = own->palette();
    green.setColor(QPalette::Base, Qt::darkGreen);
    own->setPalette(green);
    field->setNumMask(QStringLiteral("<0"));
    field->setText(QStringLiteral("12a"));
    ASSERT_EQ(field->color(), clRed);
    QApplication::setPalette(darkPalette());
    QApplication::processEvents();
    EXPECT_EQ(base(rgb), QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(base(field), QColor(Qt::red));
    EXPECT_EQ(base(face), darkPalette().color(QPalette::Button));
    EXPECT_EQ(face->color(), clBtnFace);
    EXPECT_EQ(base(own), QColor(Qt::darkGreen));
}

// ParentColor shows the parent's background and keeps following it; Color tells what is shown.
TEST_F(PaletteChange, ParentColorFollowsTheParent)
{
    field->setNumMask(QStringLiteral("<0"));
    field->setParentColor(true);
    const QColor background = container->palette().color(container->backgroundRole());
    EXPECT_EQ(base(field), background);
    EXPECT_EQ(shownBy(field->color()), background);

    field->setText(
        QStringLiteral("5")); // formatting restores the normal colour: still the parent's
    QPalette blue = container->palette();
    blue.setColor(QPalette::Window, QColor(0x10, 0x20, 0x80));
    container->setPalette(blue);
    QApplication::processEvents();
    EXPECT_TRUE(field->parentColor());
    EXPECT_EQ(base(field), QColor(0x10, 0x20, 0x80));
    EXPECT_EQ(shownBy(field->color()), QColor(0x10, 0x20, 0x80));

    field->setColor(field->color()); // the colour shown: still following
    EXPECT_TRUE(field->parentColor());
    field->setColor(clWindow); // another colour ends it
    EXPECT_FALSE(field->parentColor());
    EXPECT_EQ(base(field), base(plain));
}

} // namespace
