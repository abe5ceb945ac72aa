#include "resultfield.h"

#include <QEvent>

namespace ui {

ResultField::ResultField(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    applyBackground();
}

QColor ResultField::toQColor(station::Colour colour, const QPalette &palette)
{
    if (colour == station::ColourButtonFace)
        return palette.color(QPalette::Button);
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

void ResultField::setBackground(station::Colour colour)
{
    m_colour = colour;
    applyBackground();
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
