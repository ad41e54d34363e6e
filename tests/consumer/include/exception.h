#pragma once

#include <stdexcept>

// The host program's own exception.h, beside the control's <numedit/exception.h>.
namespace host
{
class Failure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
} // namespace host
