#include "form1.h"
#include "portlist.h"
#include "ptypair.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using station::Field;

namespace {

// Runs each test in a folder of its own, since the window reads "Protocol.txt" from the current
// folder.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_directory.path());
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }
    void writeProtocolFile(const std::string &content)
    {
        std::ofstream(m_directory / "Protocol.txt") << content;
    }

    // Presses `button` in the start-up message box as soon as it shows.
    static void answerMessageBox(QMessageBox::StandardButton button, QString *seenText,
                                 QString *seenTitle)
    {
        QTimer::singleShot(0, [=] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return answerMessageBox(button, seenText, seenTitle);
            *seenText = box->text();
            *seenTitle = box->windowTitle();
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Ok));
            box->button(button)->click();
        });
    }

    support::TempDirectory m_directory;

private:
    std::filesystem::path m_previous;
};

enum class Kind { Caption, Result, Square, Button, ComboBox };

struct Expected
{
    const char *name;
    Kind kind;
    const char *text;
    QRect geometry; // pixels at 15 twips each
    Qt::Alignment horizontal;
    bool framed;
    bool enabled;
    const char *accessibleName;
};

TEST_F(WindowTest, EveryControlAsDrawn)
{
    writeProtocolFile("");
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QCoreApplication::processEvents();
    const auto L = Qt::AlignLeft, R = Qt::AlignRight, C = Qt::AlignHCenter;
    // clang-format off
    const Expected controls[] = {
        {"lblProtocol",          Kind::Caption,  "Protocol",      {16, 16, 49, 17},  L, false, true, ""},
        {"lblProtocolResult",    Kind::Result,   "",              {72, 16, 321, 17}, L, true,  true, "Protocol result"},
        {"lblVersion",           Kind::Caption,  "Version",       {16, 40, 41, 17},  L, false, true, ""},
        {"lblVersionResult",     Kind::Result,   "",              {72, 40, 57, 17},  L, true,  true, "Version result"},
        {"cmdStart",             Kind::Button,   "Start Test",    {232, 40, 73, 25}, C, false, true, ""},
        {"cmdStop",              Kind::Button,   "Stop Test",     {320, 40, 73, 25}, C, false, false, ""},
        {"lblCd",                Kind::Caption,  "DTR - CD RTU",  {16, 80, 81, 17},  L, false, true, ""},
        {"lblDtrCdResult",       Kind::Result,   "",              {104, 80, 57, 17}, L, true,  true, "DTR - CD RTU result"},
        {"lblPortNumber",        Kind::Caption,  "Comm Port ",    {216, 80, 65, 17}, R, false, true, ""},
        {"cmbComPort",           Kind::ComboBox, "COM1",          {288, 80, 73, 21}, L, false, true, "Comm Port"},
        {"lblCts",               Kind::Caption,  "RTS - CTS RTU", {16, 104, 81, 17}, L, false, true, ""},
        {"lblRtsCtsResult",      Kind::Result,   "",              {104, 104, 57, 17}, L, true, true, "RTS - CTS RTU result"},
        {"lblCommPortAvailable", Kind::Result,   "",              {232, 112, 145, 17}, R, false, true, "Comm Port available"},
        {"lclRts",               Kind::Caption,  "CTS - RTS CPU", {16, 128, 81, 17}, L, false, true, ""},
        {"lblCtsRtsResult",      Kind::Result,   "",              {104, 128, 57, 17}, L, true, true, "CTS - RTS CPU result"},
        {"lblTs",                Kind::Caption,  "TS",            {256, 144, 33, 17}, C, false, true, ""},
        {"lblNoTs",              Kind::Caption,  "No TS",         {336, 144, 49, 17}, C, false, true, ""},
        {"lblDtr",               Kind::Caption,  "CD - DTR CPU",  {16, 152, 81, 17}, L, false, true, ""},
        {"lblCdDtrResult",       Kind::Result,   "",              {104, 152, 57, 17}, L, true, true, "CD - DTR CPU result"},
        {"lblHardwareTs",        Kind::Square,   "",              {264, 168, 17, 17}, C, true, true, "Hardware TS"},
        {"lblHardware",          Kind::Caption,  "Hardware",      {288, 168, 57, 17}, C, false, true, ""},
        {"lblHardwareNoTs",      Kind::Square,   "",              {352, 168, 17, 17}, C, true, true, "Hardware No TS"},
        {"lblData",              Kind::Caption,  "TX - RX RTU",   {16, 176, 81, 17}, L, false, true, ""},
        {"lblTxRxResult",        Kind::Result,   "",              {104, 176, 57, 17}, L, true, true, "TX - RX RTU result"},
        {"lblSoftwareTs",        Kind::Square,   "",              {264, 192, 17, 17}, C, true, true, "Software TS"},
        {"lblSoftware",          Kind::Caption,  "Software",      {288, 192, 57, 17}, C, false, true, ""},
        {"lblSoftwareNoTs",      Kind::Square,   "",              {352, 192, 17, 17}, C, true, true, "Software No TS"},
        {"lblRxData",            Kind::Caption,  "RX Data",       {16, 232, 41, 17}, L, false, true, ""},
        {"lblRxDataResult",      Kind::Result,   "",              {80, 232, 305, 41}, L, true, true, "RX Data result"},
        {"lblTimeTagStart",      Kind::Caption,  "Test Start",    {16, 280, 57, 17}, L, false, true, ""},
        {"lblTimeTagStartData",  Kind::Result,   "",              {80, 280, 169, 17}, L, true, true, "Test Start result"},
        {"lblTimeTagEnd",        Kind::Caption,  "Test End",      {16, 312, 57, 17}, L, false, true, ""},
        {"lblTimeTagEndData",    Kind::Result,   "",              {80, 312, 169, 17}, L, true, true, "Test End result"},
    };
    // clang-format on
    EXPECT_EQ(form.windowTitle(), "Zyloq Converter Test ");
    EXPECT_EQ(form.size(), QSize(423, 361));
    EXPECT_EQ(form.findChildren<QWidget *>(Qt::FindDirectChildrenOnly).size(),
              static_cast<qsizetype>(std::size(controls)));

    for (const Expected &e : controls) {
        SCOPED_TRACE(e.name);
        auto *widget = form.findChild<QWidget *>(QString::fromUtf8(e.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), e.geometry);
        EXPECT_EQ(widget->isEnabled(), e.enabled);
        EXPECT_EQ(widget->accessibleName(), QString::fromUtf8(e.accessibleName));
        if (e.kind == Kind::Button) {
            auto *button = qobject_cast<QPushButton *>(widget);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->text(), e.text);
            continue;
        }
        if (e.kind == Kind::ComboBox) {
            // COM1 ... COM256; the machine's own serial devices join them when the list opens.
            auto *combo = qobject_cast<QComboBox *>(widget);
            ASSERT_NE(combo, nullptr);
            EXPECT_TRUE(combo->isEditable());
            EXPECT_EQ(combo->currentText(), e.text);
            EXPECT_EQ(combo->toolTip(), e.text);
            ASSERT_EQ(combo->count(), 256);
            for (int i = 0; i < 256; ++i)
                EXPECT_EQ(combo->itemText(i), QStringLiteral("COM%1").arg(i + 1));
            continue;
        }
        auto *label = qobject_cast<QLabel *>(widget);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), e.text);
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, e.horizontal);
        EXPECT_EQ(label->frameShape(), e.framed ? QFrame::Box : QFrame::NoFrame);
        if (e.framed) {
            EXPECT_EQ(label->frameShadow(), QFrame::Plain);
        }
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        const bool isField = e.kind != Kind::Caption;
        EXPECT_EQ(qobject_cast<ui::ResultField *>(widget) != nullptr, isField);
        if (isField) {
            EXPECT_EQ(label->palette().color(QPalette::Window),
                      form.palette().color(QPalette::Button));
            EXPECT_EQ(label->wordWrap(), std::string_view(e.name) == "lblRxDataResult");
        }
    }

    // Every field the station writes is on the window, under its own name.
    for (std::size_t i = 0; i < station::fieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        ASSERT_NE(form.field(field), nullptr) << station::fieldName(field);
        EXPECT_EQ(form.field(field)->objectName().toStdString(), station::fieldName(field));
        // converter-check prints each field under the caption the window shows for it.
        const QString caption = QString::fromUtf8(station::fieldCaption(field));
        const QString accessible = form.field(field)->accessibleName();
        EXPECT_TRUE(accessible == caption || accessible == caption + QStringLiteral(" result"))
            << accessible.toStdString();
    }

    // Tab order: Start, the port box, Stop, round in both directions. Stop is enabled here so
    // that all three can take focus.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(50); // the port box turns editable just after the window shows
    form.setEnabled(station::Control::cmdStop, true);
    QApplication::setActiveWindow(&form);
    QWidget *const order[] = {form.findChild<QWidget *>(QStringLiteral("cmdStart")),
                              form.findChild<QWidget *>(QStringLiteral("cmbComPort")),
                              form.findChild<QWidget *>(QStringLiteral("cmdStop"))};
    const auto focused = [&] {
        QWidget *widget = QApplication::focusWidget();
        while (widget && widget->parentWidget() != &form)
            widget = widget->parentWidget(); // the port box's own line editor counts as the box
        return widget;
    };
    for (const bool forward : {true, false}) {
        order[0]->setFocus(Qt::OtherFocusReason);
        for (int press = 1; press <= 6; ++press) {
            QTest::keyClick(QApplication::focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab,
                            forward ? Qt::NoModifier : Qt::ShiftModifier);
            const int expected = forward ? press % 3 : (3 - press % 3) % 3;
            EXPECT_EQ(focused(), order[expected])
                << (forward ? "Tab " : "Shift+Tab ") << press << ": "
                << (focused() ? focused()->objectName().toStdString() : "nothing");
        }
    }

    auto *timer = form.findChild<QTimer *>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 500);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    EXPECT_NE(form.findChild<QObject *>(QStringLiteral("comZyloq")), nullptr);
}

