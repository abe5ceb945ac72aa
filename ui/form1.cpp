#include "form1.h"

#include "textencoding.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>

#include <optional>
#include <thread>

namespace ui {

namespace {

using station::Field;

enum class Kind { Caption, Result, Square, Button, ComboBox };

// The window as drawn: positions and sizes in twips, 15 to a pixel.
struct ControlEntry
{
    const char *name;
    Kind kind;
    const char *text;
    int left, top, width, height;
    Qt::Alignment alignment;
    bool framed;
    std::optional<Field> field;
    const char *accessibleName; // a field's comes from its caption
};

// What a screen reader calls a field: its caption, and for a framed value "... result".
QString fieldAccessibleName(const ControlEntry &entry)
{
    QString name = QString::fromUtf8(station::fieldCaption(*entry.field));
    if (entry.kind == Kind::Result && entry.framed)
        name += QStringLiteral(" result");
    return name;
}

constexpr int twipsPerPixel = 15;
constexpr QSize clientSize(6345 / twipsPerPixel, 5415 / twipsPerPixel);

constexpr Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment centred = Qt::AlignCenter;
constexpr Qt::Alignment wrapped = Qt::AlignLeft | Qt::AlignTop;

// clang-format off
const ControlEntry controlTable[] = {
    {"lblProtocol",          Kind::Caption,  "Protocol",      240,  240,  735, 255, left,    false, {}, nullptr},
    {"lblProtocolResult",    Kind::Result,   "",             1080,  240, 4815, 255, left,    true,  Field::lblProtocolResult, nullptr},
    {"lblVersion",           Kind::Caption,  "Version",       240,  600,  615, 255, left,    false, {}, nullptr},
    {"lblVersionResult",     Kind::Result,   "",             1080,  600,  855, 255, left,    true,  Field::lblVersionResult, nullptr},
    {"cmdStart",             Kind::Button,   "Start Test",   3480,  600, 1092, 375, centred, false, {}, nullptr},
    {"cmdStop",              Kind::Button,   "Stop Test",    4800,  600, 1092, 372, centred, false, {}, nullptr},
    {"lblCd",                Kind::Caption,  "DTR - CD RTU",  240, 1200, 1215, 255, left,    false, {}, nullptr},
    {"lblDtrCdResult",       Kind::Result,   "",             1560, 1200,  855, 255, left,    true,  Field::lblDtrCdResult, nullptr},
    {"lblPortNumber",        Kind::Caption,  "Comm Port ",   3240, 1200,  975, 255, right,   false, {}, nullptr},
    {"cmbComPort",           Kind::ComboBox, "COM1",         4320, 1200, 1095, 315, left,    false, {}, "Comm Port"},
    {"lblCts",               Kind::Caption,  "RTS - CTS RTU", 240, 1560, 1215, 255, left,    false, {}, nullptr},
    {"lblRtsCtsResult",      Kind::Result,   "",             1560, 1560,  855, 255, left,    true,  Field::lblRtsCtsResult, nullptr},
    {"lblCommPortAvailable", Kind::Result,   "",             3480, 1680, 2175, 255, right,   false, Field::lblCommPortAvailable, nullptr},
    {"lclRts",               Kind::Caption,  "CTS - RTS CPU", 240, 1920, 1215, 255, left,    false, {}, nullptr},
    {"lblCtsRtsResult",      Kind::Result,   "",             1560, 1920,  855, 255, left,    true,  Field::lblCtsRtsResult, nullptr},
    {"lblTs",                Kind::Caption,  "TS",           3840, 2160,  495, 255, centred, false, {}, nullptr},
    {"lblNoTs",              Kind::Caption,  "No TS",        5040, 2160,  735, 255, centred, false, {}, nullptr},
    {"lblDtr",               Kind::Caption,  "CD - DTR CPU",  240, 2280, 1215, 255, left,    false, {}, nullptr},
    {"lblCdDtrResult",       Kind::Result,   "",             1560, 2280,  855, 255, left,    true,  Field::lblCdDtrResult, nullptr},
    {"lblHardwareTs",        Kind::Square,   "",             3960, 2520,  255, 255, centred, true,  Field::lblHardwareTs, nullptr},
    {"lblHardware",          Kind::Caption,  "Hardware",     4320, 2520,  855, 255, centred, false, {}, nullptr},
    {"lblHardwareNoTs",      Kind::Square,   "",             5280, 2520,  255, 255, centred, true,  Field::lblHardwareNoTs, nullptr},
    {"lblData",              Kind::Caption,  "TX - RX RTU",   240, 2640, 1215, 255, left,    false, {}, nullptr},
    {"lblTxRxResult",        Kind::Result,   "",             1560, 2640,  855, 255, left,    true,  Field::lblTxRxResult, nullptr},
    {"lblSoftwareTs",        Kind::Square,   "",             3960, 2880,  255, 255, centred, true,  Field::lblSoftwareTs, nullptr},
    {"lblSoftware",          Kind::Caption,  "Software",     4320, 2880,  855, 255, centred, false, {}, nullptr},
    {"lblSoftwareNoTs",      Kind::Square,   "",             5280, 2880,  255, 255, centred, true,  Field::lblSoftwareNoTs, nullptr},
    {"lblRxData",            Kind::Caption,  "RX Data",       240, 3480,  615, 255, left,    false, {}, nullptr},
    {"lblRxDataResult",      Kind::Result,   "",             1200, 3480, 4575, 615, wrapped, true,  Field::lblRxDataResult, nullptr},
    {"lblTimeTagStart",      Kind::Caption,  "Test Start",    240, 4200,  855, 255, left,    false, {}, nullptr},
    {"lblTimeTagStartData",  Kind::Result,   "",             1200, 4200, 2535, 255, left,    true,  Field::lblTimeTagStartData, nullptr},
    {"lblTimeTagEnd",        Kind::Caption,  "Test End",      240, 4680,  855, 255, left,    false, {}, nullptr},
    {"lblTimeTagEndData",    Kind::Result,   "",             1200, 4680, 2535, 255, left,    true,  Field::lblTimeTagEndData, nullptr},
};
// clang-format on

QRect pixels(const ControlEntry &entry)
{
    const auto px = [](int twips) {
        return (twips + twipsPerPixel / 2) / twipsPerPixel;
    };
    return {px(entry.left), px(entry.top), px(entry.width), px(entry.height)};
}

// The layout was drawn for a narrow 8-point face. The desktop's usual sans face at 10 pixels keeps
// every caption and value whole inside its box, and costs no second font file at start-up.
QFont stationFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    return font;
}

QString fromStationText(std::string_view text)
{
    const std::string utf8 = station::asUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent), m_station(*this, *this, *this, *this, comZyloq)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Zyloq Converter Test "));
    setFont(stationFont());
    setFixedSize(clientSize);
    createControls();

