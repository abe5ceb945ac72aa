#pragma once

// The SQLite library as the store uses it: a connection and its prepared statements, each freed
// by its owner, every failure thrown with SQLite's own words for it.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class StoreError : public std::runtime_error
{
public:
    enum class Kind {
        Refused, // not ours to write: a link, another user's file, not a regular file
        Missing, // no store at that path, and it was to be read
        Empty,   // a store in which no run has been recorded yet, and it was to be read
        Failed,  // cannot be read or written: not a store, corrupt, newer, full, locked
    };
    StoreError(Kind kind, const std::string &message, bool busy = false)
        : std::runtime_error(message), kind(kind), busy(busy)
    {}
    Kind kind;
    bool busy; // another connection held a lock SQLite would not wait for: worth another try
};

class Statement
{
public:
    Statement(sqlite3 *db, std::string_view sql);
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&) = delete;
    ~Statement();

    // Parameters count from 1, as SQLite counts them. Text and blobs are copied.
    Statement &bind(int index, std::int64_t value);
    Statement &bind(int index, std::string_view text);
    Statement &bindReal(int index, double value);
    Statement &bindBlob(int index, std::span<const std::uint8_t> bytes);
    Statement &bindNull(int index);
    // Text, and NULL for empty text.
    Statement &bindOptional(int index, std::string_view text);

    // True while a row is there to read; false when the statement is done.
    bool step();
    // Runs the statement to its end, then makes it ready to run again.
    void run();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const; // empty for NULL
    bool isNull(int column) const;
    std::span<const std::uint8_t> blob(int column) const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
};

class Database
{
public:
    enum class Mode { ReadOnly, ReadWrite, Create };
    // Never follows a symbolic link.
    Database(const std::string &path, Mode mode);
    Database(Database &&other) noexcept;
    Database &operator=(Database &&) = delete;
    ~Database();

    void execute(std::string_view sql);
    Statement prepare(std::string_view sql) { return Statement(m_db, sql); }
    std::int64_t integer(std::string_view sql); // the first column of the first row
    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

// What went wrong, in SQLite's words: "database is locked", "file is not a database"...
[[noreturn]] void fail(sqlite3 *db, const std::string &doing);

// A transaction that rolls back unless it is committed; inside another, a savepoint of it.
class Transaction
{
public:
    // `immediate`: takes the write lock at once, waiting for it as the busy timeout allows.
    explicit Transaction(Database &db, bool immediate = true);
    ~Transaction();
    void commit();

private:
    Database &m_db;
    bool m_nested;
    bool m_open = true;
};

} // namespace store
