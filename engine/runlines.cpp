#include "runreport.h"

#include "report.h"

#include <algorithm>
#include <array>

// What a run prints as lines of text: its progress, its capture's header and the closing table.

namespace engine {

namespace {

std::string lineCaption(std::size_t i)
{
    return std::string(station::fieldCaption(station::lineTestFields[i]));
}

std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

} // namespace

std::string progressLine(int polls, std::chrono::seconds elapsed,
                         const std::vector<std::pair<std::string, const RunRecord *>> &ports)
{
    std::string line = "poll " + std::to_string(ports.front().second->polls) + " of " +
                       std::to_string(polls) + ", " + std::to_string(elapsed.count()) + " s";
    for (const auto &[name, record] : ports) {
        bool failed = false;
        for (const LineTally &tally : record->lines)
            failed = failed || tally.error > 0;
        line +=
            "; " + name +
            (failed                      ? " fail"
             : record->missedCount() > 0 ? " " + std::to_string(record->missedCount()) + " missed"
             : record->measured > 0      ? " pass so far"
                                         : " waiting");
    }
    return line;
}

std::vector<std::string> captureFacts(const ReportHeading &heading, const RunIdentity &identity)
{
    std::vector<std::string> facts{"run " + heading.runId, "invocation " + identity.invocationId};
    if (!heading.unitId.empty())
        facts.push_back("unit " + heading.unitId);
    if (!identity.operatorName.empty())
        facts.push_back("operator " + identity.operatorName);
    facts.push_back("station " + identity.stationName);
    facts.push_back("tool " + identity.toolName + " " + identity.toolVersion);
    facts.push_back(identity.protocolsPath.empty() ? "protocols none"
                                                   : "protocols " + identity.protocolsPath +
                                                         " sha256 " + identity.protocolsSha256);
    return facts;
}

std::string summaryTable(const std::vector<PortSummary> &ports)
{
    std::vector<std::array<std::string, 4>> rows{{"PORT", "UNIT", "VERDICT", "LINES"}};
    for (const PortSummary &port : ports) {
        std::string lines;
        for (std::size_t i = 0; i < station::lineTestCount; ++i) {
            const RunVerdict verdict = port.record.lines[i].verdict();
            if (verdict == RunVerdict::Fail || verdict == RunVerdict::Intermittent)
                lines += (lines.empty() ? "" : ", ") + lineCaption(i) +
                         (verdict == RunVerdict::Intermittent ? " (intermittent)" : "");
        }
        for (const ExpectationResult &e : port.decision.expectations)
            if (!e.seen.empty() && !e.met)
                lines += (lines.empty() ? "" : ", ") + e.name + " (expected " + e.expected + ")";
        if (port.decision.exitStatus >= 2)
            lines = firstLine(port.decision.message);
        rows.push_back({port.port, port.unitId.empty() ? "-" : port.unitId,
                        std::string(runVerdictName(port.decision.verdict)), lines});
    }
    std::array<std::size_t, 3> widths{};
    for (const auto &row : rows)
        for (std::size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    std::string out;
    for (const auto &row : rows) {
        std::string line;
        for (std::size_t column = 0; column < widths.size(); ++column)
            line += row[column] + std::string(widths[column] - row[column].size() + 2, ' ');
        line += row[3];
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

} // namespace engine