    comZyloq.setObjectName(QStringLiteral("comZyloq"));
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(station::pollPeriod);

    connect(cmdStart, &QPushButton::clicked, this, [this] { m_station.onStartClick(); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { m_station.onStopClick(); });
    connect(&Timer1, &QTimer::timeout, this, [this] { m_station.onTimer(); });
    connect(&comZyloq, &port::SerialPortController::dataArrived, this,
            [this] { m_station.onDataArrived(); });
}

Form1::~Form1()
{
    Timer1.stop();
}

void Form1::createControls()
{
    for (const ControlEntry &entry : controlTable) {
        QWidget *widget = nullptr;
        switch (entry.kind) {
        case Kind::Caption: {
            auto *label = new QLabel(QString::fromUtf8(entry.text), this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(entry.alignment);
            widget = label;
            break;
        }
        case Kind::Result:
        case Kind::Square: {
            auto *field = new ResultField(this);
            field->setIndicator(entry.kind == Kind::Square);
            field->setAlignment(entry.alignment);
            field->setWordWrap(entry.field == Field::lblRxDataResult);
            if (entry.framed) {
                field->setFrameShape(QFrame::Box);
                field->setFrameShadow(QFrame::Plain);
                field->setLineWidth(1);
            }
            m_fields[static_cast<std::size_t>(*entry.field)] = field;
            widget = field;
            break;
        }
        case Kind::Button: {
            auto *button = new QPushButton(QString::fromUtf8(entry.text), this);
            button->setFocusPolicy(Qt::StrongFocus);
            button->setAutoDefault(false);
            widget = button;
            (std::string_view(entry.name) == "cmdStart" ? cmdStart : cmdStop) = button;
            break;
        }
        case Kind::ComboBox: {
            // Made editable once the window is on screen: see showEvent.
            cmbComPort = new PortBox(this);
            cmbComPort->setInsertPolicy(QComboBox::NoInsert);
            cmbComPort->setMaxVisibleItems(16);
            cmbComPort->fillNamesOnly(); // the devices are looked up when the list opens
            widget = cmbComPort;
            break;
        }
        }
        widget->setObjectName(QString::fromUtf8(entry.name));
        widget->setGeometry(pixels(entry));
        if (entry.field)
            widget->setAccessibleName(fieldAccessibleName(entry));
        else if (entry.accessibleName)
            widget->setAccessibleName(QString::fromUtf8(entry.accessibleName));
    }
    cmdStop->setEnabled(false);
    setControlTabOrder();
}

// A closed ring, set again whenever the port box gains its line editor: the editor joins the
// focus chain behind the last widget, and Shift+Tab from Start would then never reach Stop.
void Form1::setControlTabOrder()
{
    setTabOrder(cmdStart, cmbComPort);
    setTabOrder(cmbComPort, cmdStop);
    setTabOrder(cmdStop, cmdStart);
}

bool Form1::load()
{
    m_station.onLoad();
    return !m_endRequested;
}

ResultField *Form1::field(station::Field field) const
{
    return m_fields[static_cast<std::size_t>(field)];
}

void Form1::setText(station::Field field, std::string_view text)
{
    this->field(field)->setValue(fromStationText(text));
}

std::string Form1::text(station::Field field) const
{
    return this->field(field)->text().toStdString();
}

void Form1::setBackground(station::Field field, station::Colour colour)
{
    this->field(field)->setBackground(colour);
}

void Form1::repaintNow(station::Field field)
{
    this->field(field)->repaint();
}

void Form1::setToolTip(station::Field field, std::string_view hint)
{
    this->field(field)->setHint(fromStationText(hint));
}

void Form1::setEnabled(station::Control control, bool enabled)
{
    switch (control) {
    case station::Control::cmdStart:
        cmdStart->setEnabled(enabled);
        break;
    case station::Control::cmdStop:
        cmdStop->setEnabled(enabled);
        break;
    case station::Control::cmbComPort:
        cmbComPort->setEnabled(enabled);
        break;
    case station::Control::NControls:
        break;
    }
}

std::string Form1::comPortText() const
{
    return cmbComPort->currentText().toStdString();
}

void Form1::setActive(bool active)
{
    if (active)
        Timer1.start();
    else
        Timer1.stop();
}

station::MessageButton Form1::askOkCancel(std::string_view text, std::string_view detail)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), fromStationText(text),
                    QMessageBox::Ok | QMessageBox::Cancel, isVisible() ? this : nullptr);
    // Where the list was looked for and why it failed; a path is no markup.
    box.setInformativeText(fromStationText(detail));
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("startupMessage"));
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Cancel ? station::MessageButton::Cancel
                                             : station::MessageButton::Ok;
}

void Form1::beep()
{
    m_bell.ring();
}

void Form1::endProgram()
{
    m_endRequested = true;
    QCoreApplication::exit(0);
}

// Deliberately blocks without handling events: the blank field stays on screen, and clicks and
// arrivals wait until the tick is done.
void Form1::pause(std::chrono::milliseconds length)
{
    std::this_thread::sleep_for(length);
}

// The drop-down's line editor costs about as much to create as the rest of the window together;
// creating it just after the window first shows puts the window on screen that much sooner.
void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!cmbComPort->isEditable())
        QTimer::singleShot(0, this, [this] { makeComPortEditable(); });
}

void Form1::makeComPortEditable()
{
    if (cmbComPort->isEditable())
        return;
    cmbComPort->setEditable(true);
    cmbComPort->setInsertPolicy(QComboBox::NoInsert);
    setControlTabOrder();
}

// Closing mid-test releases the port at once, so another program can open it straight after.
void Form1::closeEvent(QCloseEvent *event)
{
    Timer1.stop();
    comZyloq.ClosePort();
    event->accept();
}

} // namespace ui
