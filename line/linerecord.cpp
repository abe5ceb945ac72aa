// The line window's runs put on record: the store, the drop folder and the plant, each off the
// window's thread.

#include "linewindow.h"

#include "evidencefile.h"

#include <QMetaObject>

namespace line {

namespace {

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

// The store and the drop folder are written on a thread of their own: a store that another
// program holds locked for seconds freezes neither the window nor any other slot's polls.
void LineWindow::keepOnRecord(std::size_t i, const engine::PortSummary &summary)
{
    m_recorder.start([this, i, summary, identity = m_identity, store = m_store,
                      drop = m_options.drop, before = m_standing] {
        QStringList notes;
        std::optional<Standings> standing;
        if (auto failure = engine::recordRuns(store, {summary}, identity))
            notes << tr("Not on record: %1").arg(text(failure->reason));
        else if (store.recorded)
            standing = standingAfter(summary, before);
        if (!drop.empty())
            if (const QString why = dropReports(drop, summary, identity); !why.isEmpty())
                notes << why;
        QMetaObject::invokeMethod(
            this,
            [this, i, unitId = summary.unitId, runId = summary.runId,
             note = notes.join(QLatin1Char(' ')), standing] {
                if (standing)
                    showStanding(*standing);
                if (m_plant && note.isEmpty())
                    m_plant->pushSoon();
                // The store counts the attempt now; a run it could not keep counts for nothing.
                std::erase(m_coming[unitId], runId);
                if (!note.isEmpty() && m_slots[i].unitId == unitId && !m_slots[i].run->isTesting())
                    m_slots[i].panel->say(m_slots[i].panel->note().isEmpty()
                                              ? note
                                              : m_slots[i].panel->note() + QLatin1Char(' ') + note);
            },
            Qt::QueuedConnection);
    });
}

// RUNID.json and RUNID.xml in the --drop folder, each whole or not at all.
QString LineWindow::dropReports(const std::string &folder, const engine::PortSummary &summary,
                                const engine::RunIdentity &identity)
{
    const std::string base = folder + "/" + summary.runId;
    const std::pair<std::string, std::string> reports[] = {
        {base + ".json", engine::summaryJson(summary, identity)},
        {base + ".xml", engine::junitXml({summary}, identity)}};
    for (const auto &[path, content] : reports) {
        std::optional<cli::EvidenceFile> file;
        if (const auto refused = cli::EvidenceFile::create(path, file))
            return tr("Not dropped: %1: %2").arg(text(path), text(*refused));
        std::string body = content;
        if (!body.empty() && body.back() == '\n')
            body.pop_back();
        if (!file->writeLine(body) || !file->finish()) {
            file->discard();
            return tr("Not dropped: %1: %2").arg(text(path), text(file->error()));
        }
    }
    return {};
}

} // namespace line
