#include "plantconnection.h"

#include "terminaltext.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace results {

bool PlantError::refusesData() const
{
    return sqlState.starts_with("22") || sqlState.starts_with("23") || sqlState.starts_with("54");
}

PlantConnection::PlantConnection(const std::string &url, std::chrono::milliseconds timeout)
    : m_owned(PQconnectStart(url.c_str())), m_connection(m_owned.get()), m_timeout(timeout)
{
    if (!m_connection || PQstatus(m_connection) == CONNECTION_BAD)
        fail("cannot reach the plant's database");
    PQsetNoticeProcessor(
        m_connection, [](void *, const char *) {}, nullptr);
    const auto deadline = Clock::now() + m_timeout;
    for (auto state = PGRES_POLLING_WRITING; state != PGRES_POLLING_OK;
         state = PQconnectPoll(m_connection)) {
        if (state == PGRES_POLLING_FAILED)
            fail("cannot reach the plant's database");
        wait(state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline);
    }
    if (PQsetnonblocking(m_connection, 1) != 0)
        fail("cannot reach the plant's database");
    // A lock held elsewhere is given up on by the server before this program gives up on it.
    run("SET lock_timeout = " + std::to_string(std::max<long long>(1, m_timeout.count() * 3 / 4)));
}

void PlantConnection::fail(const std::string &doing, const PGresult *result)
{
    std::string why = result         ? PQresultErrorMessage(result)
                      : m_connection ? PQerrorMessage(m_connection)
                                     : "out of memory";
    while (!why.empty() && (why.back() == '\n' || why.back() == ' '))
        why.pop_back();
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    // The server's lines as lines, each shown safely, its hints indented.
    std::string text;
    for (std::size_t start = 0; start <= why.size();) {
        const std::size_t end = std::min(why.find('\n', start), why.size());
        std::string line = why.substr(start, end - start);
        while (!line.empty() && (line.front() == '\t' || line.front() == ' '))
            line.erase(0, 1);
        text += (text.empty() ? "" : "\n    ") + cli::printable(line, 400);
        start = end + 1;
    }
    throw PlantError(doing + ": " + text, state ? state : "");
}

// Until the socket is ready for `events`, or the deadline has passed.
void PlantConnection::wait(short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw PlantError("the plant's database did not answer within " +
                             std::to_string((m_timeout.count() + 999) / 1000) +
                             " s (--timeout); nothing more was sent");
        pollfd socket{PQsocket(m_connection), events, 0};
        const int ready = ::poll(&socket, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            fail("waiting for the plant's database");
    }
}

void PlantConnection::flush(Clock::time_point deadline)
{
    for (int pending; (pending = PQflush(m_connection)) != 0;) {
        if (pending < 0)
            fail("sending to the plant's database");
        wait(POLLIN | POLLOUT, deadline);
        if (!PQconsumeInput(m_connection))
            fail("sending to the plant's database");
    }
}

// Every result of the statement sent: the first refusal, else the last result. A COPY that
// waits for its rows is returned at once.
Result PlantConnection::results(Clock::time_point deadline, ExecStatusType expected)
{
    Result last, refused;
    for (;;) {
        while (PQisBusy(m_connection)) {
            wait(POLLIN, deadline);
            if (!PQconsumeInput(m_connection))
                fail("reading from the plant's database");
        }
        Result result(PQgetResult(m_connection));
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result.get());
        if (status == PGRES_COPY_IN)
            return result;
        if (status != expected && !refused)
            refused = std::move(result);
        else if (status == expected)
            last = std::move(result);
    }
    if (refused || !last)
        fail("the plant's database refused the runs", refused.get());
    return last;
}

Result PlantConnection::run(const std::string &sql, ExecStatusType expected)
{
    const auto deadline = Clock::now() + m_timeout;
    if (!PQsendQuery(m_connection, sql.c_str()))
        fail("sending to the plant's database");
    flush(deadline);
    return results(deadline, expected);
}

std::string PlantConnection::literal(const std::string &text)
{
    char *quoted = PQescapeLiteral(m_connection, text.c_str(), text.size());
    if (!quoted)
        fail("quoting a value");
    std::string out(quoted);
    PQfreemem(quoted);
    return out;
}

void PlantConnection::copy(const std::string &table, const std::string &columns,
                           const std::string &rows)
{
    const auto deadline = Clock::now() + m_timeout;
    if (!PQsendQuery(m_connection, ("COPY " + table + " (" + columns + ") FROM STDIN").c_str()))
        fail("sending the runs");
    flush(deadline);
    results(deadline, PGRES_COPY_IN);
    constexpr std::size_t piece = 64 * 1024;
    for (std::size_t at = 0; at < rows.size();) {
        const auto size = static_cast<int>(std::min(piece, rows.size() - at));
        const int queued = PQputCopyData(m_connection, rows.data() + at, size);
        if (queued < 0)
            fail("sending the runs");
        if (queued == 0)
            flush(deadline); // its buffer is full: wait until the server takes some
        else
            at += static_cast<std::size_t>(size);
    }
    for (int ended; (ended = PQputCopyEnd(m_connection, nullptr)) != 1;) {
        if (ended < 0)
            fail("sending the runs");
        flush(deadline);
    }
    flush(deadline);
    results(deadline, PGRES_COMMAND_OK);
}

} // namespace results
