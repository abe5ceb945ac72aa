#include "sqlitedb.h"

#include <sqlite3.h>

#include <utility>

namespace store {

void fail(sqlite3 *db, const std::string &doing)
{
    const char *why = db ? sqlite3_errmsg(db) : "out of memory";
    const int code = db ? sqlite3_errcode(db) & 0xFF : SQLITE_NOMEM; // without the extension
    throw StoreError(StoreError::Kind::Failed, doing + ": " + why,
                     code == SQLITE_BUSY || code == SQLITE_LOCKED);
}

Statement::Statement(sqlite3 *db, std::string_view sql) : m_db(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_statement, nullptr) !=
        SQLITE_OK)
        fail(db, "preparing a query");
}

Statement::Statement(Statement &&other) noexcept
    : m_db(other.m_db), m_statement(std::exchange(other.m_statement, nullptr))
{}

Statement::~Statement()
{
    sqlite3_finalize(m_statement);
}

Statement &Statement::bindReal(int index, double value)
{
    if (sqlite3_bind_double(m_statement, index, value) != SQLITE_OK)
        fail(m_db, "binding a value");
    return *this;
}

Statement &Statement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        fail(m_db, "binding a value");
    return *this;
}

Statement &Statement::bind(int index, std::string_view text)
{
    if (sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK)
        fail(m_db, "binding a text");
    return *this;
}

Statement &Statement::bindBlob(int index, std::span<const std::uint8_t> bytes)
{
    if (sqlite3_bind_blob64(m_statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        fail(m_db, "binding bytes");
    return *this;
}

Statement &Statement::bindNull(int index)
{
    if (sqlite3_bind_null(m_statement, index) != SQLITE_OK)
        fail(m_db, "binding a value");
    return *this;
}

Statement &Statement::bindOptional(int index, std::string_view text)
{
    return text.empty() ? bindNull(index) : bind(index, text);
}

bool Statement::step()
{
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        fail(m_db, "reading or writing the store");
    }
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

std::string Statement::text(int column) const
{
    const auto *text = sqlite3_column_text(m_statement, column);
    return text ? std::string(reinterpret_cast<const char *>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                : std::string();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::span<const std::uint8_t> Statement::blob(int column) const
{
    const auto *bytes = static_cast<const std::uint8_t *>(sqlite3_column_blob(m_statement, column));
    return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column))};
}

Database::Database(const std::string &path, Mode mode)
{
    int flags = SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
    flags |= mode == Mode::ReadOnly    ? SQLITE_OPEN_READONLY
             : mode == Mode::ReadWrite ? SQLITE_OPEN_READWRITE
                                       : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw StoreError(StoreError::Kind::Failed, "cannot open it: " + why);
    }
    sqlite3_extended_result_codes(m_db, 1);
}

Database::Database(Database &&other) noexcept : m_db(std::exchange(other.m_db, nullptr)) {}

Database::~Database()
{
    sqlite3_close(m_db);
}

void Database::execute(std::string_view sql)
{
    const std::string text(sql);
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(m_db, "writing the store");
}

std::int64_t Database::integer(std::string_view sql)
{
    Statement statement = prepare(sql);
    return statement.step() ? statement.integer(0) : 0;
}

Transaction::Transaction(Database &db, bool immediate)
    : m_db(db), m_nested(sqlite3_get_autocommit(db.handle()) == 0)
{
    m_db.execute(m_nested ? "SAVEPOINT nested" : immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction()
{
    if (m_open)
        sqlite3_exec(m_db.handle(), m_nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK",
                     nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_db.execute(m_nested ? "RELEASE nested" : "COMMIT");
    m_open = false;
}

} // namespace store
