#include "runreport.h"

#include "report.h"
#include "terminaltext.h"
#include "textencoding.h"

#include <cstdio>
#include <ctime>

namespace engine {

namespace {

std::string decimal(double value, const char *format = "%.1f")
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double seconds(const PortSummary &port)
{
    return std::chrono::duration<double>(port.end - port.start).count();
}

std::string lineCaption(std::size_t i)
{
    return std::string(station::fieldCaption(station::lineTestFields[i]));
}

std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

// Text for an XML attribute or element: markup escaped, and what XML 1.0 cannot carry (control
// characters, non-characters, bytes that are not UTF-8) replaced.
std::string xml(std::string_view raw)
{
    const std::string text = cli::wellFormedUtf8(raw);
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\xEF\xBF\xBD"; // U+FFFD
            else
                out += c;
        }
    }
    return out;
}

// JUnit readers expect a local-looking time without a zone; ours is UTC.
std::string junitTimestamp(std::chrono::system_clock::time_point at)
{
    return utcTimestamp(at).substr(0, 19);
}

struct TestCase
{
    std::string name;
    std::string outcome; // "", "failure", "error" or "skipped"
    std::string type;
    std::string message;
};

std::vector<TestCase> testCases(const PortSummary &port)
{
    std::vector<TestCase> cases;
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        const LineTally &line = port.record.lines[i];
        switch (line.verdict()) {
        case RunVerdict::Pass:
            cases.push_back({lineCaption(i), "", "", ""});
            break;
        case RunVerdict::Fail:
            cases.push_back({lineCaption(i), "failure", "fail", line.counts()});
            break;
        case RunVerdict::Intermittent:
            cases.push_back({lineCaption(i), "failure", "intermittent", line.counts()});
            break;
        case RunVerdict::Incomplete: // a run's, never a line's
        case RunVerdict::Interrupted:
        case RunVerdict::None:
            cases.push_back({lineCaption(i), "skipped", "", "no decoded reply"});
            break;
        }
    }
    for (const ExpectationResult &expectation : port.decision.expectations) {
        const std::string name = "expected " + expectation.name;
        if (expectation.seen.empty())
            cases.push_back({name, "skipped", "", "no decoded reply"});
        else if (expectation.met)
            cases.push_back({name, "", "", ""});
        else {
            std::string seen;
            for (std::size_t i = 0; i < expectation.seen.size(); ++i)
                seen += (i ? " and " : "") + expectation.seen[i];
            cases.push_back({name, "failure", "mismatch",
                             "expected " + expectation.expected + ", seen " + seen});
        }
    }
    // Always there, so that a CI server sees the same cases in every run: an error when the run
    // is incomplete.
    if (port.decision.verdict == RunVerdict::Incomplete ||
        port.decision.verdict == RunVerdict::Interrupted)
        cases.push_back({"reply", "error",
                         port.record.startFailure
                             ? "port-not-opened"
                             : std::string(runVerdictName(port.decision.verdict)),
                         firstLine(port.decision.message)});
    else
        cases.push_back({"reply", "", "", ""});
    return cases;
}

struct Counts
{
    std::size_t tests = 0, failures = 0, errors = 0, skipped = 0;
};

Counts countsOf(const std::vector<TestCase> &cases)
{
    Counts counts;
    for (const TestCase &c : cases) {
        ++counts.tests;
        counts.failures += c.outcome == "failure";
        counts.errors += c.outcome == "error";
        counts.skipped += c.outcome == "skipped";
    }
    return counts;
}

// CI servers' importers take `skipped` on a suite, never on <testsuites>.
std::string countAttributes(const Counts &counts, double time, bool withSkipped)
{
    return " tests=\"" + std::to_string(counts.tests) + "\" failures=\"" +
           std::to_string(counts.failures) + "\" errors=\"" + std::to_string(counts.errors) +
           (withSkipped ? "\" skipped=\"" + std::to_string(counts.skipped) : std::string()) +
           "\" time=\"" + decimal(time, "%.3f") + "\"";
}

