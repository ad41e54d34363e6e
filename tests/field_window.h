#pragma once

// A shown, active window with a TNumEdit above a plain line edit, which has the focus. Error
// boxes are recorded instead of shown. Tests are run in the locale and on the date of
// FixedSettingsTest.
#include "fixed_settings.h"
#include "message_box.h"

#include <numedit/tnumedit.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

class FieldWindowTest : public FixedSettingsTest
{
protected:
    void SetUp() override
    {
        FixedSettingsTest::SetUp();
        // A failing value read must not open a modal box in a test.
        tk::setRecordMessageBoxes(true);
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        field = new TNumEdit(window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(field);
        layout->addWidget(other);
        window->show();
        activate(window.get());
        other->setFocus(Qt::OtherFocusReason);
    }

    void TearDown() override
    {
        window.reset(); // while boxes are still recorded
        tk::takeRecordedBoxes();
        tk::setRecordMessageBoxes(false);
        FixedSettingsTest::TearDown();
    }

    static void activate(QWidget *w)
    {
        w->activateWindow();
        QApplication::setActiveWindow(w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }

    std::unique_ptr<QWidget> window;
    TNumEdit *field = nullptr;
    QLineEdit *other = nullptr;
};