TEST_F(WindowTest, ThePortListOffersTheDevicesPresentEachTimeItOpens)
{
    writeProtocolFile("");
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto *box = form.findChild<ui::PortBox *>(QStringLiteral("cmbComPort"));
    ASSERT_TRUE(QTest::qWaitFor([box] { return box->isEditable(); }, 2000));
    std::vector<port::PortEntry> present{
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1XYZ-if00-port0",
         "FTDI, FT232R USB UART, A10K1XYZ"}};
    int lookups = 0;
    box->setEnumerator([&present, &lookups] {
        ++lookups;
        return present;
    });
    EXPECT_EQ(box->count(), 256) << "no device is looked up before the list opens";
    box->showPopup();
    // As wide as its widest entry, which is the adapter's name and description.
    const QString widest = QString::fromStdString(present[0].name + "   " + present[0].description);
    EXPECT_GE(box->view()->width(), box->view()->fontMetrics().horizontalAdvance(widest));
    box->hidePopup();
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(box->currentText(), "COM1");
    ASSERT_EQ(box->count(), 257);
    EXPECT_EQ(box->itemText(0), QString::fromStdString(present[0].name));
    EXPECT_EQ(box->itemData(0, Qt::ToolTipRole).toString(), widest);
    EXPECT_EQ(box->itemText(1), "COM1");

    // An adapter plugged in after start-up is there the next time the list opens; the system
    // console comes after it, marked.
    present.insert(present.begin(), {"/dev/ttyS0", "", true});
    present.push_back({"/dev/ttyACM0", ""});
    box->showPopup();
    box->hidePopup();
    ASSERT_EQ(box->count(), 259);
    EXPECT_EQ(box->itemText(1), "/dev/ttyACM0");
    EXPECT_EQ(box->itemText(2), "/dev/ttyS0");
    EXPECT_EQ(box->itemData(2, Qt::ToolTipRole).toString(), "/dev/ttyS0   (system console)");
    present.erase(present.begin());
    present.insert(present.begin(), present.back());
    present.pop_back();
    box->showPopup();
    box->hidePopup();
    ASSERT_EQ(box->count(), 258);
    EXPECT_EQ(box->itemText(0), "/dev/ttyACM0");
    EXPECT_EQ(box->currentText(), "COM1") << "opening the list keeps the text in the box";

    // Picking an adapter puts only its name in the box, whole in the tooltip.
    box->setCurrentIndex(1);
    EXPECT_EQ(box->currentText(), QString::fromStdString(present[1].name));
    EXPECT_EQ(box->toolTip(), QString::fromStdString(present[1].name));
}

