#pragma once

#include <numedit/form_reading_scope.h>

namespace tk
{

// The component state flags that stored forms and the form designer rely on.
enum ComponentStateFlag : unsigned {
    csLoading = 1,   // stored properties are being restored; FinishLoading has not run yet
    csReading = 2,   // a stored form is being read into the component right now
    csDesigning = 4, // the component lives in a form designer
};

// The component state of a control, and its place in the FormReadingScope that restores it.
// Not a QObject, so controls keep Qt's single QObject base; a control holds one and offers
// its state through members of its own.
class Component
{
public:
    Component();
    virtual ~Component();
    Component(const Component &) = delete;
    Component &operator=(const Component &) = delete;

    unsigned componentState() const { return m_state; }
    bool isLoading() const { return m_state & csLoading; }
    bool isReading() const { return m_state & csReading; }
    bool isDesigning() const { return m_state & csDesigning; }
    void setDesigning(bool designing);
    // Marks the component loading until its FinishLoading runs. For hosts that apply stored
    // properties themselves, without a FormReadingScope (Qt Designer, QUiLoader).
    void markLoading() { m_state |= csLoading; }

    // The loading-finished hook. The inherited part clears csLoading; overrides call it first.
    virtual void FinishLoading();

private:
    friend class FormReadingScope;
    unsigned m_state = 0;
    FormReadingScope *m_scope = nullptr;
};

} // namespace tk
