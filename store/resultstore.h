#pragma once

// The results store: every unit's run on record in one SQLite file that many checks share. A run
// is recorded whole in one transaction or not at all.

#include "sqlitedb.h"
#include "storedrun.h"

#include <optional>
#include <string>

namespace store {

// $XDG_DATA_HOME/converter-station/results.sqlite, or under ~/.local/share where XDG_DATA_HOME is
// unset or not an absolute path; empty when neither gives a folder.
std::string defaultStorePath();

// Creates the folder the store goes in, and its parents; the reason when it cannot.
std::optional<std::string> createFolderOf(const std::string &path);

// The schema this program writes and reads, as PRAGMA user_version holds it.
inline constexpr int schemaVersion = 7;

class ResultStore
{
public:
    enum class Access {
        Record, // created with its folder when missing; refused when not ours to write
        Read,   // never written
        Forward // read, and runs marked as forwarded
    };
    // Throws StoreError: Refused for a link or another user's file, Missing for a store to read
    // that is not there, Failed for one that cannot be used, with the reason.
    ResultStore(const std::string &path, Access access);

    // Records the run and returns its attempt number: 1 + the unit's attempts already recorded,
    // 0 for a run that is not an attempt.
    int record(const StoredRun &run);
    // The log folded back into the store file and emptied, without waiting: with a reader in it,
    // left for the next time. Then a copy of the one file holds every run.
    void checkpoint();

    Database &db() { return m_db; }
    const std::string &path() const { return m_path; }

private:
    void prepareSchema(Access access);
    int recordOnce(const StoredRun &run);

    std::string m_path;
    Database m_db;
};

// Why a store at `path` may not be written by this account; nothing when it may.
std::optional<std::string> storeRefusal(const std::string &path);

// Why a run could not be recorded at `path` now: its folder, or the store, cannot be written.
// Found before any unit is polled; none when it can.
std::optional<std::string> writeRefusal(const std::string &path);

// What line test `index` is in the stored masks: bit `index`.
inline constexpr std::int64_t lineBit(std::size_t index)
{
    return std::int64_t{1} << index;
}

} // namespace store
