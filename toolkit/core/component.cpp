#include "component.h"

#include <algorithm>

namespace tk
{

namespace
{
FormReadingScope *innermost = nullptr;
}

Component::Component()
{
    if (FormReadingScope *scope = FormReadingScope::current())
        scope->adopt(this);
}

Component::~Component()
{
    if (m_scope)
        m_scope->forget(this);
}

void Component::setDesigning(bool designing)
{
    m_state = designing ? (m_state | csDesigning) : (m_state & ~unsigned(csDesigning));
}

void Component::FinishLoading()
{
    m_state &= ~unsigned(csLoading);
}

FormReadingScope::FormReadingScope() : m_outer(innermost)
{
    innermost = this;
}

FormReadingScope::~FormReadingScope()
{
    finish();
}

FormReadingScope *FormReadingScope::current()
{
    return innermost;
}

void FormReadingScope::adopt(Component *component)
{
    component->m_scope = this;
    component->m_state |= csLoading | csReading;
    m_components.push_back(component);
}

void FormReadingScope::forget(Component *component)
{
    auto it = std::find(m_components.begin(), m_components.end(), component);
    if (it != m_components.end())
        *it = nullptr;
}

void FormReadingScope::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    // The form is complete: new components no longer belong to it.
    if (innermost == this)
        innermost = m_outer;
    for (Component *c : m_components)
        if (c)
            c->m_state &= ~unsigned(csReading);
    // A hook may destroy another component of the form (forget() then clears its slot).
    for (size_t i = 0; i < m_components.size(); ++i) {
        Component *c = m_components[i];
        if (!c)
            continue;
        c->m_scope = nullptr;
        m_components[i] = nullptr;
        c->FinishLoading();
    }
}

} // namespace tk
