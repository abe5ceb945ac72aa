#pragma once

// A connection to the plant's PostgreSQL database in which every step has a deadline: libpq in
// non-blocking mode, waiting on its socket with poll(), so that a server that accepts and never
// answers, a stopped backend or a lock held elsewhere ends a push with its reason instead of
// hanging it.

#include <libpq-fe.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

namespace results {

// The plant's database is away, did not answer in time, or refused what was sent.
class PlantError : public std::runtime_error
{
public:
    explicit PlantError(const std::string &what, std::string state = {})
        : std::runtime_error(what), sqlState(std::move(state))
    {}
    // The server refused a run's data (SQLSTATE classes 22, 23 and 54): that run is set aside
    // and the others sent. Anything else (the connection, privileges, the schema, resources)
    // stops the push.
    bool refusesData() const;

    std::string sqlState; // the server's code, "22021"; empty when it gave none
};

struct ResultClearer
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

class PlantConnection
{
public:
    // Throws PlantError. `timeout`: for connecting and for each statement or copy after.
    PlantConnection(const std::string &url, std::chrono::milliseconds timeout);

    // One statement, and its result of the status expected; throws PlantError.
    Result run(const std::string &sql, ExecStatusType expected = PGRES_COMMAND_OK);
    // Rows in COPY's text format into `table`; throws PlantError.
    void copy(const std::string &table, const std::string &columns, const std::string &rows);
    // `text` as an SQL string literal, quoted for this connection.
    std::string literal(const std::string &text);
    // The deadline for each statement from now on.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

private:
    using Clock = std::chrono::steady_clock;
    void wait(short events, Clock::time_point deadline);
    void flush(Clock::time_point deadline);
    Result results(Clock::time_point deadline, ExecStatusType expected);
    [[noreturn]] void fail(const std::string &doing, const PGresult *result = nullptr);

    struct Closer
    {
        void operator()(PGconn *connection) const { PQfinish(connection); }
    };
    // Closed however the connection ends, a failed connect in the constructor too.
    std::unique_ptr<PGconn, Closer> m_owned;
    PGconn *m_connection;
    std::chrono::milliseconds m_timeout;
};

} // namespace results
