// A program that uses the installed control with a plain QApplication, as the README shows,
// and has a clock.h and an exception.h of its own.
#include "clock.h"
#include "exception.h"

#include <numedit/exception.h>
#include <numedit/form_reading_scope.h>
#include <numedit/tnumedit.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

// Only the package's include/ is on the path, so none of its headers answers to a bare name
// that the program's own headers might have.
#if __has_include(<tnumedit.h>) || __has_include(<form_reading_scope.h>)
#error "the control's header folder itself is on the include path"
#endif

namespace
{

int fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "%s %s\n", what, qPrintable(detail));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The program's own headers are the ones its quoted includes found.
    try {
        throw host::Failure("the program's own exception");
    } catch (const host::Failure &) {
        if (host::ticksPerSecond() != 1000)
            return fail("another clock.h than the program's own");
    }

    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    TNumEdit *field = nullptr;
    {
        tk::FormReadingScope form; // as a form compiled by uic is built
        field = new TNumEdit(&window);
        field->setTitle(QStringLiteral("Amount"));
    }
    auto *other = new QLineEdit(&window);
    layout->addWidget(field);
    layout->addWidget(other);

    field->setNumMask(QStringLiteral("<0"));
    field->setText(QStringLiteral("7"));
    const double value = field->GetValue();
    if (value != 7)
        return fail("GetValue gave another value than 7 for the text", field->text());
    std::puts("GetValue gave 7");

    // A text that cannot be read: clicking into the field must show an error box, not end
    // the program. The box is closed as soon as it is up.
    field->setClearOnErr(false);
    field->setText(QStringLiteral("12abc"));
    QString shown;
    int boxes = 0;
    bool clicking = false;
    QTimer closer; // also closes a box that comes too early, so that nothing hangs
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++boxes;
            if (boxes == 1)
                shown = clicking ? box->text() : QStringLiteral("a box before the click");
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    other->setFocus(); // the window opens with the focus in the other field
    window.show();
    if (!QTest::qWaitForWindowActive(&window))
        return fail("the window did not become active");
    clicking = true;
    QTest::mouseClick(field, Qt::LeftButton);
    clicking = false;
    if (shown != QStringLiteral("'12abc' is not a valid integer value."))
        return fail("no error box, or another text in it:", shown);
    // Back in the window, the focus is where it was, and coming back is no new entry that
    // would show the box again.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return fail("the window did not become active again");
    if (!field->hasFocus() || field->text() != QStringLiteral("12abc"))
        return fail("the field lost its focus or its text:", field->text());
    if (boxes != 1)
        return fail("error boxes shown:", QString::number(boxes));
    try {
        field->GetValue();
        return fail("GetValue read the text", field->text());
    } catch (const tk::EConvertError &) {
        std::puts("clicking into an unreadable field showed its error; GetValue still throws");
    }
    return 0;
}