std::string property(const std::string &name, const std::string &value)
{
    return "      <property name=\"" + name + "\" value=\"" + xml(value) + "\"/>\n";
}

} // namespace

std::string expectationsJson(const std::vector<ExpectationResult> &expectations)
{
    std::string out = "[";
    for (std::size_t i = 0; i < expectations.size(); ++i) {
        const ExpectationResult &e = expectations[i];
        // Numbers as the unit reports them, TS modes as words.
        const auto value = [&e](const std::string &text) {
            return e.name == "TS modes" ? jsonString(text) : text;
        };
        out += std::string(i ? "," : "") + "{\"name\":" + jsonString(e.name) +
               ",\"expected\":" + value(e.expected) + ",\"seen\":[";
        for (std::size_t j = 0; j < e.seen.size(); ++j)
            out += (j ? "," : "") + value(e.seen[j]);
        out += "],\"met\":" + std::string(e.seen.empty() ? "null" : e.met ? "true" : "false") + "}";
    }
    return out + "]";
}

std::string summaryJson(const PortSummary &port, const RunIdentity &identity)
{
    const RunRecord &record = port.record;
    std::string out =
        "{\"record\":\"summary\",\"schemaVersion\":2,\"runId\":" + jsonString(port.runId) +
        ",\"invocationId\":" + jsonString(identity.invocationId) +
        ",\"port\":" + jsonString(port.port) + ",\"slot\":" + optionalJson(port.slot) +
        ",\"fixture\":" + optionalJson(port.fixture) +
        ",\"adapter\":" + cli::adapterJson(port.adapter) +
        ",\"golden\":" + (port.golden ? "true" : "false") +
        ",\"countsAsAttempt\":" + (port.countsAsAttempt ? "true" : "false") +
        ",\"unitId\":" + optionalJson(port.unitId) +
        ",\"operator\":" + optionalJson(identity.operatorName) +
        ",\"station\":" + optionalJson(identity.stationName) +
        ",\"tool\":{\"name\":" + jsonString(identity.toolName) +
        ",\"version\":" + jsonString(identity.toolVersion) + "},\"protocols\":" +
        (identity.protocolsPath.empty()
             ? std::string("null")
             : "{\"path\":" + jsonString(identity.protocolsPath) +
                   ",\"sha256\":" + jsonString(identity.protocolsSha256) + "}") +
        ",\"start\":" + jsonString(utcTimestamp(port.start)) +
        ",\"end\":" + jsonString(utcTimestamp(port.end)) +
        ",\"polls\":" + std::to_string(record.polls) +
        ",\"replies\":" + std::to_string(record.replies) +
        ",\"measured\":" + std::to_string(record.measured) + ",\"missed\":{";
    for (std::size_t i = 0, keys = 0; i < station::pollOutcomeCount; ++i)
        if (station::PollOutcome(i) != station::PollOutcome::Measured)
            out += (keys++ ? "," : "") +
                   jsonString(station::pollOutcomeName(station::PollOutcome(i))) + ":" +
                   std::to_string(record.missed[i]);
    out += "},\"unit\":";
    if (record.lastStatus)
        out += "{\"protocol\":" + std::to_string(record.lastStatus->protocol) +
               ",\"protocolName\":" + jsonString(station::asUtf8(record.protocolName)) +
               ",\"version\":" + std::to_string(record.lastStatus->version) + "}";
    else
        out += "null";
    out += ",\"lines\":{";
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        const LineTally &line = record.lines[i];
        out += (i ? "," : "") + jsonString(lineCaption(i)) + ":{\"ok\":" + std::to_string(line.ok) +
               ",\"error\":" + std::to_string(line.error) +
               ",\"changes\":" + std::to_string(line.changedIn.size()) + ",\"changedInPolls\":[" +
               pollList(line.changedIn, ",") +
               "],\"verdict\":" + jsonString(runVerdictName(line.verdict())) + "}";
    }
    out += "},\"roundTripMs\":";
    if (const auto trip = roundTripOf(record.roundTripsMs))
        out += "{\"count\":" + std::to_string(trip->count) + ",\"min\":" + decimal(trip->min) +
               ",\"median\":" + decimal(trip->median) + ",\"p95\":" + decimal(trip->p95) +
               ",\"max\":" + decimal(trip->max) + "}";
    else
        out += "null";
    out += ",\"expectations\":" + expectationsJson(port.decision.expectations);
    out += ",\"verdict\":" + jsonString(runVerdictName(port.decision.verdict)) +
           ",\"exitStatus\":" + std::to_string(port.decision.exitStatus) +
           ",\"message\":" + jsonString(port.decision.message) + "}";
    return out;
}

