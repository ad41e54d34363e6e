// The title label and the ellipsis button: companions that live in the control's parent and
// follow its position, size and visibility.
#include "tnumedit_p.h"

#include <QMoveEvent>
#include <QResizeEvent>

namespace
{
constexpr int TitleOffset = 14; // the label's top lies this far above the control's top
}

QString TNumEdit::title() const
{
    return d->titleLabel ? d->titleLabel->text() : QString();
}

QLabel *TNumEdit::TitleLabel() const
{
    return d->titleLabel;
}

TEdSpeedButton *TNumEdit::EllipsisButton() const
{
    return d->ellipsisButton;
}

// A companion goes into the field's parent, shown or hidden as the field is. Its parent would
// take it along when it goes, but the companions live exactly as long as the field: a parent
// that the field has left hands them back (without a parent) before it deletes its children,
// which a QWidget does after announcing its destruction.
void TNumEditPrivate::attachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch)
{
    QWidget *parent = q->parentWidget();
    if (companion->parentWidget() != parent) {
        companion->setParent(parent);
        QObject::disconnect(parentWatch);
        if (parent)
            parentWatch =
                connect(parent, &QObject::destroyed, q, [companion = QPointer(companion)] {
                    if (companion)
                        companion->setParent(nullptr);
                });
    }
    if (parent) // setParent() hid it; a companion without a parent would be a window
        companion->setVisible(!q->isHidden());
}

void TNumEditPrivate::detachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch)
{
    QObject::disconnect(parentWatch);
    companion->setParent(nullptr);
}

void TNumEditPrivate::attachLabel()
{
    if (!titleLabel)
        return;
    attachCompanion(titleLabel, labelParentWatch);
    titleLabel->adjustSize(); // a free label's default size would cover the field
    // The title names the field for screen readers, and a mnemonic in it focuses the field.
    titleLabel->setBuddy(q);
    titleLabel->move(q->x(), q->y() - TitleOffset);
}

void TNumEditPrivate::attachButton()
{
    if (!ellipsisButton)
        return;
    attachCompanion(ellipsisButton, buttonParentWatch);
    q->PlaceEllipsis(true, q->x(), q->y(), q->width(), q->height());
}

void TNumEdit::setTitle(const QString &title)
{
    if (!d->titleLabel)
        return;
    d->titleLabel->setText(title);
    if (title.isEmpty()) {
        d->detachCompanion(d->titleLabel, d->labelParentWatch);
        return;
    }
    d->attachLabel();
}

bool TNumEdit::elipsis() const
{
    return d->elipsis;
}

void TNumEdit::setElipsis(bool show)
{
    if (d->ellipsisButton) {
        if (show)
            d->attachButton();
        else
            d->detachCompanion(d->ellipsisButton, d->buttonParentWatch);
    }
    d->elipsis = show;
}

void TNumEdit::PlaceEllipsis(bool show, int left, int top, int width, int height)
{
    if (!show || !d->ellipsisButton)
        return;
    TEdSpeedButton *b = d->ellipsisButton;
    b->setGeometry(left + width + 1, top, height, height); // a square of the field's height
    b->setText(QStringLiteral("..."));
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
}

QString TNumEdit::elipsisHint() const
{
    return d->ellipsisButton ? d->ellipsisButton->toolTip() : QString();
}

void TNumEdit::setElipsisHint(const QString &hint)
{
    // An empty hint turns the button's hint off.
    if (d->ellipsisButton)
        d->ellipsisButton->setToolTip(hint);
}

void TNumEdit::setVisible(bool visible)
{
    QLineEdit::setVisible(visible);
    // A companion without a parent would become a window of its own: leave it alone.
    if (d->ellipsisButton && d->ellipsisButton->parentWidget())
        d->ellipsisButton->setVisible(visible);
    if (d->titleLabel && d->titleLabel->parentWidget())
        d->titleLabel->setVisible(visible);
}

void TNumEditPrivate::ChangeBounds(int left, int top, int width, int height)
{
    if (titleLabel && !titleLabel->text().isEmpty())
        titleLabel->move(left, top - TitleOffset);
    q->PlaceEllipsis(elipsis, left, top, width, height);
}

void TNumEdit::moveEvent(QMoveEvent *event)
{
    d->ChangeBounds(x(), y(), width(), height());
    QLineEdit::moveEvent(event);
}

void TNumEdit::resizeEvent(QResizeEvent *event)
{
    d->ChangeBounds(x(), y(), width(), height());
    QLineEdit::resizeEvent(event);
}
