#include "plantlink.h"

#include "plantpush.h"

#include <chrono>
#include <cstdlib>

namespace results {

namespace {

using Clock = std::chrono::steady_clock;
// A scan waits 300 ms at most; asked sooner than this after a failure, the link answers at once.
constexpr auto askDeadline = std::chrono::milliseconds(300);
constexpr auto pushDeadline = std::chrono::seconds(10);
constexpr auto retryAfter = std::chrono::seconds(5);

} // namespace

struct PlantLink::State
{
    std::optional<PlantConnection> connection;
    Clock::time_point failedAt{};
    bool failed = false;
};

PlantLink::PlantLink(std::string url, std::string storePath)
    : m_url(std::move(url)), m_store(std::move(storePath)), m_state(std::make_unique<State>()),
      m_thread([this] { work(); })
{}

PlantLink::~PlantLink()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PlantLink::pushSoon()
{
    {
        std::lock_guard lock(m_mutex);
        for (const Request &request : m_requests)
            if (request.unitId.empty())
                return; // one push sends every run waiting
        m_requests.push_back({{}, {}});
    }
    m_wake.notify_all();
}

void PlantLink::askAttempts(const std::string &unitId, Answer answer)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({unitId, std::move(answer)});
    }
    m_wake.notify_all();
}

// A connection, made again once the last failure is old enough.
bool PlantLink::connected()
{
    State &state = *m_state;
    if (state.connection)
        return true;
    if (state.failed && Clock::now() - state.failedAt < retryAfter)
        return false;
    try {
        state.connection.emplace(m_url, askDeadline);
        state.failed = false;
        return true;
    } catch (const PlantError &) {
        state.failed = true;
        state.failedAt = Clock::now();
        return false;
    }
}

void PlantLink::work()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_requests.empty(); });
            if (m_stopping)
                return;
            request = std::move(m_requests.front());
            m_requests.pop_front();
        }
        State &state = *m_state;
        std::optional<PlantAttempts> answer;
        try {
            if (!connected()) {
                // Away: said at once, and no push tried until it answers again.
            } else if (request.unitId.empty()) {
                state.connection->setTimeout(pushDeadline);
                store::ResultStore results(m_store, store::ResultStore::Access::Forward);
                push(results, *state.connection, {});
                results.checkpoint();
            } else {
                state.connection->setTimeout(askDeadline);
                const Result found = state.connection->run(
                    "SELECT count(*), (array_agg(verdict ORDER BY plant_attempt DESC))[1] FROM "
                    "unit_attempts WHERE unit_id = " +
                        state.connection->literal(request.unitId),
                    PGRES_TUPLES_OK);
                answer = PlantAttempts{std::atoll(PQgetvalue(found.get(), 0, 0)),
                                       PQgetvalue(found.get(), 0, 1)};
            }
        } catch (const PlantError &) {
            // Whatever went wrong, the next request starts from a new connection.
            state.connection.reset();
            state.failed = true;
            state.failedAt = Clock::now();
        } catch (const store::StoreError &) {
        }
        if (request.answer)
            request.answer(answer);
    }
}

} // namespace results
