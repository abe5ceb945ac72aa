#include "shownverdict.h"

#include <QCoreApplication>
#include <QStringList>

#include <filesystem>

namespace line {

namespace {

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

QString joined(const std::vector<std::string> &items)
{
    QStringList list;
    for (const std::string &item : items)
        list << text(item);
    return list.join(QStringLiteral(", "));
}

// The decision's reason as one line: "no complete reply in 10 polls", "Error opening port...".
QString firstLines(const std::string &message)
{
    const std::size_t colon = message.find(':');
    QString why = text(message.substr(colon == std::string::npos ? 0 : colon + 2));
    return why.replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

QString tr(const char *words)
{
    return QCoreApplication::translate("line::LineWindow", words);
}

// Why a run has no verdict, as the operator can act on it.
QString operatorReason(const engine::PortSummary &summary)
{
    const engine::RunRecord &record = summary.record;
    const auto missed = [&](station::PollOutcome outcome) {
        return record.missed[static_cast<std::size_t>(outcome)];
    };
    if (record.startFailure)
        return std::filesystem::exists(summary.port)
                   ? tr("the adapter cannot be opened: check no other program uses it")
                   : tr("adapter missing: check the fixture cable");
    if (summary.decision.verdict == engine::RunVerdict::Interrupted)
        return tr("interrupted before its verdict");
    if (missed(station::PollOutcome::StationLate) > 0)
        return tr("the station was late, not the unit");
    if (record.replies == 0)
        return tr("no reply: check the unit is seated and the cable");
    if (missed(station::PollOutcome::Unanswered) > 0)
        return tr("replies missing: check the unit is seated and the cable");
    return tr("garbled replies: check the cable");
}

} // namespace

ShownVerdict shownVerdict(const engine::PortSummary &summary)
{
    const engine::RunDecision &decision = summary.decision;
    std::vector<std::string> failed, flapping;
    for (std::size_t line = 0; line < station::lineTestCount; ++line) {
        const std::string caption(station::fieldCaption(station::lineTestFields[line]));
        const engine::RunVerdict verdict = summary.record.lines[line].verdict();
        if (verdict == engine::RunVerdict::Fail)
            failed.push_back(caption);
        else if (verdict == engine::RunVerdict::Intermittent)
            flapping.push_back(caption);
    }
    for (const engine::ExpectationResult &expectation : decision.expectations)
        if (!expectation.seen.empty() && !expectation.met)
            failed.push_back(expectation.name + " " + expectation.seen.front() + ", expected " +
                             expectation.expected);
    ShownVerdict shown;
    shown.attempt = engine::isAttempt(summary.record, decision.verdict);
    // The engine's verdict, word for word: the store and the reports say the same.
    switch (decision.verdict) {
    case engine::RunVerdict::Pass:
        shown.shown = Shown::Pass;
        shown.disposition = tr("next unit");
        break;
    case engine::RunVerdict::Fail:
    case engine::RunVerdict::Intermittent:
        shown.shown =
            decision.verdict == engine::RunVerdict::Fail ? Shown::Fail : Shown::Intermittent;
        shown.detail = joined(failed.empty() ? flapping : failed);
        if (!failed.empty() && !flapping.empty())
            shown.detail += tr("; intermittent: %1").arg(joined(flapping));
        shown.disposition = failed.empty() ? tr("retest (unsteady: %1)").arg(joined(flapping))
                                           : tr("to repair: %1").arg(joined(failed));
        break;
    case engine::RunVerdict::Incomplete:
    case engine::RunVerdict::Interrupted:
    case engine::RunVerdict::None:
        shown.detail = firstLines(decision.message);
        if (!shown.attempt && decision.verdict == engine::RunVerdict::Incomplete)
            shown.detail += tr(" Not the unit's fault: test it again.");
        shown.disposition = operatorReason(summary) + tr("; retest");
        break;
    }
    return shown;
}

} // namespace line
