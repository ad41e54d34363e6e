#include <numedit/tedspeedbutton.h>

#include <numedit/tnumedit.h>

TEdSpeedButton::TEdSpeedButton(QObject *owner)
    : QToolButton(nullptr), m_ownerEdit(qobject_cast<TNumEdit *>(owner))
{
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("EllipsisButton"));
}
