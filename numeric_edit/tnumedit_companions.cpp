// The title label and the ellipsis button: companions that live in the control's parent and
// follow its position, size and visibility.
#include "tnumedit.h"

#include "tedspeedbutton.h"

#include <QLabel>
#include <QMoveEvent>
#include <QResizeEvent>

namespace
{
constexpr int TitleOffset = 14; // the label's top lies this far above the control's top
}

QString TNumEdit::title() const
{
    return m_titleLabel ? m_titleLabel->text() : QString();
}

void TNumEdit::attachLabel()
{
    if (!m_titleLabel)
        return;
    QWidget *parent = parentWidget();
    if (m_titleLabel->parentWidget() != parent) {
        m_titleLabel->setParent(parent);
        if (parent) // setParent() hides a widget
            m_titleLabel->show();
    }
    m_titleLabel->adjustSize(); // a free label's default size would cover the field
    // The title names the field for screen readers, and a mnemonic in it focuses the field.
    m_titleLabel->setBuddy(this);
    m_titleLabel->move(x(), y() - TitleOffset);
}

void TNumEdit::setTitle(const QString &title)
{
    if (!m_titleLabel)
        return;
    m_titleLabel->setText(title);
    if (title.isEmpty()) {
        m_titleLabel->setParent(nullptr);
        return;
    }
    attachLabel();
}

void TNumEdit::setElipsis(bool show)
{
    if (m_ellipsisButton) {
        QWidget *parent = show ? parentWidget() : nullptr;
        if (m_ellipsisButton->parentWidget() != parent) {
            m_ellipsisButton->setParent(parent);
            if (parent)
                m_ellipsisButton->show();
        }
    }
    PlaceEllipsis(show, x(), y(), width(), height());
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
