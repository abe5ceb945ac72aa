#include "arguments.h"

#include "terminaltext.h"

#include <utility>

namespace cli {

bool Arguments::next()
{
    if (m_attached)
        throw UsageError(printable(m_name) + " takes no value");
    if (++m_index >= m_argc)
        return false;
    m_name = m_argv[m_index];
    if (!m_operands && m_name == "--") {
        m_operands = true;
        return next();
    }
    if (m_operands)
        return true;
    if (const std::size_t equals = m_name.find('=');
        m_name.starts_with("--") && equals != std::string::npos) {
        m_attached = m_name.substr(equals + 1);
        m_name.resize(equals);
    }
    return true;
}

std::string Arguments::value()
{
    if (m_attached)
        return *std::exchange(m_attached, std::nullopt);
    if (m_index + 1 >= m_argc)
        throw UsageError(printable(m_name) + " needs a value");
    return m_argv[++m_index];
}

} // namespace cli
