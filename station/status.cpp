#include "status.h"

#include <string>

namespace station {

namespace {

constexpr std::uint8_t numberMask = 0x3F;
constexpr std::uint8_t tsFlag = 0x80;

struct LineTest
{
    std::size_t index; // into lineTestFields, which is top-down
    std::uint8_t bit;
    // Reply positions 5 to 9 as offsets from position 5: the sample that must carry the bit,
    // and the samples that must not.
    int setIn;
    int clearIn[2];
    int clearCount;
};

// Each test wants its bit set in exactly one sample of its side and clear in the others. In the
// order the station reads and writes them.
constexpr LineTest lineTests[] = {
    {3, 0x10, 0, {1, 0}, 1}, // CD - DTR CPU
    {2, 0x08, 1, {0, 0}, 1}, // CTS - RTS CPU
    {1, 0x02, 2, {3, 4}, 2}, // RTS - CTS RTU
    {0, 0x01, 3, {2, 4}, 2}, // DTR - CD RTU
    {4, 0x20, 4, {2, 3}, 2}, // TX - RX RTU
};

void showTsSquares(bool software, bool hardware, ResultFields &fields)
{
    // When the flags disagree, each row shows its own state in red, the software row first.
    static constexpr Field agreeing[] = {Field::lblHardwareTs, Field::lblSoftwareTs,
                                         Field::lblHardwareNoTs, Field::lblSoftwareNoTs};
    static constexpr Field disagreeing[] = {Field::lblSoftwareNoTs, Field::lblSoftwareTs,
                                            Field::lblHardwareNoTs, Field::lblHardwareTs};
    for (const Field square : software == hardware ? agreeing : disagreeing)
        fields.setBackground(square, tsSquareColour(square, software, hardware));
}

// Noise is noise at any length. A reply, escapes removed, must hold bytes 3 to 9 before its end
// mark, or the verdicts would be read from the end mark.
FrameReading statusReading(ByteView reply, const Bytes &decoded)
{
    if (!hasFrameHead(reply))
        return FrameReading::NoFrameHead;
    if (decoded.size() < statusReplyBytes)
        return FrameReading::TooShort;
    return FrameReading::Decoded;
}

} // namespace

FrameReading statusReading(ByteView reply)
{
    return statusReading(reply, DecodeEscapes(reply));
}

Colour tsSquareColour(Field square, bool softwareTs, bool hardwareTs)
{
    const bool software = square == Field::lblSoftwareTs || square == Field::lblSoftwareNoTs;
    const bool tsColumn = square == Field::lblSoftwareTs || square == Field::lblHardwareTs;
    if (softwareTs == hardwareTs)
        return tsColumn == softwareTs ? ColourGreen : ColourButtonFace;
    const bool on = software ? softwareTs : hardwareTs;
    return tsColumn == on ? ColourRed : ColourButtonFace;
}

std::string versionText(int version)
{
    return " " + std::to_string(version);
}

std::string_view lineTestText(bool ok)
{
    return ok ? "OK" : "Error";
}

bool UnitStatus::anyLineFailed() const
{
    for (const bool ok : linesOk)
        if (!ok)
            return true;
    return false;
}

void blankStatus(ResultFields &fields)
{
    fields.setText(Field::lblProtocolResult, "");
    fields.setText(Field::lblVersionResult, "");
    for (const LineTest &test : lineTests)
        fields.setText(lineTestFields[test.index], "");
    for (const Field field : tsSquareFields)
        fields.setBackground(field, ColourButtonFace);
}

std::optional<UnitStatus> readStatus(ByteView reply)
{
    // The unit escapes every 0x80 of its body, the status bytes included: protocol 0 with
    // software TS on arrives as 80 80. Read raw, one escape would shift every verdict after it
    // onto the wrong sample and could turn a failed line into "OK".
    const Bytes d = DecodeEscapes(reply);
    if (statusReading(reply, d) != FrameReading::Decoded)
        return std::nullopt;
    // b(n) is the byte at position n of the decoded reply.
    const auto b = [&d](int position) {
        return d[static_cast<std::size_t>(position - 1)];
    };
    UnitStatus status;
    status.protocol = b(3) & numberMask;
    status.version = b(4) & numberMask;
    status.softwareTs = (b(3) & tsFlag) != 0;
    status.hardwareTs = (b(4) & tsFlag) != 0;
    for (const LineTest &test : lineTests) {
        bool ok = (b(5 + test.setIn) & test.bit) != 0;
        for (int i = 0; i < test.clearCount; ++i)
            ok = ok && (b(5 + test.clearIn[i]) & test.bit) == 0;
        status.linesOk[test.index] = ok;
    }
    return status;
}

void showStatus(const UnitStatus &status, const ProtocolNames &names, ResultFields &fields)
{
    fields.setText(Field::lblProtocolResult, names[static_cast<std::size_t>(status.protocol)]);
    fields.setText(Field::lblVersionResult, versionText(status.version));
    showTsSquares(status.softwareTs, status.hardwareTs, fields);
    for (const LineTest &test : lineTests)
        fields.setText(lineTestFields[test.index], lineTestText(status.linesOk[test.index]));
}

bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields)
{
    const std::optional<UnitStatus> status = readStatus(reply);
    if (!status) {
        // Showing the previous reply's verdicts, or guessing, would both be lies.
        blankStatus(fields);
        return false;
    }
    showStatus(*status, names, fields);
    return status->anyLineFailed();
}

} // namespace station
