#include "decisions.h"

#include <iterator>

namespace station {

namespace {

struct OutcomeEntry
{
    std::string_view name;
    std::string_view reason;
    bool mayHideAnError;
};

// In the enum's order. A late, noise or flood period may hold a reply that said "Error" and was
// never decoded; the others either held none or held only what was decoded.
constexpr OutcomeEntry outcomeTable[] = {
    {"measured", "", false},
    {"unanswered", "no reply", false},
    {"late", "a reply was still arriving when the next poll left", true},
    {"tooShort", "the reply is too short to carry the line tests", false},
    {"noHead", "bytes that do not start as a reply starts (noise on the line)", true},
    {"twoFrames", "two replies in one poll period: which one answers the poll cannot be known",
     false},
    {"flood", "more bytes in one poll period than the line can carry", true},
    // A period that ran long gave the unit more time than 500 ms; one that ran short, less.
    {"stationLate", "the station missed its 500 ms cadence", true},
};
static_assert(std::size(outcomeTable) == pollOutcomeCount,
              "every outcome needs its entry, in the enum's order");

const OutcomeEntry &entry(PollOutcome outcome)
{
    return outcomeTable[static_cast<std::size_t>(outcome)];
}

} // namespace

std::string_view pollOutcomeName(PollOutcome outcome)
{
    return entry(outcome).name;
}

std::string_view pollOutcomeReason(PollOutcome outcome)
{
    return entry(outcome).reason;
}

bool mayHideAnError(PollOutcome outcome)
{
    return entry(outcome).mayHideAnError;
}

} // namespace station
