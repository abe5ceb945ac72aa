// Faults in a row, through the real window on a real X server (run under xvfb-run): each one must
// leave the station working.

#include "form1.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

using station::Field;

namespace {

// The window with a probe in its tick pause and a record of everything the reply field showed.
class ProbedForm : public ui::Form1
{
public:
    void setText(Field field, std::string_view text) override
    {
        if (field == Field::lblRxDataResult)
            rxHistory.emplace_back(text);
        for (const Field verdict :
             {Field::lblDtrCdResult, Field::lblRtsCtsResult, Field::lblCtsRtsResult,
              Field::lblCdDtrResult, Field::lblTxRxResult})
            if (field == verdict)
                verdicts.emplace_back(text);
        Form1::setText(field, text);
    }
    void pause(std::chrono::milliseconds length) override
    {
        ++pauses;
        if (duringPause)
            duringPause(pauses);
        Form1::pause(length);
    }

    QPushButton *button(const char *name) { return findChild<QPushButton *>(name); }
    QComboBox *portBox() { return findChild<QComboBox *>(QStringLiteral("cmbComPort")); }
    QString shown(Field field) { return this->field(field)->text(); }

    void startOn(const std::string &port)
    {
        // Typed text takes only once the box is editable, just after the window shows.
        EXPECT_TRUE(QTest::qWaitFor([&] { return portBox()->isEditable(); }, 2000));
        portBox()->setCurrentText(QString::fromStdString(port));
        EXPECT_EQ(comPortText(), port);
        QTest::mouseClick(button("cmdStart"), Qt::LeftButton);
    }

    // What an operator's click does when the window is busy: it waits in the event queue.
    void postClick(QPushButton *target)
    {
        const QPointF centre = QRectF(target->rect()).center();
        const QPointF global = target->mapToGlobal(centre);
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, centre,
                                                            global, Qt::LeftButton, Qt::LeftButton,
                                                            Qt::NoModifier));
        QCoreApplication::postEvent(target,
                                    new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    std::vector<std::string> rxHistory;
    std::vector<std::string> verdicts;
    int pauses = 0;
    std::function<void(int)> duringPause;
};

constexpr qsizetype wholeReplyHexChars = station::unescapedReplyBytes * 3;

bool isWholeReply(const QString &text)
{
    return text.size() >= wholeReplyHexChars && text.endsWith("80 FF ");
}

class WindowFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_directory.path());
        std::ofstream("Protocol.txt") << "5,Five\n";
        form = std::make_unique<ProbedForm>();
        ASSERT_TRUE(form->load());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override
    {
        form.reset();
        std::filesystem::current_path(m_previous);
    }

    support::TempDirectory m_directory;
    std::unique_ptr<ProbedForm> form;

private:
    std::filesystem::path m_previous;
};

TEST_F(WindowFaultTest, UnplugDuringAReplyThenReplug)
{
    const auto link = m_directory / "unit";
    support::SimProcess sim({"--link", QString::fromStdString(link.string()), "--hangup-after", "3",
                             "--return-after", "1.5"});
    form->startOn(link.string());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return isWholeReply(form->shown(Field::lblRxDataResult)); }, 2000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->shown(Field::lblRxDataResult) == "No Reply"; }, 3000))
        << "the half reply is never decoded";
    EXPECT_EQ(form->shown(Field::lblTxRxResult), "");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return isWholeReply(form->shown(Field::lblRxDataResult)); }, 5000))
        << "replies are decoded again once the unit is back";
    EXPECT_EQ(form->shown(Field::lblTxRxResult), "OK");
    EXPECT_EQ(form->portController().lossCount(), 1);

    for (const std::string &shown : form->rxHistory)
        EXPECT_TRUE(shown.empty() || shown == "No Reply" ||
                    isWholeReply(QString::fromStdString(shown)))
            << shown;
    for (const std::string &verdict : form->verdicts)
        EXPECT_TRUE(verdict.empty() || verdict == "OK") << verdict;

    QTest::mouseClick(form->button("cmdStop"), Qt::LeftButton);
    EXPECT_TRUE(form->button("cmdStart")->isEnabled());
}

