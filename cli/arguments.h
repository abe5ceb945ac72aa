#pragma once

// A command line read one argument at a time, the way every program of ours takes it: an option's
// value after a blank or after "=" (--polls 4 or --polls=4).

#include <optional>
#include <stdexcept>
#include <string>

namespace cli {

// What is wrong with the command line, said so that its user can mend it.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Arguments
{
public:
    Arguments(int argc, const char *const *argv) : m_argc(argc), m_argv(argv) {}

    // Moves to the next argument; false after the last. Throws UsageError when the one before
    // was given a value with "=" that it does not take.
    bool next();
    // The argument, without an "=value".
    const std::string &name() const { return m_name; }
    // The option's value: the one given with "=", else the next argument. Throws UsageError
    // when there is none.
    std::string value();
    // The argument came after "--": an operand, whatever it starts with.
    bool isOperand() const { return m_operands; }

private:
    int m_argc;
    const char *const *m_argv;
    int m_index = 0;
    std::string m_name;
    std::optional<std::string> m_attached;
    bool m_operands = false;
};

} // namespace cli
