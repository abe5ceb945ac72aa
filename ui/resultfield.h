#pragma once

#include "window.h"

#include <QLabel>

namespace ui {

// A display field the station writes: plain text (a protocol name such as "<b>x</b>" shows its
// brackets) on a background that is either a fixed colour or the style's button face.
//
// Assistive technology reads what the field says, not only its name: a result field's text ("TX -
// RX RTU result" says "Error"), an indicator square's colour in words. Each change is announced.
class ResultField : public QLabel
{
    Q_OBJECT

public:
    explicit ResultField(QWidget *parent = nullptr);

    // For the TS squares, whose meaning is their colour alone.
    void setIndicator(bool indicator) { m_indicator = indicator; }

    void setValue(const QString &text);
    void setBackground(station::Colour colour);
    // The tooltip: why the field says what it says, and what to do. Screen readers hear it as
    // part of the field's description.
    void setHint(const QString &hint);

    // "RX Data: Error opening port", then the hint, if any, as one line.
    QString description() const;

    // What the field says, in words: its text, or for a square "off", "on", or "on, the rows
    // disagree".
    QString spokenValue() const;

    // 0x00BBGGRR to a Qt colour; ColourButtonFace is the palette's Button role.
    static QColor toQColor(station::Colour colour, const QPalette &palette);

    // Makes Qt's accessibility bridge use the interface above for every ResultField; once per
    // process, before the first window shows.
    static void installAccessibility();

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyBackground();
    void announce(const QString &before);

    station::Colour m_colour = station::ColourButtonFace;
    bool m_indicator = false;
};

} // namespace ui
