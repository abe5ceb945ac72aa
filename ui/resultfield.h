#pragma once

#include "window.h"

#include <QLabel>

namespace ui {

// A display field the station writes: plain text (a protocol name such as "<b>x</b>" shows its
// brackets) on a background that is either a fixed colour or the style's button face.
class ResultField : public QLabel
{
    Q_OBJECT

public:
    explicit ResultField(QWidget *parent = nullptr);

    void setBackground(station::Colour colour);

    // 0x00BBGGRR to a Qt colour; ColourButtonFace is the palette's Button role.
    static QColor toQColor(station::Colour colour, const QPalette &palette);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyBackground();

    station::Colour m_colour = station::ColourButtonFace;
};

} // namespace ui
