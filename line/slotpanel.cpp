#include "slotpanel.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPainter>
#include <QShortcut>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

namespace line {

namespace {

struct Look
{
    const char *symbol; // the verdict's shape, for those who cannot tell its colour
    QColor background;
    QColor text;
};

Look lookOf(Shown shown)
{
    switch (shown) {
    case Shown::Waiting:
        return {"", QColor(0xEE, 0xEE, 0xEE), Qt::black};
    case Shown::Testing:
        return {"\u25B6 ", QColor(0x15, 0x65, 0xC0), Qt::white};
    case Shown::Pass:
        return {"\u2714 ", QColor(0x1B, 0x7F, 0x2A), Qt::white};
    case Shown::Fail:
        return {"\u2718 ", QColor(0xC6, 0x28, 0x28), Qt::white};
    case Shown::Intermittent:
        return {"\u26A0 ", QColor(0xF9, 0xA8, 0x25), Qt::black};
    case Shown::Incomplete:
        return {"? ", QColor(0x75, 0x75, 0x75), Qt::white};
    case Shown::NotTested:
        return {"\u2298 ", QColor(0x21, 0x21, 0x21), Qt::white};
    case Shown::Removed:
        return {"\u2013 ", QColor(0xE0, 0xE0, 0xE0), QColor(0x61, 0x61, 0x61)};
    case Shown::Seated:
        return {"\u25B7 ", QColor(0xBB, 0xDE, 0xFB), QColor(0x0D, 0x47, 0xA1)};
    case Shown::NoAdapter:
        return {"\u26A1 ", QColor(0x4E, 0x34, 0x2E), Qt::white};
    case Shown::Golden:
        return {"\u2605 ", QColor(0x6A, 0x1B, 0x9A), Qt::white};
    case Shown::Worn:
        return {"\u2692 ", QColor(0xBF, 0x36, 0x0C), Qt::white};
    }
    return {"", Qt::white, Qt::black};
}

} // namespace

void UnitField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    // At once, before the scanner's first key; after a click once the press has placed the
    // cursor.
    selectAll();
    if (event->reason() == Qt::MouseFocusReason)
        QTimer::singleShot(0, this, &QLineEdit::selectAll);
}

VerdictView::VerdictView(const QString &slotName, QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setAutoFillBackground(true);
    setMinimumHeight(90);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(tr("Verdict %1").arg(slotName));
    show(Shown::Waiting, tr("SCAN A UNIT"), QString());
}

void VerdictView::show(Shown shown, const QString &words, const QString &detail,
                       const QString &unitId)
{
    m_shown = shown;
    const Look look = lookOf(shown);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, look.background);
    colours.setColor(QPalette::WindowText, look.text);
    setPalette(colours);
    setText(QString::fromUtf8(look.symbol) + words);
    const QString named = unitId.isEmpty() ? words : words + QLatin1Char(' ') + unitId;
    const QString description = detail.isEmpty() ? named : named + QStringLiteral(": ") + detail;
    if (description == accessibleDescription())
        return;
    setAccessibleDescription(description);
    if (QAccessible::isActive()) {
        QAccessibleEvent described(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
}

void VerdictView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitText();
}

// As large as the slot allows, never under 48 px: readable from two metres.
void VerdictView::fitText()
{
    QFont face = font();
    face.setBold(true);
    face.setPixelSize(std::max(48, std::min(height() / 3, width() / 9)));
    setFont(face);
}

SlotPanel::SlotPanel(const QString &name, const QString &port, QWidget *parent)
    : QFrame(parent), m_field(new UnitField(this)), m_note(new QLabel(this)),
      m_verdict(new VerdictView(name, this)), m_detail(new QLabel(this)), m_unit(new QLabel(this)),
      m_cue(new QLabel(tr("SCAN HERE \u25BC"), this)), m_band(new QLabel(this))
{
    // Everything under the verdict readable from two metres too.
    QFont large = font();
    large.setBold(true);
    large.setPixelSize(26);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->setContentsMargins(12, 10, 12, 10);
    auto *top = new QHBoxLayout;
    auto *title = new QLabel(tr("Slot %1 \u2014 %2").arg(name, port), this);
    title->setFont(large);
    // A port's by-path name is long: it is cut short rather than widen the slot off the screen.
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    title->setToolTip(port);
    top->addWidget(title, 1);
    m_cue->setFont(large);
    m_cue->setStyleSheet(QStringLiteral("color: white; background: #1565C0; padding: 2px 10px;"));
    m_cue->setAccessibleName(tr("Next scan %1").arg(name));
    m_cue->hide();
    top->addWidget(m_cue);
    layout->addLayout(top);
    m_band->setFont(large);
    m_band->setWordWrap(true);
    m_band->setAccessibleName(tr("Slot state %1").arg(name));
    m_band->hide();
    layout->addWidget(m_band);
    m_field->setAccessibleName(tr("Unit %1").arg(name));
    m_field->setPlaceholderText(tr("scan the unit's serial number"));
    m_field->setFont(large);
    layout->addWidget(m_field);
    m_note->setWordWrap(true);
    m_note->setFont(large);
    // A band over the slot, above its run while it tests, until the next scan or Escape.
    m_note->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: #C62828; padding: 4px; }"));
    m_note->setAccessibleName(tr("Note %1").arg(name));
    layout->addWidget(m_note);
    m_note->hide();
    layout->addWidget(m_verdict, 1);
    m_detail->setFont(large);
    m_detail->setWordWrap(true);
    m_detail->setAccessibleName(tr("Why %1").arg(name));
    m_detail->setObjectName(QStringLiteral("why"));
    layout->addWidget(m_detail);
    m_unit->setFont(large);
    m_unit->setWordWrap(true);
    m_unit->setAccessibleName(tr("Unit tested %1").arg(name));
    m_unit->setObjectName(QStringLiteral("unit"));
    layout->addWidget(m_unit);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (onScan)
            onScan(m_field->text());
    });
    // The operator has read the note.
    auto *acknowledge = new QShortcut(QKeySequence(Qt::Key_Escape), m_field);
    acknowledge->setContext(Qt::WidgetShortcut);
    connect(acknowledge, &QShortcut::activated, this, [this] { say(QString()); });
}