TEST_F(WindowTest, CaptionsAndValuesShowWhole)
{
    writeProtocolFile("");
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    const auto fits = [](QLabel *label, const QString &text) {
        const QRect room = label->contentsRect();
        return label->fontMetrics().horizontalAdvance(text) <= room.width() &&
               label->fontMetrics().height() <= room.height();
    };
    EXPECT_EQ(QFontInfo(form.font()).family(), "DejaVu Sans");
    for (QLabel *label : form.findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            EXPECT_TRUE(fits(label, label->text())) << label->objectName().toStdString();
        }
    }
    struct Value
    {
        Field field;
        const char *widest;
    };
    const Value values[] = {
        {Field::lblVersionResult, " 63"},
        {Field::lblDtrCdResult, "Error"},
        {Field::lblCdDtrResult, "Error"},
        {Field::lblTimeTagStartData, "28:48:58.888   Internal"},
        {Field::lblTimeTagEndData, "28:48:58.888   IRIG-B"},
        {Field::lblProtocolResult, "Unknown Protocol"},
    };
    for (const Value &v : values)
        EXPECT_TRUE(fits(form.field(v.field), v.widest)) << v.widest;
    // The longest real reply, 27 bytes and a few escapes, wraps within the hex field.
    ui::ResultField *hex = form.field(Field::lblRxDataResult);
    const QString reply = QString("80 ").repeated(32);
    const QRect needed =
        hex->fontMetrics().boundingRect(hex->contentsRect(), Qt::TextWordWrap, reply);
    EXPECT_LE(needed.height(), hex->contentsRect().height());
}

