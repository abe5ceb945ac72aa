#include "resultfield.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>

namespace ui {

namespace {

// A result field as assistive technology sees it: its name, what it says as its text (the Text
// interface is what screen readers read out for a label), and "caption: value" as description.
class ResultFieldAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ResultFieldAccessible(ResultField *field)
        : QAccessibleWidget(field, QAccessible::StaticText)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Value:
            return value();
        case QAccessible::Description:
            return static_cast<const ResultField *>(object())->description();
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QString text(int startOffset, int endOffset) const override
    {
        return value().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(value().size()); }
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        return {};
    }

private:
    QString value() const { return static_cast<const ResultField *>(object())->spokenValue(); }
};

QAccessibleInterface *resultFieldAccessible(const QString &, QObject *object)
{
    if (auto *field = qobject_cast<ResultField *>(object))
        return new ResultFieldAccessible(field);
    return nullptr;
}

} // namespace

ResultField::ResultField(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    applyBackground();
}

void ResultField::installAccessibility()
{
    QAccessible::installFactory(resultFieldAccessible);
}

QColor ResultField::toQColor(station::Colour colour, const QPalette &palette)
{
    if (colour == station::ColourButtonFace)
        return palette.color(QPalette::Button);
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QString ResultField::spokenValue() const
{
    if (!m_indicator)
        return text();
    switch (m_colour) {
    case station::ColourButtonFace:
        return QStringLiteral("off");
    case station::ColourGreen:
        return QStringLiteral("on");
    case station::ColourRed:
        return QStringLiteral("on, the rows disagree");
    default:
        return QStringLiteral("on");
    }
}

QString ResultField::description() const
{
    QString caption = accessibleName();
    if (caption.endsWith(QLatin1String(" result")))
        caption.chop(7);
    QString described = caption + QStringLiteral(": ") + spokenValue();
    // The tooltip's lines as sentences: the system's reason, then what to do.
    if (!toolTip().isEmpty())
        described += QLatin1Char('.');
    for (QString line : toolTip().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (!line.endsWith(QLatin1Char('.')) && !line.endsWith(QLatin1Char('?')) &&
            !line.endsWith(QLatin1Char('!')))
            line += QLatin1Char('.');
        described += QLatin1Char(' ') + line;
    }
    return described;
}

void ResultField::setHint(const QString &hint)
{
    if (hint == toolTip())
        return;
    setToolTip(hint);
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent described(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

void ResultField::setValue(const QString &text)
{
    const QString before = spokenValue();
    setText(text);
    announce(before);
}

void ResultField::setBackground(station::Colour colour)
{
    const QString before = spokenValue();
    m_colour = colour;
    applyBackground();
    announce(before);
}

void ResultField::announce(const QString &before)
{
    const QString after = spokenValue();
    if (after == before || !QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent changed(this, 0, before, after);
    QAccessible::updateAccessibility(&changed);
    QAccessibleEvent described(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

void ResultField::applyBackground()
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, toQColor(m_colour, colours));
    setPalette(colours);
}

// The button face follows the desktop's colour scheme when it changes. Setting our own palette
// raises a palette change of its own, which finds the colour already right.
void ResultField::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    const bool schemeChanged =
        event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange;
    if (schemeChanged && m_colour == station::ColourButtonFace &&
        palette().color(QPalette::Window) != palette().color(QPalette::Button))
        applyBackground();
}

} // namespace ui
