#pragma once

#include <vector>

namespace tk
{

// The component state flags that stored forms and the form designer rely on.
enum ComponentStateFlag : unsigned {
    csLoading = 1,   // stored properties are being restored; FinishLoading has not run yet
    csReading = 2,   // a stored form is being read into the component right now
    csDesigning = 4, // the component lives in a form designer
};

class FormReadingScope;

// Mixed into every control that has component state. Not a QObject, so controls keep Qt's
// single QObject base.
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

protected:
    void setComponentState(unsigned state) { m_state = state; }

private:
    friend class FormReadingScope;
    unsigned m_state = 0;
    FormReadingScope *m_scope = nullptr;
};

// Restores a stored form: every Component constructed while the scope is open is marked
// loading and reading. When the scope finishes (the form is complete), each one loses
// reading and then gets its FinishLoading call, in creation order. Scopes nest; a component
// joins the innermost one. GUI thread only.
class FormReadingScope
{
public:
    FormReadingScope();
    ~FormReadingScope();
    FormReadingScope(const FormReadingScope &) = delete;
    FormReadingScope &operator=(const FormReadingScope &) = delete;

    // Ends reading and runs the hooks now; the destructor does it if nobody did.
    void finish();

    static FormReadingScope *current();

private:
    friend class Component;
    void adopt(Component *component);
    void forget(Component *component);

    std::vector<Component *> m_components;
    FormReadingScope *m_outer = nullptr;
    bool m_finished = false;
};

} // namespace tk