std::string junitXml(const std::vector<PortSummary> &ports, const RunIdentity &identity)
{
    Counts total;
    double time = 0;
    std::string suites;
    for (const PortSummary &port : ports) {
        const std::vector<TestCase> cases = testCases(port);
        const Counts counts = countsOf(cases);
        total.tests += counts.tests;
        total.failures += counts.failures;
        total.errors += counts.errors;
        total.skipped += counts.skipped;
        time = std::max(time, seconds(port));

        // The unit names its cases' class too, so that a CI server tells the units apart.
        const std::string unit = xml(port.unitId.empty() ? port.port : port.unitId);
        const std::string time = decimal(seconds(port), "%.3f");
        suites += "  <testsuite name=\"" + unit + "\"" +
                  countAttributes(counts, seconds(port), true) + " timestamp=\"" +
                  junitTimestamp(port.start) + "\" hostname=\"" + xml(identity.stationName) +
                  "\">\n    <properties>\n";
        suites += property("runId", port.runId);
        suites += property("invocationId", identity.invocationId);
        suites += property("protocols", identity.protocolsPath);
        suites += property("protocolsSha256", identity.protocolsSha256);
        suites += property("unitId", port.unitId);
        suites += property("operator", identity.operatorName);
        suites += property("station", identity.stationName);
        suites += property("port", port.port);
        for (const auto &[name, value] : {std::pair{"slot", &port.slot},
                                          {"fixture", &port.fixture},
                                          {"adapter", &port.adapter.byId},
                                          {"usbVendor", &port.adapter.vendor},
                                          {"usbProduct", &port.adapter.product},
                                          {"usbSerial", &port.adapter.serial}})
            if (!value->empty())
                suites += property(name, *value);
        if (port.golden)
            suites += property("golden", "true");
        suites += property("toolVersion", identity.toolName + " " + identity.toolVersion);
        const auto &status = port.record.lastStatus;
        suites += property("protocolName", status ? station::asUtf8(port.record.protocolName) : "");
        suites += property("protocol", status ? std::to_string(status->protocol) : "");
        suites += property("version", status ? std::to_string(status->version) : "");
        // The counts the decision was made on, by the words of the JSON summary.
        suites += property("polls", std::to_string(port.record.polls));
        suites += property("replies", std::to_string(port.record.replies));
        for (std::size_t i = 0; i < station::pollOutcomeCount; ++i)
            if (station::PollOutcome(i) != station::PollOutcome::Measured)
                suites += property(
                    "missed." + std::string(station::pollOutcomeName(station::PollOutcome(i))),
                    std::to_string(port.record.missed[i]));
        suites += "    </properties>\n";
        for (const TestCase &c : cases) {
            suites += "    <testcase classname=\"" + unit + "\" name=\"" + xml(c.name) +
                      "\" time=\"" + time + "\"";
            if (c.outcome.empty()) {
                suites += "/>\n";
                continue;
            }
            suites += ">\n      <" + c.outcome;
            if (!c.type.empty())
                suites += " type=\"" + c.type + "\"";
            suites += " message=\"" + xml(c.message) + "\"";
            if (c.outcome == "error")
                suites += ">" + xml(port.decision.message) + "</error>\n";
            else
                suites += "/>\n";
            suites += "    </testcase>\n";
        }
        suites +=
            "    <system-out>" + xml(port.decision.message) + "</system-out>\n  </testsuite>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" +
           xml(identity.toolName) + "\"" + countAttributes(total, time, false) + ">\n" + suites +
           "</testsuites>\n";
}

} // namespace engine
