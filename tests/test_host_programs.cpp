// The control in programs of its own users: a plain QApplication (see host_main.cpp), forms
// built by uic and QUiLoader, an application palette that changes under it.
#include "exception.h"
#include "fixed_settings.h"
#include "message_box.h"
#include "tnumedit.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

// A shown, active window with the field above a plain line edit; error boxes are recorded.
class HostWindow : public FixedSettingsTest
{
protected:
    void SetUp() override
    {
        FixedSettingsTest::SetUp();
        tk::setRecordMessageBoxes(true);
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        field = new TNumEdit(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(field);
        layout->addWidget(other);
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        other->setFocus(Qt::OtherFocusReason);
    }

    void TearDown() override
    {
        window.reset();
        tk::takeRecordedBoxes();
        tk::setRecordMessageBoxes(false);
        FixedSettingsTest::TearDown();
    }

    std::vector<std::string> boxes() const
    {
        std::vector<std::string> texts;
        for (const tk::RecordedBox &box : tk::takeRecordedBoxes())
            texts.push_back(box.text.toStdString());
        return texts;
    }

    std::unique_ptr<QWidget> window;
    TNumEdit *field = nullptr;
    QLineEdit *other = nullptr;
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

} // namespace
