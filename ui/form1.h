#pragma once

#include "bell.h"
#include "identity.h"
#include "portbox.h"
#include "resultfield.h"
#include "serialportcontroller.h"
#include "stationwindow.h"
#include "window.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>

namespace ui {

// Titles the start-up message; the window's own title has a trailing blank.
inline constexpr const char *applicationName = station::applicationName.data();

// The station's only window. It lays out the controls, implements what the station needs from a
// window, and forwards every event to StationWindow; it decides nothing itself.
class Form1 : public QWidget,
              public station::ResultFields,
              public station::Controls,
              public station::PollTimer,
              public station::Desktop
{
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up; call before the window is first shown. Returns false when the operator chose to
    // end the program.
    bool load();

    station::StationWindow &station() { return m_station; }
    port::SerialPortController &portController() { return comZyloq; }
    ResultField *field(station::Field field) const;

    // station::ResultFields
    void setText(station::Field field, std::string_view text) override;
    std::string text(station::Field field) const override;
    void setBackground(station::Field field, station::Colour colour) override;
    void repaintNow(station::Field field) override;
    void setToolTip(station::Field field, std::string_view hint) override;
    using QWidget::setToolTip;

    // station::Controls
    void setEnabled(station::Control control, bool enabled) override;
    using QWidget::setEnabled;
    std::string comPortText() const override;

    // station::PollTimer
    void setActive(bool active) override;

    // station::Desktop
    station::MessageButton askOkCancel(std::string_view text, std::string_view detail) override;
    void beep() override;
    void endProgram() override;
    void pause(std::chrono::milliseconds length) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void createControls();
    void makeComPortEditable();
    void setControlTabOrder();

    // The controls keep the system's own names on purpose, beside our m_ members: comZyloq,
    // Timer1, cmdStart and, in form1.cpp's table, odd ones such as lblCd (it shows "DTR - CD RTU"),
    // lclRts and lblData. Each is also the widget's object name, by which tests find it. Do not
    // rename them to our style. They are children of the window, like every control.
    port::SerialPortController comZyloq{this};
    QTimer Timer1{this};
    std::array<ResultField *, station::fieldCount> m_fields{};
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdStop = nullptr;
    PortBox *cmbComPort = nullptr;
    bool m_endRequested = false;
    Bell m_bell;
    station::StationWindow m_station;
};

} // namespace ui