TEST_F(WindowFaultTest, StopDuringThePauseIsHandledRightAfterTheTick)
{
    support::SimProcess sim({});
    int pausesAtStop = 0;
    form->duringPause = [&](int pause) {
        if (pause == 2) {
            form->postClick(form->button("cmdStop"));
            pausesAtStop = pause;
        }
    };
    form->startOn(sim.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return pausesAtStop == 2; }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->button("cmdStart")->isEnabled(); }, 1000))
        << "the click made during the pause is not lost";
    EXPECT_FALSE(form->button("cmdStop")->isEnabled());
    EXPECT_TRUE(form->portBox()->isEnabled());
    EXPECT_EQ(form->portController().state(), port::SerialPortController::State::Closed);
    QTest::qWait(1200);
    EXPECT_EQ(form->pauses, 2) << "no tick after Stop";

    form->startOn(sim.path());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return isWholeReply(form->shown(Field::lblRxDataResult)); }, 2000));
}

TEST_F(WindowFaultTest, AFloodingUnitLeavesTheWindowWorking)
{
    for (const QString &kind : {QStringLiteral("--flood"), QStringLiteral("--flood-marks")}) {
        QStringList arguments{"--flood",      "2",          "--start-time",
                              "01:02:03.004", "--end-time", "01:02:04.005"};
        if (kind == "--flood-marks")
            arguments << kind;
        support::SimProcess sim(arguments);
        form->rxHistory.clear();
        form->startOn(sim.path());
        QTest::qWait(2000);
        // Once the flood is over, the next poll's reply is decoded as usual.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return isWholeReply(form->shown(Field::lblRxDataResult)) &&
                       form->shown(Field::lblRxDataResult).size() == wholeReplyHexChars &&
                       form->shown(Field::lblCdDtrResult) == "OK";
            },
            3000))
            << kind.toStdString();
        for (const std::string &shown : form->rxHistory)
            EXPECT_LE(shown.size(), station::receiveBufferLimitBytes * 3);
        QTest::mouseClick(form->button("cmdStop"), Qt::LeftButton);
        EXPECT_TRUE(form->button("cmdStart")->isEnabled());
        EXPECT_EQ(form->portController().state(), port::SerialPortController::State::Closed);
    }
}

TEST_F(WindowFaultTest, StartOnAPortAnotherProgramHolds)
{
    support::SimProcess sim({});
    // Another program holding the device, as a terminal program or a second station does: an open
    // of its own with a lock on it.
    const int holder = ::open(sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    form->startOn(sim.path());
    EXPECT_EQ(form->shown(Field::lblRxDataResult), "Error opening port");
    EXPECT_TRUE(form->field(Field::lblRxDataResult)->toolTip().contains("busy"))
        << form->field(Field::lblRxDataResult)->toolTip().toStdString();
    EXPECT_TRUE(form->button("cmdStart")->isEnabled());

    ::close(holder);
    form->startOn(sim.path());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return isWholeReply(form->shown(Field::lblRxDataResult)); }, 2000));
}

TEST_F(WindowFaultTest, ClosingTheWindowMidReply)
{
    support::SimProcess sim({"--pieces", "5", "--gap-ms", "60"});
    form->duringPause = [&](int pause) {
        if (pause == 2) // the poll goes out after the pause; the reply trickles in over 240 ms
            QTimer::singleShot(100, form.get(), &QWidget::close);
    };
    form->startOn(sim.path());
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(form->portController().state(), port::SerialPortController::State::Closed);
    port::SerialPortController other;
    EXPECT_TRUE(other.OpenPort(sim.path()).isOk()) << other.OpenPort(sim.path()).reason();
}

} // namespace
