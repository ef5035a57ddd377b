// The platform's exception class. Code that the platform lets fail raises
// an NSException; callers that catch "the platform's exceptions" catch this
// class and let every other exception pass.
#pragma once

#include <stdexcept>
#include <string>

class NSException : public std::runtime_error {
public:
    NSException(std::string name, const std::string& reason)
        : std::runtime_error(reason)
        , m_name(std::move(name))
    {
    }
    const std::string& name() const { return m_name; }
    std::string reason() const { return what(); }
    // The description the platform logs: "name: reason".
    std::string description() const { return m_name + ": " + what(); }

private:
    std::string m_name;
};
