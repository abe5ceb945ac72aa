#include "shownverdict.h"

#include <QCoreApplication>
#include <QStringList>

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
        break;
    case engine::RunVerdict::Fail:
    case engine::RunVerdict::Intermittent:
        shown.shown =
            decision.verdict == engine::RunVerdict::Fail ? Shown::Fail : Shown::Intermittent;
        shown.detail = joined(failed.empty() ? flapping : failed);
        if (!failed.empty() && !flapping.empty())
            shown.detail += tr("; intermittent: %1").arg(joined(flapping));
        break;
    case engine::RunVerdict::Incomplete:
    case engine::RunVerdict::Interrupted:
    case engine::RunVerdict::None:
        shown.detail = firstLines(decision.message);
        if (!shown.attempt && decision.verdict == engine::RunVerdict::Incomplete)
            shown.detail += tr(" Not the unit's fault: test it again.");
        break;
    }
    return shown;
}

} // namespace line
