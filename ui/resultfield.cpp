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

// The button face follows the desktop's colour scheme when it changes.
void ResultField::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::StyleChange && m_colour == station::ColourButtonFace)
        applyBackground();
}

} // namespace ui