TEST_F(WindowTest, StartupMessageOkContinuesCancelEnds)
{
    for (const auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
        QString text, title;
        answerMessageBox(answer, &text, &title);
        ui::Form1 form; // no Protocol.txt here
        const bool goesOn = form.load();
        EXPECT_EQ(text, "Error loading protocol description file");
        EXPECT_EQ(title, "Zyloq Converter Test");
        EXPECT_EQ(goesOn, answer == QMessageBox::Ok);
        if (goesOn) {
            EXPECT_EQ(form.station().protocolNames()[0], "Unknown Protocol");
            form.show();
            EXPECT_TRUE(form.findChild<QWidget *>(QStringLiteral("cmdStart"))->isEnabled());
        }
    }
}

TEST_F(WindowTest, FieldsShowPlainTextAndTheColoursAsGiven)
{
    writeProtocolFile("0,<b>x</b>\n1,Caf\xE9\n2,Caf\xC3\xA9\n3,\x80 \x96 \x92\x81\n");
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    form.setText(Field::lblProtocolResult, form.station().protocolNames()[0]);
    EXPECT_EQ(form.field(Field::lblProtocolResult)->text(), "<b>x</b>");
    form.setText(Field::lblProtocolResult, form.station().protocolNames()[1]);
    EXPECT_EQ(form.field(Field::lblProtocolResult)->text(), QString::fromUtf8("Caf\xC3\xA9"))
        << "a Windows single-byte name";
    form.setText(Field::lblProtocolResult, form.station().protocolNames()[2]);
    EXPECT_EQ(form.field(Field::lblProtocolResult)->text(), QString::fromUtf8("Caf\xC3\xA9"));
    form.setText(Field::lblProtocolResult, form.station().protocolNames()[3]);
    EXPECT_EQ(form.field(Field::lblProtocolResult)->text(), QString::fromUtf8("€ – ’\u0081"))
        << "Windows-1252, not Latin-1";

    ui::ResultField *square = form.field(Field::lblHardwareTs);
    form.setBackground(Field::lblHardwareTs, station::ColourRed);
    EXPECT_EQ(square->palette().color(QPalette::Window), QColor(255, 0, 0));
    form.setBackground(Field::lblHardwareTs, station::ColourGreen);
    EXPECT_EQ(square->palette().color(QPalette::Window), QColor(0, 255, 0));
    form.setBackground(Field::lblHardwareTs, station::ColourButtonFace);
    EXPECT_EQ(square->palette().color(QPalette::Window), form.palette().color(QPalette::Button));

    // The desktop switches its colour scheme: the button face follows at once, red stays red.
    form.setBackground(Field::lblSoftwareTs, station::ColourRed);
    const QPalette previous = QApplication::palette();
    QPalette dark = previous;
    dark.setColor(QPalette::Button, QColor(40, 40, 48));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents(); // the scheme change reaches widgets as events
    EXPECT_EQ(square->palette().color(QPalette::Window), QColor(40, 40, 48));
    EXPECT_EQ(form.field(Field::lblSoftwareTs)->palette().color(QPalette::Window), Qt::red);
    QApplication::setPalette(previous);
}

