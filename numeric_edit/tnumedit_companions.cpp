// The title label and the ellipsis button: companions that live in the control's parent and
// follow its position, size and visibility.
#include "tnumedit.h"

#include "tedspeedbutton.h"

#include <QLabel>
#include <QMoveEvent>
#include <QPointer>
#include <QResizeEvent>

namespace
{
constexpr int TitleOffset = 14; // the label's top lies this far above the control's top
}

QString TNumEdit::title() const
{
    return m_titleLabel ? m_titleLabel->text() : QString();
}

// A companion goes into the field's parent, shown or hidden as the field is. Its parent would
// take it along when it goes, but the companions live exactly as long as the field: a parent
// that the field has left hands them back (without a parent) before it deletes its children,
// which a QWidget does after announcing its destruction.
void TNumEdit::attachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch)
{
    QWidget *parent = parentWidget();
    if (companion->parentWidget() != parent) {
        companion->setParent(parent);
        disconnect(parentWatch);
        if (parent)
            parentWatch =
                connect(parent, &QObject::destroyed, this, [companion = QPointer(companion)] {
                    if (companion)
                        companion->setParent(nullptr);
                });
    }
    if (parent) // setParent() hid it; a companion without a parent would be a window
        companion->setVisible(!isHidden());
}

void TNumEdit::detachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch)
{
    disconnect(parentWatch);
    companion->setParent(nullptr);
}

void TNumEdit::attachLabel()
{
    if (!m_titleLabel)
        return;
    attachCompanion(m_titleLabel, m_labelParentWatch);
    m_titleLabel->adjustSize(); // a free label's default size would cover the field
    // The title names the field for screen readers, and a mnemonic in it focuses the field.
    m_titleLabel->setBuddy(this);
    m_titleLabel->move(x(), y() - TitleOffset);
}

void TNumEdit::attachButton()
{
    if (!m_ellipsisButton)
        return;
    attachCompanion(m_ellipsisButton, m_buttonParentWatch);
    PlaceEllipsis(true, x(), y(), width(), height());
}

void TNumEdit::setTitle(const QString &title)
{
    if (!m_titleLabel)
        return;
    m_titleLabel->setText(title);
    if (title.isEmpty()) {
        detachCompanion(m_titleLabel, m_labelParentWatch);
        return;
    }
    attachLabel();
}

void TNumEdit::setElipsis(bool show)
{
    if (m_ellipsisButton) {
        if (show)
            attachButton();
        else
            detachCompanion(m_ellipsisButton, m_buttonParentWatch);
    }
    m_elipsis = show;
}

void TNumEdit::PlaceEllipsis(bool show, int left, int top, int width, int height)
{
    if (!show || !m_ellipsisButton)
        return;
    TEdSpeedButton *b = m_ellipsisButton;
    b->setGeometry(left + width + 1, top, height, height); // a square of the field's height
    b->setText(QStringLiteral("..."));
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
}

QString TNumEdit::elipsisHint() const
{
    return m_ellipsisButton ? m_ellipsisButton->toolTip() : QString();
}

void TNumEdit::setElipsisHint(const QString &hint)
{
    // An empty hint turns the button's hint off.
    if (m_ellipsisButton)
        m_ellipsisButton->setToolTip(hint);
}

void TNumEdit::setVisible(bool visible)
{
    QLineEdit::setVisible(visible);
    // A companion without a parent would become a window of its own: leave it alone.
    if (m_ellipsisButton && m_ellipsisButton->parentWidget())
        m_ellipsisButton->setVisible(visible);
    if (m_titleLabel && m_titleLabel->parentWidget())
        m_titleLabel->setVisible(visible);
}

void TNumEdit::ChangeBounds(int left, int top, int width, int height)
{
    if (m_titleLabel && !m_titleLabel->text().isEmpty())
        m_titleLabel->move(left, top - TitleOffset);
    PlaceEllipsis(m_elipsis, left, top, width, height);
}

void TNumEdit::moveEvent(QMoveEvent *event)
{
    ChangeBounds(x(), y(), width(), height());
    QLineEdit::moveEvent(event);
}

void TNumEdit::resizeEvent(QResizeEvent *event)
{
    ChangeBounds(x(), y(), width(), height());
    QLineEdit::resizeEvent(event);
}
