#include "report.h"

#include "status.h"
#include "terminaltext.h"
#include "textencoding.h"
#include "timetags.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace engine {

using station::Field;

namespace {

constexpr std::string_view verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::NoTests:
        return "none";
    }
    return "none";
}

// The order of the text report: the window's fields from the top, the squares after the tests.
constexpr Field textOrder[] = {
    Field::lblProtocolResult,   Field::lblVersionResult, Field::lblDtrCdResult,
    Field::lblRtsCtsResult,     Field::lblCtsRtsResult,  Field::lblCdDtrResult,
    Field::lblTxRxResult,       Field::lblHardwareTs,    Field::lblHardwareNoTs,
    Field::lblSoftwareTs,       Field::lblSoftwareNoTs,  Field::lblRxDataResult,
    Field::lblTimeTagStartData, Field::lblTimeTagEndData};

} // namespace

bool carries(const Reply &reply, Field field)
{
    const station::FrameHandled &f = reply.frame;
    switch (field) {
    case Field::lblRxDataResult:
        return true;
    case Field::lblTimeTagStartData:
        return f.startTag.has_value();
    case Field::lblTimeTagEndData:
        return f.endTag.has_value();
    case Field::lblCommPortAvailable:
        return false;
    default:
        return f.status.has_value();
    }
}

std::string shownText(const Reply &reply, Field field)
{
    const station::FrameHandled &h = reply.frame;
    const auto &status = h.status;
    if (station::isTsSquare(field))
        return colourName(
            status ? station::tsSquareColour(field, status->softwareTs, status->hardwareTs)
                   : station::ColourButtonFace);
    switch (field) {
    case Field::lblProtocolResult:
        return status ? station::asUtf8(h.protocolName) : "";
    case Field::lblVersionResult:
        return status ? station::versionText(status->version) : "";
    case Field::lblRxDataResult:
        return station::hexText(h.bytes);
    case Field::lblTimeTagStartData:
        return h.startTag ? station::tagText(*h.startTag) : "";
    case Field::lblTimeTagEndData:
        return h.endTag ? station::tagText(*h.endTag) : "";
    default:
        break;
    }
    for (std::size_t i = 0; i < station::lineTestCount; ++i)
        if (station::lineTestFields[i] == field)
            return status ? std::string(station::lineTestText(status->linesOk[i])) : "";
    return "";
}

std::string_view noVerdictReason(const Reply &reply)
{
    switch (reply.frame.reading) {
    case station::FrameReading::Decoded:
        return {};
    case station::FrameReading::TooShort:
        return station::pollOutcomeReason(station::PollOutcome::TooShort);
    case station::FrameReading::NoFrameHead:
        return station::pollOutcomeReason(station::PollOutcome::NoHead);
    case station::FrameReading::Tail:
        return "the tail of a reply to the poll before, still arriving when this poll left";
    case station::FrameReading::Flood:
        return station::pollOutcomeReason(station::PollOutcome::Flood);
    }
    return {};
}

Verdict verdictOf(const Reply &reply)
{
    if (!reply.frame.status)
        return Verdict::NoTests;
    return reply.frame.status->anyLineFailed() ? Verdict::Fail : Verdict::Pass;
}

std::vector<std::string_view> failedTests(const Reply &reply)
{
    std::vector<std::string_view> failed;
    if (verdictOf(reply) == Verdict::NoTests)
        return failed;
    for (std::size_t i = 0; i < station::lineTestCount; ++i)
        if (!reply.frame.status->linesOk[i])
            failed.push_back(station::fieldCaption(station::lineTestFields[i]));
    return failed;
}

std::string colourName(station::Colour colour)
{
    switch (colour) {
    case station::ColourGreen:
        return "green";
    case station::ColourRed:
        return "red";
    case station::ColourButtonFace:
        return "buttonface";
    default: {
        char name[16];
        std::snprintf(name, sizeof name, "#%06X", static_cast<unsigned>(colour & 0xFFFFFF));
        return name;
    }
    }
}

std::string textReport(const Reply &reply, const ReportHeading &heading)
{
    const bool tail = reply.frame.reading == station::FrameReading::Tail;
    std::string out = (tail ? "Tail of a late reply, in poll " : "Reply to poll ") +
                      std::to_string(reply.poll) + " at " + utcTimestamp(reply.receivedAt) +
                      "\nPort: " + heading.port + "\n";
    if (!heading.unitId.empty())
        out += "Unit: " + heading.unitId + "\n";
    for (const Field field : textOrder)
        out += std::string(station::fieldCaption(field)) + ": " +
               (carries(reply, field) ? shownText(reply, field) : "(not in this reply)") + "\n";
    switch (verdictOf(reply)) {
    case Verdict::Pass:
        out += "Verdict: pass\n";
        break;
    case Verdict::Fail: {
        out += "Verdict: fail (";
        const auto failed = failedTests(reply);
        for (std::size_t i = 0; i < failed.size(); ++i)
            out += (i ? ", " : "") + std::string(failed[i]);
        out += ")\n";
        break;
    }
    case Verdict::NoTests:
        out += "Verdict: none (" + std::string(noVerdictReason(reply)) + ")\n";
        break;
    }
    return out;
}

std::string jsonReport(const Reply &reply, const ReportHeading &heading)
{
    std::string out = "{\"record\":\"reply\",\"runId\":" + jsonString(heading.runId) +
                      ",\"invocationId\":" + jsonString(heading.invocationId) +
                      ",\"port\":" + jsonString(heading.port) +
                      ",\"unitId\":" + optionalJson(heading.unitId) +
                      ",\"timestamp\":" + jsonString(utcTimestamp(reply.receivedAt)) +
                      ",\"poll\":" + std::to_string(reply.poll) + ",\"raw\":";
    std::string raw = station::hexText(reply.frame.bytes);
    std::erase(raw, ' ');
    const std::string_view reason = noVerdictReason(reply);
    out += jsonString(raw) + ",\"verdict\":" + jsonString(verdictName(verdictOf(reply))) +
           ",\"reason\":" + (reason.empty() ? "null" : jsonString(reason)) + ",\"failed\":[";
    const auto failed = failedTests(reply);
    for (std::size_t i = 0; i < failed.size(); ++i)
        out += (i ? "," : "") + jsonString(failed[i]);
    out += "]";
    for (std::size_t i = 0; i < station::fieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        out += "," + jsonString(station::fieldName(field)) + ":" +
               (carries(reply, field) ? jsonString(shownText(reply, field)) : "null");
    }
    return out + "}";
}

} // namespace engine
