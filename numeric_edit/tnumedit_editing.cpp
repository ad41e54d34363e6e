// What a person feels in the field: entry, leaving, typing and Enter.
#include "tnumedit.h"

#include "conversions.h"
#include "regional.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace
{

constexpr QChar enterChar = u'\r';

// Qt also moves the focus out and back in when the window deactivates, a popup or context
// menu opens, or a message box appears. That is not the user leaving or entering the field:
// treating it so would commit a half-typed "5*", renew the entry state behind the user's
// back, and let a failing value read loop box, focus, box.
bool isTransientFocusChange(Qt::FocusReason reason)
{
    return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
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

// The characters a key press types. A key held with Ctrl, Alt or Meta is a command, not
// typing: Ctrl+A must still select all, although Qt may send it with the text "a".
QString typedText(const QKeyEvent *event)
{
    if (isEnterKey(event->key()))
        return QString(enterChar);
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return QString();
    return event->text();
}

} // namespace

// Qt's own focus handling (cursor, selection, input method) runs first in both directions:
// the widget is sound even when reading the value fails and the error escapes to the
// application, and an entered, exited or edited handler that moves the focus does not have
// Qt's bookkeeping run after it. Qt's editingFinished therefore still sees the text as typed.
// The focus coming back after a deactivation or a popup is no new entry, but the first focus a
// field gets with its window's activation is one: the field tracks whether it was entered.
void TNumEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (!m_entered) {
        m_entered = true;
        HandleEnter();
    }
}

void TNumEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (m_entered && !isTransientFocusChange(event->reason())) {
        m_entered = false;
        HandleExit();
    }
}

void TNumEdit::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    HandleKeyDown(key, event->modifiers());
    if (key == 0) { // a keyDown handler took the key
        event->accept();
        return;
    }

    const QString typed = typedText(event);
    if (typed.isEmpty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QString kept;
    for (QChar c : typed) {
        HandleKeyPress(c);
        if (!c.isNull())
            kept += c;
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

void TNumEdit::keyReleaseEvent(QKeyEvent *event)
{
    int key = event->key();
    HandleKeyUp(key, event->modifiers());
    if (key == 0) {
        event->accept();
        return;
    }
    QLineEdit::keyReleaseEvent(event);
}

void TNumEdit::HandleEnter()
{
    m_oldText = text();
    m_entryText = m_oldText;
    setDisplayedColor(m_normalColor); // the user starts over: no error colour while typing
    m_entryValue = GetValue();        // may throw; the entry then ends here
    m_valueChanged = false;
    emit entered(this);
}

void TNumEdit::HandleExit()
{
    Commit();
    emit exited(this); // sees the evaluated, formatted text
    if (text() != m_entryText)
        emit edited(this, m_oldText);
}

void TNumEdit::HandleKeyPress(QChar &key)
{
    const bool checked = m_numType == ntDate || m_numType == ntInt || m_numType == ntFloat;
    if (checked && isAsciiLetter(key))
        key = QChar();
    // The text is the one before this key: Enter in an empty field only passes on.
    if (checked && key == enterChar && !text().isEmpty()) {
        Commit();
        if (text() != m_entryText)
            emit edited(this, m_oldText);
        selectAll();
    }
    emit keyPressed(this, key);
}

void TNumEdit::HandleKeyDown(int &key, Qt::KeyboardModifiers shift)
{
    emit keyDown(this, key, shift);
}

void TNumEdit::HandleKeyUp(int &key, Qt::KeyboardModifiers shift)
{
    emit keyUp(this, key, shift);
}

void TNumEdit::Commit()
{
    if ((m_numType == ntInt || m_numType == ntFloat) && !text().isEmpty()) {
        const double result = numcore::EvaluateExpression(text().toStdString());
        // Through the base edit: formatting follows once, as a step of its own.
        QLineEdit::setText(QString::fromStdString(
            tk::floatToGeneralText(result, tk::regionalSettings().decimalSeparator)));
    }
    Reformat();
    if (GetValue() != m_entryValue)
        m_valueChanged = true; // only the next entry clears it
}
