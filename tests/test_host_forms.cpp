// Forms of a program that uses the control: compiled by uic and built the way the README
// shows, and loaded at run time with NumEditUiLoader. Both give the stored-form semantics.
#include "fixed_settings.h"
#include "ui_host_form.h"

#include <numedit/form_reading_scope.h>
#include <numedit/tedspeedbutton.h>
#include <numedit/tnumedit.h>

#include <QLabel>

#include <gtest/gtest.h>

#ifdef HOST_FORM_FILE
#include <numedit/num_edit_ui_loader.h>

#include <QFile>
#endif

#include <memory>

namespace
{

using HostForms = FixedSettingsTest;

// What the form stores comes back as stored, loading has ended, and the fields are live.
void expectStoredForm(QWidget *form)
{
    auto *price = form->findChild<TNumEdit *>(QStringLiteral("price"));
    auto *amount = form->findChild<TNumEdit *>(QStringLiteral("amount"));
    auto *code = form->findChild<TNumEdit *>(QStringLiteral("code"));
    ASSERT_TRUE(price && amount && code);
    for (const TNumEdit *field : {price, amount, code})
        EXPECT_EQ(field->componentState(), 0u) << field->objectName().toStdString();

    EXPECT_EQ(price->text(), QStringLiteral("12.5")); // as stored, not formatted
    EXPECT_EQ(price->TitleLabel()->parentWidget(), form);
    EXPECT_EQ(price->TitleLabel()->text(), QStringLiteral("Price"));
    EXPECT_EQ(amount->text(), QStringLiteral("7.00")); // FormatOnCreate
    EXPECT_EQ(code->focusPolicy(), Qt::NoFocus);       // as chosen in Designer
    EXPECT_EQ(code->GetTag(), 7);
    EXPECT_EQ(code->EllipsisButton()->tag(), 7);

    price->setText(QStringLiteral("3"));
    EXPECT_EQ(price->text(), QStringLiteral("3.00"));
}

TEST_F(HostForms, UicFormBuiltInAFormReadingScope)
{
    QWidget form;
    Ui::HostForm ui;
    {
        tk::FormReadingScope reading;
        ui.setupUi(&form);
    }
    expectStoredForm(&form);
}

#ifdef HOST_FORM_FILE
TEST_F(HostForms, NumEditUiLoaderEndsLoadingBeforeItReturns)
{
    QFile file(QStringLiteral(HOST_FORM_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    NumEditUiLoader loader;
    loader.clearPluginPaths(); // the fields are the program's own, never a plugin's
    std::unique_ptr<QWidget> form(loader.loadForm(&file));
    ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
    expectStoredForm(form.get());
}
#endif

} // namespace
