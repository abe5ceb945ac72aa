#include "status.h"

#include <string>

namespace station {

namespace {

constexpr std::uint8_t numberMask = 0x3F;
constexpr std::uint8_t tsFlag = 0x80;

struct LineTest
{
    Field field;
    std::uint8_t bit;
    // Reply positions 5 to 9 as offsets from position 5: the sample that must carry the bit,
    // and the samples that must not.
    int setIn;
    int clearIn[2];
    int clearCount;
};

// Each test wants its bit set in exactly one sample of its side and clear in the others.
constexpr LineTest lineTests[] = {
    {Field::lblCdDtrResult, 0x10, 0, {1, 0}, 1},  // CD - DTR CPU
    {Field::lblCtsRtsResult, 0x08, 1, {0, 0}, 1}, // CTS - RTS CPU
    {Field::lblRtsCtsResult, 0x02, 2, {3, 4}, 2}, // RTS - CTS RTU
    {Field::lblDtrCdResult, 0x01, 3, {2, 4}, 2},  // DTR - CD RTU
    {Field::lblTxRxResult, 0x20, 4, {2, 3}, 2},   // TX - RX RTU
};

void showTsSquares(bool software, bool hardware, ResultFields &fields)
{
    if (software && hardware) {
        fields.setBackground(Field::lblHardwareTs, ColourGreen);
        fields.setBackground(Field::lblSoftwareTs, ColourGreen);
        fields.setBackground(Field::lblHardwareNoTs, ColourButtonFace);
        fields.setBackground(Field::lblSoftwareNoTs, ColourButtonFace);
    } else if (!software && !hardware) {
        fields.setBackground(Field::lblHardwareTs, ColourButtonFace);
        fields.setBackground(Field::lblSoftwareTs, ColourButtonFace);
        fields.setBackground(Field::lblHardwareNoTs, ColourGreen);
        fields.setBackground(Field::lblSoftwareNoTs, ColourGreen);
    } else {
        // The flags disagree: each row shows its own state in red.
        fields.setBackground(Field::lblSoftwareNoTs, software ? ColourButtonFace : ColourRed);
        fields.setBackground(Field::lblSoftwareTs, software ? ColourRed : ColourButtonFace);
        fields.setBackground(Field::lblHardwareNoTs, hardware ? ColourButtonFace : ColourRed);
        fields.setBackground(Field::lblHardwareTs, hardware ? ColourRed : ColourButtonFace);
    }
}

StatusReading statusReading(ByteView reply, const Bytes &decoded)
{
    if (reply.size() <= statusThresholdBytes)
        return StatusReading::TooShort;
    if (!hasFrameHead(reply))
        return StatusReading::NoFrameHead;
    // With escapes, bytes 3 to 9 must stand before the end mark, or the verdicts would be read
    // from it. A reply without escapes keeps the plain length rule.
    const bool hasEscapes = decoded.size() < reply.size();
    if (hasEscapes && decoded.size() < lastStatusPosition + 2)
        return StatusReading::CutByEscapes;
    return StatusReading::Decoded;
}

} // namespace

StatusReading statusReading(ByteView reply)
{
    return statusReading(reply, DecodeEscapes(reply));
}

void blankStatus(ResultFields &fields)
{
    for (const Field field : {Field::lblProtocolResult, Field::lblVersionResult,
                              Field::lblCdDtrResult, Field::lblCtsRtsResult, Field::lblRtsCtsResult,
                              Field::lblDtrCdResult, Field::lblTxRxResult})
        fields.setText(field, "");
    for (const Field field : {Field::lblHardwareTs, Field::lblSoftwareTs, Field::lblHardwareNoTs,
                              Field::lblSoftwareNoTs})
        fields.setBackground(field, ColourButtonFace);
}

bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields)
{
    // The unit escapes every 0x80 of its body, the status bytes included: protocol 0 with
    // software TS on arrives as 80 80. Read raw, one escape would shift every verdict after it
    // onto the wrong sample and could turn a failed line into "OK".
    const Bytes d = DecodeEscapes(reply);
    if (statusReading(reply, d) != StatusReading::Decoded) {
        // Showing the previous reply's verdicts, or guessing, would both be lies.
        blankStatus(fields);
        return false;
    }
    // b(n) is the byte at position n of the decoded reply.
    const auto b = [&d](int position) {
        return d[static_cast<std::size_t>(position - 1)];
    };

    fields.setText(Field::lblProtocolResult, names[b(3) & numberMask]);
    fields.setText(Field::lblVersionResult, " " + std::to_string(b(4) & numberMask));
    showTsSquares((b(3) & tsFlag) != 0, (b(4) & tsFlag) != 0, fields);

    bool failed = false;
    for (const LineTest &test : lineTests) {
        bool ok = (b(5 + test.setIn) & test.bit) != 0;
        for (int i = 0; i < test.clearCount; ++i)
            ok = ok && (b(5 + test.clearIn[i]) & test.bit) == 0;
        fields.setText(test.field, ok ? "OK" : "Error");
        failed = failed || !ok;
    }
    return failed;
}

} // namespace station
