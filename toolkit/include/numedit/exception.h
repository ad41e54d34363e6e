#pragma once

#include <exception>
#include <string>

namespace tk
{

// Base of every error that the program reports to the user. The message is UTF-8.
class Exception : public std::exception
{
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const std::string &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

// A text that does not convert to the number or date asked for.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

} // namespace tk
