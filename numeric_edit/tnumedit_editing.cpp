// What a person feels in the field: entry, leaving, typing and Enter.
#include "tnumedit.h"

#include <QFocusEvent>
#include <QKeyEvent>

void TNumEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
}

void TNumEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
}

void TNumEdit::keyPressEvent(QKeyEvent *event)
{
    QLineEdit::keyPressEvent(event);
}

void TNumEdit::keyReleaseEvent(QKeyEvent *event)
{
    QLineEdit::keyReleaseEvent(event);
}

void TNumEdit::HandleEnter() {}
void TNumEdit::HandleExit() {}
void TNumEdit::HandleKeyPress(QChar &) {}
void TNumEdit::HandleKeyDown(int &, Qt::KeyboardModifiers) {}
void TNumEdit::HandleKeyUp(int &, Qt::KeyboardModifiers) {}
void TNumEdit::Commit() {}
