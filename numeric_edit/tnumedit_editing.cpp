// What a person feels in the field: entry, leaving, typing and Enter.
#include "tnumedit_p.h"

#include "conversions.h"
#include "message_box.h"
#include "regional.h"

#include <numedit/exception.h>

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenuBar>

namespace
{

constexpr QChar kEnterChar = u'\r';

// Qt also moves the focus out and back in when the window deactivates, a popup or context
// menu opens, or a message box appears. That is not the user leaving or entering the field:
// treating it so would commit a half-typed "5*", renew the entry state behind the user's
// back, and let a failing value read loop box, focus, box.
bool isTransientFocusChange(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
           reason == Qt::MenuBarFocusReason; // tapping Alt where the menu bar takes the keys
}

// Qt's event handling is not exception-safe, and the program around the field may run a plain
// QApplication without the toolkit's safety net. A failure in one of the field's own steps
// (a value that cannot be read, an event handler that throws) therefore ends that step here
// and is shown with the standard error display. False when the step failed.
template <typename Step> bool ranThrough(Step &&step)
{
    try {
        step();
        return true;
    } catch (const tk::Exception &error) {
        tk::showException(error);
        return false;
    }
}

// Only the 52 ASCII letters: accented letters and every other character still get through.
bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The characters a key press types: what a plain line edit would insert. Ctrl and
// Ctrl+Shift make shortcuts (Ctrl+A must still select all, although Qt may send it with the
// text "a"); a letter with Alt, Meta or AltGr (Ctrl+Alt on some systems) is typed.
QString typedText(const QKeyEvent *event)
{
    if (isEnterKey(event->key()))
        return QString(kEnterChar);
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return QString();
    return event->text();
}

} // namespace

// Qt's own focus handling (cursor, selection, input method) runs first in both directions:
// the widget is sound even when reading the value fails, and an entered, exited or edited
// handler that moves the focus does not have Qt's bookkeeping run after it. Qt's
// editingFinished therefore still sees the text as typed.
// The focus coming back after a deactivation, a popup or the menu bar is no new entry, but the
// first focus a field gets with its window's activation is one: the field tracks whether it
// was entered. A session that the user left in the meantime, by hiding the window or by a focus
// moved elsewhere while it was inactive, ends before anything else happens to the field.
void TNumEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (d->entered && d->hiddenWhileEntered)
        d->leaveField(); // the window was hidden and shown again: that session is over
    if (!d->entered)
        d->enterField();
}

void TNumEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (d->entered && !isTransientFocusChange(event->reason()))
        d->leaveField();
}

void TNumEdit::hideEvent(QHideEvent *event)
{
    QLineEdit::hideEvent(event);
    // Hidden by the program, not minimised. The leaving itself waits for the next focus: here
    // the window may be in its destructor, where no handler may run.
    if (d->entered && !event->spontaneous())
        d->hiddenWhileEntered = true;
}

void TNumEditPrivate::focusMoved(QWidget *now)
{
    // The focus went from a popup, the menu bar or another window to another control of this
    // window: the user left the field without a focus change of its own to tell it.
    if (entered && now && now != q && !q->hasFocus() && now->window() == q->window() &&
        !qobject_cast<QMenuBar *>(now))
        leaveField();
}

void TNumEditPrivate::enterField()
{
    entered = true;
    hiddenWhileEntered = false;
    ranThrough([this] { HandleEnter(); });
}

void TNumEditPrivate::leaveField()
{
    entered = false;
    hiddenWhileEntered = false;
    ranThrough([this] { HandleExit(); });
}

void TNumEdit::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    const QString typed = typedText(event);
    QString kept;
    const bool ran = ranThrough([&] {
        d->HandleKeyDown(key, event->modifiers());
        if (key == 0)
            return;
        for (QChar c : typed) {
            d->HandleKeyPress(c);
            if (!c.isNull())
                kept += c;
        }
    });
    // A keyDown handler took the key, or the key's step failed: the edit gets nothing, and
    // neither does the parent (a failed Enter must not press a dialog's default button).
    if (!ran || key == 0) {
        event->accept();
        return;
    }
    if (kept == typed) {
        QLineEdit::keyPressEvent(event);
    } else if (kept.isEmpty()) {
        event->accept(); // a swallowed character is dropped, not handed to the parent
    } else {
        // A keyPressed handler replaced the character: the edit types the new one instead.
        QKeyEvent replaced(event->type(), Qt::Key_unknown, event->modifiers(), kept,
                           event->isAutoRepeat(), static_cast<quint16>(event->count()));
        QLineEdit::keyPressEvent(&replaced);
        event->setAccepted(replaced.isAccepted());
    }
}

// An input method's committed text is typed text too: each character takes the same way as
// a typed one, and the edit gets what is left of it.
void TNumEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString typed = event->commitString();
    if (typed.isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QString kept;
    const bool ran = ranThrough([&] {
        for (QChar c : typed) {
            d->HandleKeyPress(c);
            if (!c.isNull())
                kept += c;
        }
    });
    if (!ran)
        kept.clear();
    if (kept == typed) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->setAccepted(filtered.isAccepted());
}

void TNumEdit::keyReleaseEvent(QKeyEvent *event)
{
    int key = event->key();
    if (!ranThrough([&] { d->HandleKeyUp(key, event->modifiers()); }) || key == 0) {
        event->accept();
        return;
    }
    QLineEdit::keyReleaseEvent(event);
}

void TNumEditPrivate::HandleEnter()
{
    oldText = q->text();
    entryText = oldText;
    restoreNormalColor();       // the user starts over: no error colour while typing
    entryValue = q->GetValue(); // may throw; the entry then ends here
    valueChanged = false;
    emit q->entered(q);
}

void TNumEditPrivate::HandleExit()
{
    commit();
    emit q->exited(q); // sees the evaluated, formatted text
    if (q->text() != entryText)
        emit q->edited(q, oldText);
}

void TNumEditPrivate::HandleKeyPress(QChar &key)
{
    const bool checked =
        numType == TNumEdit::ntDate || numType == TNumEdit::ntInt || numType == TNumEdit::ntFloat;
    if (checked && isAsciiLetter(key))
        key = QChar();
    // The text is the one before this key: Enter in an empty field only passes on.
    if (checked && key == kEnterChar && !q->text().isEmpty()) {
        commit();
        if (q->text() != entryText)
            emit q->edited(q, oldText);
        q->selectAll();
    }
    emit q->keyPressed(q, key);
}

void TNumEditPrivate::HandleKeyDown(int &key, Qt::KeyboardModifiers shift)
{
    emit q->keyDown(q, key, shift);
}

void TNumEditPrivate::HandleKeyUp(int &key, Qt::KeyboardModifiers shift)
{
    emit q->keyUp(q, key, shift);
}

void TNumEditPrivate::commit()
{
    if ((numType == TNumEdit::ntInt || numType == TNumEdit::ntFloat) && !q->text().isEmpty()) {
        const double result = numcore::EvaluateExpression(q->text().toStdString());
        // Through the base edit: formatting follows once, as a step of its own.
        q->QLineEdit::setText(QString::fromStdString(
            tk::floatToGeneralText(result, tk::regionalSettings().decimalSeparator)));
    }
    q->Reformat();
    if (q->GetValue() != entryValue)
        valueChanged = true; // only the next entry clears it
}
