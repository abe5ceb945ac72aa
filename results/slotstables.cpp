#include "slotstables.h"

#include "resultstables.h"
#include "terminaltext.h"

#include <cstdio>

namespace results {

namespace {

std::string number(double value, const char *format)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string lineName(std::size_t line, const std::vector<std::string> &names)
{
    return line < names.size() && !names[line].empty() ? names[line]
                                                       : "line " + std::to_string(line);
}

} // namespace

std::string slotsTable(const std::vector<attribution::SlotFigures> &slots,
                       const std::vector<std::string> &lineNames)
{
    std::vector<std::vector<std::string>> rows = {{"STATION", "SLOT", "PORT", "RUNS", "FAILED",
                                                   "RATE", "OTHERS", "P", "MARKS", "STATE",
                                                   "WORST LINE"}};
    std::string evidence;
    for (const attribution::SlotFigures &slot : slots) {
        const attribution::LineFigures *worst = nullptr;
        for (const attribution::LineFigures &line : slot.lines)
            if (line.failed + line.intermittent > 0 && (!worst || line.p < worst->p))
                worst = &line;
        rows.push_back(
            {slot.station.empty() ? "-" : slot.station, slot.slot, slot.port,
             std::to_string(slot.runs), std::to_string(slot.bad), number(slot.rate * 100, "%.1f%%"),
             number(slot.pooled * 100, "%.1f%%"), number(slot.p, "%.2g"),
             std::to_string(slot.marks) + "/" + std::to_string(slot.unitFaults),
             attribution::stateName(slot.state),
             worst ? lineName(worst->line, lineNames) + " " + number(worst->rate * 100, "%.1f%%")
                   : "-"});
        for (const std::string &mark : slot.evidence)
            evidence += "  " + cli::printable(mark, 400) + "\n";
    }
    return table(rows) +
           (evidence.empty()
                ? ""
                : "\nMarks (a unit that failed in a slot and passed in another):\n" + evidence);
}

std::string slotsJson(const std::vector<attribution::SlotFigures> &slots,
                      const std::vector<std::string> &lineNames)
{
    std::string out = "[";
    for (const attribution::SlotFigures &slot : slots) {
        std::string lines, evidence;
        for (const attribution::LineFigures &line : slot.lines)
            lines += std::string(lines.empty() ? "" : ",") +
                     "{\"line\":" + cli::jsonString(lineName(line.line, lineNames)) +
                     ",\"failed\":" + std::to_string(line.failed) +
                     ",\"intermittent\":" + std::to_string(line.intermittent) +
                     ",\"rate\":" + number(line.rate, "%.4f") +
                     ",\"pooled\":" + number(line.pooled, "%.4f") +
                     ",\"p\":" + number(line.p, "%.4g") + "}";
        for (const std::string &mark : slot.evidence)
            evidence += std::string(evidence.empty() ? "" : ",") + cli::jsonString(mark);
        out +=
            std::string(out.size() > 1 ? ",\n" : "") +
            "{\"station\":" + cli::jsonString(slot.station) +
            ",\"slot\":" + cli::jsonString(slot.slot) + ",\"port\":" + cli::jsonString(slot.port) +
            ",\"fixture\":" + cli::optionalJson(slot.fixture) +
            ",\"adapter\":" + cli::optionalJson(slot.adapter) +
            ",\"runs\":" + std::to_string(slot.runs) + ",\"failed\":" + std::to_string(slot.bad) +
            ",\"rate\":" + number(slot.rate, "%.4f") +
            ",\"pooled\":" + number(slot.pooled, "%.4f") + ",\"p\":" + number(slot.p, "%.4g") +
            ",\"marks\":" + std::to_string(slot.marks) +
            ",\"unitFaults\":" + std::to_string(slot.unitFaults) +
            ",\"state\":" + cli::jsonString(attribution::stateName(slot.state)) + ",\"lines\":[" +
            lines + "],\"evidence\":[" + evidence + "]}";
    }
    return out + "]\n";
}

std::string fixturesTable(const std::vector<store::Life> &lives)
{
    std::vector<std::vector<std::string>> rows = {{"KIND", "STATION", "NAME", "FIXTURE", "RUNNING",
                                                   "TOTAL", "WARN", "ALARM", "STATE",
                                                   "LAST MAINTENANCE"}};
    const auto limit = [](std::int64_t value) {
        return value ? std::to_string(value) : std::string("-");
    };
    for (const store::Life &life : lives)
        rows.push_back(
            {life.kind, life.station.empty() ? "-" : life.station, life.name,
             life.fixture.empty() ? "-" : life.fixture, std::to_string(life.running),
             std::to_string(life.total), limit(life.warn), limit(life.alarm), life.state(),
             life.last.at.empty()
                 ? "-"
                 : life.last.at.substr(0, 19) + " " + life.last.byWhom + ": " + life.last.note});
    return table(rows);
}

std::string fixturesJson(const std::vector<store::Life> &lives)
{
    std::string out;
    for (const store::Life &life : lives)
        out += std::string(out.empty() ? "" : ",\n") + "{\"kind\":" + cli::jsonString(life.kind) +
               ",\"station\":" + cli::jsonString(life.station) +
               ",\"name\":" + cli::jsonString(life.name) +
               ",\"fixture\":" + cli::optionalJson(life.fixture) +
               ",\"running\":" + std::to_string(life.running) +
               ",\"total\":" + std::to_string(life.total) +
               ",\"warn\":" + (life.warn ? std::to_string(life.warn) : "null") +
               ",\"alarm\":" + (life.alarm ? std::to_string(life.alarm) : "null") +
               ",\"state\":" + cli::jsonString(life.state()) + ",\"lastMaintenance\":" +
               (life.last.at.empty() ? std::string("null")
                                     : "{\"at\":" + cli::jsonString(life.last.at) +
                                           ",\"by\":" + cli::optionalJson(life.last.byWhom) +
                                           ",\"note\":" + cli::jsonString(life.last.note) + "}") +
               "}";
    return "[" + out + "]\n";
}

} // namespace results
