#pragma once

// converter-line's link to the plant's database: one connection, kept on a thread of its own,
// that pushes each run once it is recorded and answers, at each scan, how many attempts the unit
// has had on every bench PC. Nothing here waits on the window: the window asks, and goes on at
// its own deadline with whatever has come back.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace results {

struct PlantAttempts
{
    std::int64_t attempts = 0; // the unit's attempts in the plant's unit_attempts view
    std::string lastVerdict;   // of the latest of them; empty: none
};

class PlantLink
{
public:
    PlantLink(std::string url, std::string storePath);
    ~PlantLink(); // the work under way is finished, the rest dropped

    // The store's runs not yet forwarded, sent soon.
    void pushSoon();
    // The unit's plant-wide attempts, or none when the database is away or refuses; `answer` is
    // called on the link's thread.
    using Answer = std::function<void(std::optional<PlantAttempts>)>;
    void askAttempts(const std::string &unitId, Answer answer);

private:
    void work();
    bool connected();

    struct Request
    {
        std::string unitId; // empty: a push
        Answer answer;
    };
    std::string m_url;
    std::string m_store;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_requests;
    bool m_stopping = false;
    struct State;
    std::unique_ptr<State> m_state; // the connection; the link's thread alone touches it
    std::thread m_thread;
};

} // namespace results
