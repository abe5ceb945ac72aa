#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace station {

// The display elements the station writes, named after their controls.
enum class Field {
    lblProtocolResult,
    lblVersionResult,
    lblDtrCdResult,
    lblRtsCtsResult,
    lblCtsRtsResult,
    lblCdDtrResult,
    lblTxRxResult,
    lblRxDataResult,
    lblTimeTagStartData,
    lblTimeTagEndData,
    lblHardwareTs,
    lblSoftwareTs,
    lblHardwareNoTs,
    lblSoftwareNoTs,
    // The window has it, but the station never writes it.
    lblCommPortAvailable,
    NFields // not a field: counts them, so keep it last
};
inline constexpr std::size_t fieldCount = static_cast<std::size_t>(Field::NFields);

// The control's name, such as "lblTxRxResult".
std::string_view fieldName(Field field);
// The caption the window shows beside the field, such as "TX - RX RTU" or "Hardware TS".
std::string_view fieldCaption(Field field);

// The five line tests, top to bottom as the window shows them.
inline constexpr std::size_t lineTestCount = 5;
inline constexpr Field lineTestFields[lineTestCount] = {
    Field::lblDtrCdResult, Field::lblRtsCtsResult, Field::lblCtsRtsResult, Field::lblCdDtrResult,
    Field::lblTxRxResult};

// The four TS squares: the TS column, then the No TS column, each from the top.
inline constexpr Field tsSquareFields[] = {Field::lblHardwareTs, Field::lblSoftwareTs,
                                           Field::lblHardwareNoTs, Field::lblSoftwareNoTs};
bool isTsSquare(Field field);

// Colours in the 0x00BBGGRR form. ColourButtonFace is not a fixed colour: it stands for the
// desktop's button-face colour, which is also what every field starts with.
using Colour = std::uint32_t;
inline constexpr Colour ColourGreen = 0x00FF00;
inline constexpr Colour ColourRed = 0x0000FF;
inline constexpr Colour ColourButtonFace = 0x8000000F;

class ResultFields
{
public:
    virtual ~ResultFields() = default;
    virtual void setText(Field field, std::string_view text) = 0;
    virtual std::string text(Field field) const = 0;
    virtual void setBackground(Field field, Colour colour) = 0;
    virtual void repaintNow(Field field) = 0;
    // A hint shown when the operator hovers over the field; empty removes it.
    virtual void setToolTip(Field field, std::string_view hint) = 0;
};

enum class Control {
    cmdStart,
    cmdStop,
    cmbComPort,
    NControls // not a control: counts them, so keep it last
};
inline constexpr std::size_t controlCount = static_cast<std::size_t>(Control::NControls);

class Controls
{
public:
    virtual ~Controls() = default;
    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual std::string comPortText() const = 0;
};

class PollTimer
{
public:
    virtual ~PollTimer() = default;
    virtual void setActive(bool active) = 0;
};

enum class MessageButton { Ok, Cancel };

class Desktop
{
public:
    virtual ~Desktop() = default;
    // Modal; OK is the default button. `detail` says more, under the text.
    virtual MessageButton askOkCancel(std::string_view text, std::string_view detail) = 0;
    virtual void beep() = 0;
    virtual void endProgram() = 0;
    // Holds the user-interface thread without handling any event.
    virtual void pause(std::chrono::milliseconds length) = 0;
};

} // namespace station
