#pragma once

#include <QToolButton>

class TNumEdit;

// The "..." button beside a TNumEdit. It never takes the focus, so clicking it never makes
// the field lose the focus.
class TEdSpeedButton : public QToolButton
{
    Q_OBJECT

public:
    // OwnerEdit is the owner when it is a TNumEdit, otherwise none.
    explicit TEdSpeedButton(QObject *owner);

    TNumEdit *OwnerEdit() const { return m_ownerEdit; }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

private:
    TNumEdit *m_ownerEdit = nullptr;
    int m_tag = 0;
};
