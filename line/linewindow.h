#pragma once

// converter-line's window: a panel for each fixture slot, scanned unit after unit by keyboard,
// each run decided by the run engine and put on record.

#include "bell.h"
#include "identity.h"
#include "lineoptions.h"
#include "plantlink.h"
#include "runstore.h"
#include "shownverdict.h"
#include "slotpanel.h"
#include "slotrun.h"
#include "slotstanding.h"

#include <QPushButton>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace line {

class LineWindow : public QWidget
{
    Q_OBJECT
public:
    LineWindow(const Options &options, engine::RunIdentity identity, engine::StoreChoice store);
    ~LineWindow() override;

    // Ends every run under way as interrupted, each on record; the ports are closed.
    void interruptAll(int signalNumber);

    SlotPanel *panel(std::size_t slot) const { return m_slots[slot].panel; }
    // Why the protocol list cannot be read; empty when it can, or with --no-protocols.
    std::string protocolProblem() { return m_slots.front().run->protocolProblem(); }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Slot
    {
        FixtureSlot fixture;
        SlotPanel *panel = nullptr;
        std::unique_ptr<SlotRun> run;
        std::string unitId;
        int attempt = 0;
        QString last;           // "SN-1 PASS": the last verdict, named when its unit leaves
        bool answering = false; // a unit answers in the slot
        int silent = 0;         // polls unanswered in a row between runs
        // The last verdict's unit may still be seated: a unit has answered since that verdict
        // without a break of two polls.
        bool held = false;
        bool broken = false;          // the slot was empty, for a while, since the last verdict
        bool golden = false;          // the unit under test is a golden unit, verifying the slot
        cli::AdapterIdentity adapter; // as it was at the scan
        int asking = 0; // the plant's database is asked for the scanned unit: the request
    };
    void seen(std::size_t slot, Seat seat);
    void showCue();
    void scanned(std::size_t slot, const QString &text);
    bool isLastAttempt(const Slot &slot) const;
    // Why the unit may not be tested now; empty when it may. `attempts`: its attempts so far.
    QString refusal(std::size_t slot, const std::string &unitId, int &attempts, int &forwarded);
    void refuse(std::size_t slot, const std::string &unitId, const QString &why);
    // Tests the scanned unit, its attempts so far counted.
    void startScan(std::size_t slot, const std::string &unitId, int attempts,
                   bool moveFocus = true);
    void focusNext(std::size_t slot);
    // Asks the plant's database for the unit's attempts on every bench PC; goes on at the answer
    // or 300 ms, whichever comes first.
    void askPlant(std::size_t slot, const std::string &unitId, int attempts, int forwarded);
    void plantAnswered(std::size_t slot, int request, const std::string &unitId, int attempts,
                       int forwarded, std::optional<results::PlantAttempts> answer);
    void finished(std::size_t slot, const engine::PortSummary &summary);
    void keepOnRecord(std::size_t slot, const engine::PortSummary &summary);
    std::optional<Standings> standingAfter(const engine::PortSummary &run, const Standings &before);
    // Each slot's standing read again off the window's thread, then shown.
    void refreshStanding(bool startUp);
    void showStanding(const Standings &standing);
    QString recheckStanding(const std::string &slotName, bool golden);
    // The slot a unit failed in a suspect slot is retested in: the least suspect idle one.
    QString retestSlot(std::size_t failedIn) const;
    static QString dropReports(const std::string &folder, const engine::PortSummary &summary,
                               const engine::RunIdentity &identity);

    const Options &m_options;
    engine::RunIdentity m_identity;
    engine::StoreChoice m_store;
    RunSettings m_settings;
    std::vector<Slot> m_slots;
    std::map<std::string, int> m_sessionAttempts; // under --no-store
    // The run ids of each unit's attempts still being recorded.
    std::map<std::string, std::vector<std::string>> m_coming;
    ui::Bell m_sounds{"converter-line", std::string(station::lineDesktopId)};
    QPushButton *m_notReady = nullptr; // shown while the window does not have the keyboard
    QThreadPool m_recorder;            // one run recorded at a time, off the window's thread
    Standings m_standing;              // as last read; looked up at each scan
    QTimer m_standingTimer;            // maintenance and golden periods seen while idle
    std::unique_ptr<results::PlantLink> m_plant; // --plant: the plant's database
    int m_plantRequests = 0;
    // How long the last reading after a run took, and when it ended: the recorder's alone.
    std::chrono::steady_clock::time_point m_standingReadAt{};
    std::chrono::steady_clock::duration m_standingReadTook{};
};

} // namespace line