namespace {

// A label's text is read out as its description: its name says which label of which slot.
void describe(QLabel *label, const QString &text)
{
    label->setText(text);
    if (label->accessibleDescription() == text)
        return;
    label->setAccessibleDescription(text);
    if (QAccessible::isActive()) {
        QAccessibleEvent described(label, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
}

} // namespace

void SlotPanel::say(const QString &message)
{
    describe(m_note, message);
    m_note->setVisible(!message.isEmpty());
}

void SlotPanel::showUnit(const QString &unitId, int attempt)
{
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    describe(m_unit, attempt ? tr("%1, attempt %2, %3").arg(unitId).arg(attempt).arg(at)
                             : tr("%1, not counted as an attempt, %2").arg(unitId, at));
}

void SlotPanel::showTesting(const QString &unitId, int attempt, int polls, int of, bool lastAttempt)
{
    const QString last = lastAttempt ? tr("LAST ATTEMPT") : QString();
    m_verdict->show(Shown::Testing, tr("TESTING"),
                    (lastAttempt ? last + QStringLiteral(", ") : QString()) +
                        tr("poll %1 of %2").arg(polls).arg(of),
                    unitId);
    m_verdict->setText(m_verdict->text() + QLatin1Char('\n') +
                       (lastAttempt ? last + QLatin1Char('\n') : QString()) +
                       tr("%1 of %2").arg(polls).arg(of));
    describe(m_detail, QString());
    showUnit(unitId, attempt);
}

namespace {

const char *const shownWords[] = {
    QT_TRANSLATE_NOOP("line::SlotPanel", "SCAN A UNIT"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "TESTING"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "PASS"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "FAIL"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "INTERMITTENT"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "INCOMPLETE"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "NOT TESTED"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "REMOVED"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "UNIT SEATED \u2014 SCAN IT"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "NO ADAPTER"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "RUN THE GOLDEN UNIT"),
    QT_TRANSLATE_NOOP("line::SlotPanel", "MAINTENANCE DUE")};

} // namespace

void SlotPanel::showVerdict(Shown shown, const QString &unitId, int attempt, const QString &detail,
                            const QString &disposition, const QString &message)
{
    m_verdict->show(shown, tr(shownWords[static_cast<int>(shown)]), detail, unitId);
    m_verdict->setToolTip(message);
    describe(m_detail, disposition.isEmpty() ? detail : disposition);
    showUnit(unitId, attempt);
}

void SlotPanel::showState(Shown shown, const QString &detail)
{
    m_verdict->show(shown, tr(shownWords[static_cast<int>(shown)]), detail);
    m_verdict->setToolTip(QString());
    describe(m_detail, detail);
    describe(m_unit, QString());
}

void SlotPanel::setBand(const QString &text, bool alarm)
{
    m_band->setStyleSheet(alarm
                              ? QStringLiteral("color: white; background: #C62828; padding: 4px;")
                              : QStringLiteral("color: black; background: #F9A825; padding: 4px;"));
    describe(m_band, text);
    m_band->setVisible(!text.isEmpty());
}

QString SlotPanel::band() const
{
    return m_band->text();
}

void SlotPanel::setCue(bool next)
{
    m_cue->setVisible(next);
    m_next = next;
    update();
}

// The frame is painted, not styled: a style sheet here would override the verdict's colours.
void SlotPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (!m_next)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(0x15, 0x65, 0xC0), 6));
    painter.drawRect(rect().adjusted(3, 3, -3, -3));
}

void SlotPanel::showRefused(const QString &unitId, const QString &why)
{
    m_verdict->show(Shown::NotTested, tr("NOT TESTED"), why, unitId);
    m_verdict->setToolTip(QString());
    describe(m_detail, why);
    describe(m_unit, unitId.isEmpty() ? tr("no unit scanned") : unitId);
}

} // namespace line