bool waitForText(ui::Form1 &form, Field field, const QString &text, int ms = 3000)
{
    return QTest::qWaitFor([&] { return form.field(field)->text() == text; }, ms);
}

TEST_F(WindowTest, FullCycleThroughTheWindow)
{
    writeProtocolFile("0,\"Line protocol, zero\"\n");
    // Protocol 0 with software TS on reaches the station escaped, as 80 80.
    support::SimProcess sim({"--protocol", "0", "--software-ts", "--unit-version", "17", "--fail",
                             "cd-dtr", "--drop-every", "3", "--start-time", "01:02:03.004",
                             "--end-time", "01:02:04.005"});
    ASSERT_FALSE(sim.path().empty());
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    auto *combo = form.findChild<QComboBox *>(QStringLiteral("cmbComPort"));
    auto *start = form.findChild<QPushButton *>(QStringLiteral("cmdStart"));
    auto *stop = form.findChild<QPushButton *>(QStringLiteral("cmdStop"));

    // A bad name first: the controls stay, the reason is in the tooltip.
    combo->setCurrentText(QStringLiteral("COM257"));
    QTest::mouseClick(start, Qt::LeftButton);
    ui::ResultField *hex = form.field(Field::lblRxDataResult);
    EXPECT_EQ(hex->text(), "Error opening port");
    EXPECT_TRUE(hex->toolTip().contains("COM1 to COM256")) << hex->toolTip().toStdString();
    EXPECT_TRUE(start->isEnabled());

    combo->setCurrentText(QString::fromStdString(sim.path()));
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(combo->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(hex->toolTip().isEmpty());

    ASSERT_TRUE(waitForText(form, Field::lblProtocolResult, "Line protocol, zero"));
    EXPECT_EQ(form.field(Field::lblCdDtrResult)->text(), "Error");
    for (const Field passed : {Field::lblCtsRtsResult, Field::lblRtsCtsResult,
                               Field::lblDtrCdResult, Field::lblTxRxResult})
        EXPECT_EQ(form.field(passed)->text(), "OK");
    EXPECT_EQ(form.field(Field::lblVersionResult)->text(), " 17");
    EXPECT_EQ(form.field(Field::lblSoftwareTs)->palette().color(QPalette::Window), Qt::red);
    EXPECT_EQ(form.field(Field::lblHardwareNoTs)->palette().color(QPalette::Window), Qt::red);
    EXPECT_EQ(form.field(Field::lblTimeTagEndData)->text(), "01:02:04.005   IRIG-B");
    EXPECT_TRUE(hex->text().startsWith("80 01 80 80 11 ")) << hex->text().toStdString();

    // The third poll goes unanswered; the tick after it says so.
    EXPECT_TRUE(waitForText(form, Field::lblRxDataResult, "No Reply", 3000));
    EXPECT_EQ(form.field(Field::lblTxRxResult)->text(), "");
    EXPECT_EQ(form.field(Field::lblHardwareTs)->palette().color(QPalette::Window),
              form.palette().color(QPalette::Button));

    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(form.findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
}

TEST_F(WindowTest, ClosingWhilePollingReleasesThePortAndExitsCleanly)
{
    writeProtocolFile("");
    support::PtyPair pty;
    ASSERT_TRUE(pty.isValid());
    auto form = std::make_unique<ui::Form1>();
    ASSERT_TRUE(form->load());
    form->show();
    // The box takes typed text only once it is editable, just after the window shows; before, the
    // station would be started on "COM1".
    auto *combo = form->findChild<QComboBox *>(QStringLiteral("cmbComPort"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->isEditable(); }, 2000));
    combo->setCurrentText(QString::fromStdString(pty.path()));
    ASSERT_EQ(form->comPortText(), pty.path());
    QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("cmdStart")), Qt::LeftButton);
    ASSERT_EQ(form->portController().state(), port::SerialPortController::State::Open);

    QTimer::singleShot(100, form.get(), &QWidget::close);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(form->portController().state(), port::SerialPortController::State::Closed);

    port::SerialPortController other;
    EXPECT_TRUE(other.OpenPort(pty.path()).isOk()) << "another program can open it straight after";
}

