#pragma once

// The options of a unit's run that converter-check and converter-line both take, and what
// follows from them: who runs it, where it is recorded.

#include "arguments.h"
#include "runreport.h"
#include "runstore.h"
#include "runverdict.h"

#include <string>
#include <vector>

namespace engine {

using UsageError = cli::UsageError;

struct RunOptions
{
    std::string operatorName;
    std::string stationName; // empty: the host name
    Expectations expected;
    int polls = 4;
    int maxMissed = 0;
    int cadenceToleranceMs = 20; // how far a poll period may stray from 500 ms
    std::string protocols;       // empty: "Protocol.txt" in the current directory
    bool noProtocols = false;
    std::string store; // empty: the account's own results store
    bool noStore = false;
    bool exactUnitCase = false; // --unit-case exact: ids kept as typed
    std::string fixtureId;      // --fixture-id: the fixture the slots are in; empty: none
    // Golden units' ids, as written (--golden-list FILE, a fixture file's "golden" lines): their
    // runs verify the slot and never count as a unit's attempt.
    std::vector<std::string> goldenUnits;
};

// Whether the unit of id `filedId` (as filed) is one of the golden units.
bool isGoldenUnit(const RunOptions &options, const std::string &filedId);

// The ids of a golden list: words separated by blanks or line ends, "#" starting a comment to the
// line's end. Throws UsageError naming the file.
std::vector<std::string> readGoldenList(const std::string &path);

// --polls, --max-missed, --cadence-tolerance-ms, --protocols, --no-protocols, --store,
// --no-store, --operator, --station, --fixture-id, --golden-list and --expect-*: takes the one
// `arguments` is at into `options` and returns true; false for any other. Throws UsageError.
bool takeRunOption(cli::Arguments &arguments, RunOptions &options);
// What those options cannot be given together; throws UsageError.
void checkRunOptions(const RunOptions &options);

// `text` as given, when it is printable text, for the reports other tools read; throws
// UsageError naming `option` otherwise.
std::string printableText(const std::string &option, const std::string &text);
// A unit's, an operator's or a station's id: at most this many characters, in every program.
inline constexpr std::size_t maxIdCharacters = 64;

// The number `text` gives, from `lowest` to `highest`; throws UsageError naming `option`.
int wholeNumber(const std::string &option, const std::string &text, long lowest, long highest);

// Who and what runs the options ask for, by the tool `toolName`: its operator, its station (the
// host name when not given), a new invocation id.
RunIdentity runIdentity(const RunOptions &options, const std::string &toolName);
// Where the runs go: --store FILE, the account's own store, or none under --no-store.
StoreChoice storeChoice(const RunOptions &options);
// Which list the protocol names come from, for the reports: its full path and the SHA-256 of its
// bytes, read now.
void noteProtocolList(RunIdentity &identity, const std::string &path);

} // namespace engine
