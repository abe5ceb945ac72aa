#pragma once

// One fixture slot on screen: its name and port, the field a scanner types the unit's serial
// number into, why a scan was refused, and the verdict, large, in words, shape and colour.

#include <QFrame>
#include <QLabel>
#include <QLineEdit>

#include <functional>

namespace line {

// Takes the focus with its whole text selected, so that a scan replaces the last unit's id.
class UnitField : public QLineEdit
{
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent *event) override;
};

enum class Shown {
    Waiting,
    Testing,
    Pass,
    Fail,
    Intermittent,
    Incomplete,
    NotTested,
    Removed,   // the unit of the last verdict left the slot
    Seated,    // a unit answers in the slot: scan it
    NoAdapter, // the slot's port is missing
    Golden,    // the slot waits for a golden unit to pass in it
    Worn,      // the slot's connector reached its counter's alarm: maintenance is due
};

// A unit's verdict, as opposed to the slot's state between units.
inline bool isVerdict(Shown shown)
{
    return shown == Shown::Pass || shown == Shown::Fail || shown == Shown::Intermittent ||
           shown == Shown::Incomplete;
}

// The verdict: "Verdict NAME" to assistive technology, its description the verdict's words,
// sent as a change each time it changes.
class VerdictView : public QLabel
{
    Q_OBJECT
public:
    explicit VerdictView(const QString &slotName, QWidget *parent = nullptr);
    // `unitId`: the unit the verdict is of, named in the description: a screen reader never
    // hears a verdict without the unit it belongs to.
    void show(Shown shown, const QString &words, const QString &detail,
              const QString &unitId = QString());
    Shown shown() const { return m_shown; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitText();
    Shown m_shown = Shown::Waiting;
};

class SlotPanel : public QFrame
{
    Q_OBJECT
public:
    SlotPanel(const QString &name, const QString &port, QWidget *parent = nullptr);

    UnitField *field() const { return m_field; }
    VerdictView *verdict() const { return m_verdict; }
    QString note() const { return m_note->text(); }
    QString unitShown() const { return m_unit->text(); }
    // Beside the field, large: why a scan was refused, or what else the operator should know;
    // it stays until the next scan or Escape.
    void say(const QString &message);
    // A refused scan: the unit named, and why, in place of whatever verdict was there.
    void showRefused(const QString &unitId, const QString &why);
    // `lastAttempt`: the unit goes to repair unless this run passes, and the slot says so.
    void showTesting(const QString &unitId, int attempt, int polls, int of, bool lastAttempt);
    // The verdict, latched until the next scan or the unit's removal, with the unit, its
    // attempt and the time. `detail`: what failed, for the description; `disposition`: what to
    // do with the unit, in the operator's words, large (the detail when empty); `message`: the
    // run's whole decision, as a tooltip.
    void showVerdict(Shown shown, const QString &unitId, int attempt, const QString &detail,
                     const QString &disposition = QString(), const QString &message = QString());
    // The slot between units: Waiting, Removed, Seated or NoAdapter; no unit is named.
    void showState(Shown shown, const QString &detail = QString());
    // This slot takes the next scan: a frame in the accent colour and "SCAN HERE".
    void setCue(bool next);
    // What is known of the slot itself, under its title: a watch or suspect state with its
    // evidence, a connector near its counter's limit; hidden when empty. `alarm`: red, else amber.
    void setBand(const QString &text, bool alarm);
    QString band() const;

    // Enter in the unit field, with what it holds.
    std::function<void(const QString &)> onScan;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showUnit(const QString &unitId, int attempt);

    UnitField *m_field;
    QLabel *m_note;
    VerdictView *m_verdict;
    QLabel *m_detail; // the failed lines, or why there is no verdict
    QLabel *m_unit;
    QLabel *m_cue;
    QLabel *m_band;
    bool m_next = false;
};

} // namespace line
