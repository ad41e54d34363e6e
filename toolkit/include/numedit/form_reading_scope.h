#pragma once

#include <vector>

namespace tk
{

class Component;

// Restores a stored form: every control with component state (every TNumEdit) constructed
// while the scope is open is marked loading and reading. When the scope finishes (the form is
// complete), each one loses reading and then gets its FinishLoading call, in creation order.
// Scopes nest; a control joins the innermost one. GUI thread only.
//
//     { tk::FormReadingScope form; ui->setupUi(this); } // the fields are live after the brace
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