TEST_F(WindowTest, BadPortNamesShowErrorOpeningPortWithAReason)
{
    writeProtocolFile("");
    const auto file = m_directory / "notes.txt";
    std::ofstream(file) << "keep me";
    const auto fifo = m_directory / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto link = m_directory / "link";
    std::filesystem::create_symlink(file, link);
    const auto before = std::filesystem::last_write_time(file);
    const auto marker = m_directory / "marker";

    struct Case
    {
        std::string name;
        const char *reason;
    };
    const Case cases[] = {
        {file.string(), "not a serial device"},
        {m_directory.path().string(), "not a serial device"},
        {"/dev/null", "not a serial device"},
        {fifo.string(), "not a serial device"},
        {(m_directory / "missing").string(), "No such file or directory"},
        {"COM0", "COM1 to COM256"},
        {"COM257", "COM1 to COM256"},
        {"COM1x", "COM1 to COM256"},
        {"", "no port name"},
        {"     ", "no port name"},
        {std::string(5000, 'A'), "too long"},
        {"tty\nS0", "control character"},
        {"../../etc/passwd", "not a device"},
        {"$(touch " + marker.string() + ")", "not a device"},
        {"ttyS0;touch marker;`id`|*", "No such file or directory"},
        {"/etc/passwd", "not a serial device"},
        {link.string(), "not a serial device"},
        {"/dev/ptmx", "not a serial device"},
        {"/dev/zero", "not a serial device"},
        {"COM-1", "No such file or directory"},
    };
    ui::Form1 form;
    ASSERT_TRUE(form.load());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QCoreApplication::processEvents();
    auto *combo = form.findChild<QComboBox *>(QStringLiteral("cmbComPort"));
    auto *start = form.findChild<QPushButton *>(QStringLiteral("cmdStart"));
    ui::ResultField *hex = form.field(Field::lblRxDataResult);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        hex->setText(QString());
        combo->setCurrentText(QString::fromStdString(c.name));
        QTest::mouseClick(start, Qt::LeftButton);
        EXPECT_EQ(hex->text(), "Error opening port");
        EXPECT_TRUE(hex->toolTip().contains(c.reason)) << hex->toolTip().toStdString();
        EXPECT_TRUE(start->isEnabled());
        EXPECT_TRUE(combo->isEnabled());
        EXPECT_FALSE(form.findChild<QTimer *>(QStringLiteral("Timer1"))->isActive());
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_FALSE(std::filesystem::exists(m_directory / "ttyS0"));
}

} // namespace
