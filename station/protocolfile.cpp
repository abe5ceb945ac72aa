#include "protocolfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace station {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

class RecordReader
{
public:
    explicit RecordReader(std::string_view content) : m_text(content)
    {
        // Notepad saves UTF-8 with a byte-order mark; without skipping it the first number fails.
        if (m_text.starts_with(byteOrderMark))
            m_position = byteOrderMark.size();
    }

    std::size_t position() const { return m_position; }

    // Skips blanks and blank lines up to the next record; false at the end of the file.
    bool atNextRecord()
    {
        skipBlanksAndLineEnds();
        return m_position < m_text.size();
    }

    std::optional<int> number()
    {
        const auto field = unquotedField();
        if (field.empty())
            return std::nullopt;
        // Any run of digits, leading zeros included ("0007"); the value stops growing once it is
        // out of range, so no run is long enough to overflow it.
        int value = 0;
        for (const char c : field) {
            if (c < '0' || c > '9')
                return std::nullopt;
            if (value <= 255)
                value = value * 10 + (c - '0');
        }
        if (value > 255)
            return std::nullopt;
        return value;
    }

    std::optional<std::string> name()
    {
        // A line end straight after the number separates the fields like a comma does; blank
        // lines between them are skipped.
        if (m_lastSeparatorWasLineEnd)
            skipBlanksAndLineEnds();
        else
            skipBlanks();
        if (m_position >= m_text.size() && m_lastSeparatorWasLineEnd)
            return std::nullopt;
        if (m_position < m_text.size() && m_text[m_position] == '"')
            return quotedField();
        return std::string(unquotedField());
    }

private:
    void skipBlanks()
    {
        while (m_position < m_text.size() && isBlank(m_text[m_position]))
            ++m_position;
    }

    void skipBlanksAndLineEnds()
    {
        while (m_position < m_text.size() &&
               (isBlank(m_text[m_position]) || isLineEnd(m_text[m_position])))
            ++m_position;
    }

    // Consumes one separator: a comma, or a line end (LF, CR LF or a lone CR).
    void consumeSeparator()
    {
        m_lastSeparatorWasLineEnd = true;
        if (m_position >= m_text.size())
            return;
        const char c = m_text[m_position++];
        if (c == ',') {
            m_lastSeparatorWasLineEnd = false;
        } else if (c == '\r' && m_position < m_text.size() && m_text[m_position] == '\n') {
            ++m_position;
        }
    }

    std::string_view unquotedField()
    {
        skipBlanks();
        const auto start = m_position;
        while (m_position < m_text.size() && m_text[m_position] != ',' &&
               !isLineEnd(m_text[m_position]))
            ++m_position;
        auto field = m_text.substr(start, m_position - start);
        while (!field.empty() && isBlank(field.back()))
            field.remove_suffix(1);
        consumeSeparator();
        return field;
    }

    // A quoted name runs to the next quote and may hold commas. Whatever stands between the
    // closing quote and the next separator is dropped. A quote that does not close on its own
    // line makes the file malformed, rather than swallowing the records below it into one name.
    std::optional<std::string> quotedField()
    {
        const auto start = m_position + 1;
        const auto close = m_text.find_first_of("\"\r\n", start);
        if (close == std::string_view::npos || m_text[close] != '"')
            return std::nullopt;
        std::string field(m_text.substr(start, close - start));
        m_position = close + 1;
        while (m_position < m_text.size() && m_text[m_position] != ',' &&
               !isLineEnd(m_text[m_position]))
            ++m_position;
        consumeSeparator();
        return field;
    }

    std::string_view m_text;
    std::size_t m_position = 0;
    bool m_lastSeparatorWasLineEnd = true;
};

} // namespace

bool readProtocolRecords(std::string_view content, ProtocolNames &table, std::string *problem)
{
    RecordReader reader(content);
    while (reader.atNextRecord()) {
        const std::size_t start = reader.position();
        const auto number = reader.number();
        auto name = number ? reader.name() : std::nullopt;
        if (!name) {
            if (problem)
                *problem = "malformed at line " +
                           std::to_string(1 + std::count(content.begin(),
                                                         content.begin() + static_cast<long>(start),
                                                         '\n'));
            return false;
        }
        table[static_cast<std::size_t>(*number)] = std::move(*name);
    }
    return true;
}

bool readProtocolFile(const std::filesystem::path &path, ProtocolNames &table, std::string *problem)
{
    std::string ignored;
    std::string &why = problem ? *problem : ignored;
    // Opened once, and everything is checked on what was opened: a check by name followed by an
    // open by name could be fooled by a file swapped in between. Non-blocking, so that a FIFO
    // named like the file cannot hold start-up waiting for a writer.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat status
    {};
    std::string content;
    bool read = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                static_cast<std::uintmax_t>(status.st_size) <= protocolFileLimitBytes;
    why = !S_ISREG(status.st_mode) ? "not a regular file" : "larger than any list of 256 protocols";
    if (read) {
        // At most one byte past the limit, so a file that grows after the check is still refused
        // without reading all of it.
        content.reserve(static_cast<std::size_t>(status.st_size) + 1);
        char chunk[64 * 1024];
        while (content.size() <= protocolFileLimitBytes) {
            const std::size_t wanted = std::min<std::size_t>(
                sizeof chunk,
                static_cast<std::size_t>(protocolFileLimitBytes) + 1 - content.size());
            const ssize_t n = ::read(descriptor, chunk, wanted);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                why = std::strerror(errno);
                read = false;
            }
            if (n <= 0)
                break;
            content.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(descriptor);
    if (!read || content.size() > protocolFileLimitBytes)
        return false;
    return readProtocolRecords(content, table, problem);
}

} // namespace station
