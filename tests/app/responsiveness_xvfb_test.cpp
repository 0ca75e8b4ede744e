// The front panel stays responsive while the live meter reads every phase at its fastest interval,
// and while the instrument is slow: in a real X server under a window manager, with the simulator
// answering every query 2 s late, the operator sets a voltage and switches the output. The user-interface thread's timer must keep ticking (no gap of 100 ms
// or more), the wait cursor shows meanwhile, and both settings still reach the instrument, in
// order, once it answers.
#include "program.h"
#include "xvfb_check.h"
#include "qxseries_panels.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "ui/qt_toolkit.h"
#include "ui/toolkit.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <fstream>
#include <set>

namespace {

using qx::app::test::check;
using qx::app::test::failures;

constexpr double kSlowAnswerSeconds = 2.0;
constexpr qint64 kMostGapMs = 100;

std::string text(int panel, int control)
{
    std::string v;
    qx::ui::GetCtrlVal(panel, control, &v);
    return v;
}

// The longest pause of the user-interface thread while it runs: a 10 ms timer's largest gap.
class Heartbeat {
public:
    Heartbeat()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.restart());
        });
        clock_.start();
        timer_.start(10);
    }
    qint64 longestGapMs() const { return longest_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// The live meter at its fastest interval, every phase read each time: fresh readings keep coming
// and the user-interface thread never waits for them.
void meterAtItsFastest(int steady)
{
    QTest::mouseClick(qx::ui::controlWidget(steady, STEADY_METER), Qt::LeftButton);
    int meter = 0;
    const bool opened = QTest::qWaitFor([&] {
        for (meter = steady + 1; meter < steady + 4; ++meter)
            if (qx::ui::panelWindow(meter) != nullptr && qx::ui::panelWindow(meter)->isActiveWindow())
                return true;
        return false;
    }, 5000);
    if (!check(opened, "the live meter opens"))
        return;
    qx::ui::SetCtrlVal(meter, METER_INTERVAL, 0.2);
    Heartbeat heartbeat;
    QTest::mouseClick(qx::ui::controlWidget(meter, METER_RUN), Qt::LeftButton);
    std::set<std::string> shown;
    const bool fresh = QTest::qWaitFor([&] {
        shown.insert(text(meter, METER_TIME));
        return shown.size() > 5;
    }, 10000);
    check(fresh && std::none_of(shown.begin(), shown.end(), [](const std::string &t) { return t.starts_with("Not measured:"); }),
          "the meter keeps showing fresh readings");
    QTest::mouseClick(qx::ui::controlWidget(meter, METER_RUN), Qt::LeftButton);
    check(QTest::qWaitFor([] { return QApplication::overrideCursor() == nullptr; }, 5000), "idle once the meter stops");
    std::fprintf(stderr, "longest pause of the user-interface thread while metering: %lld ms\n",
                 static_cast<long long>(heartbeat.longestGapMs()));
    check(heartbeat.longestGapMs() < kMostGapMs, "the user-interface thread never pauses 100 ms or more while metering");
}

void operate(const std::shared_ptr<qx::sim::Simulator> &simulator)
{
    constexpr int mainPanel = 1; // the program's first panel; handles count up from there
    if (!check(QTest::qWaitFor([] { return qx::ui::panelWindow(mainPanel) != nullptr; }, 5000) &&
                   QTest::qWaitForWindowExposed(qx::ui::panelWindow(mainPanel), 5000),
               "the main window shows"))
        return QCoreApplication::exit(1);
    qx::ui::SetCtrlVal(mainPanel, MAIN_ADDRESS, 5);
    QTest::mouseClick(qx::ui::controlWidget(mainPanel, MAIN_GPIB), Qt::LeftButton);
    int steady = 0;
    const bool refreshed = QTest::qWaitFor([&] {
        for (steady = mainPanel + 1; steady < mainPanel + 4; ++steady)
            if (text(steady, STEADY_CONNECTION) == "GPIB, Address 5")
                return true;
        return false;
    }, 15000);
    if (!check(refreshed, "connected and refreshed"))
        return QCoreApplication::exit(1);
    check(QTest::qWaitFor([] { return QApplication::overrideCursor() == nullptr; }, 5000), "idle after connecting");

    simulator->setFaults({.slowSeconds = kSlowAnswerSeconds});
    Heartbeat heartbeat;
    QWidget *voltage = qx::ui::controlWidget(steady, STEADY_VOLTAGE);
    QTest::mouseClick(voltage, Qt::LeftButton);
    QTest::keyClick(voltage, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(voltage, "120");
    QTest::keyClick(voltage, Qt::Key_Return);
    QTest::mouseClick(qx::ui::controlWidget(steady, STEADY_OUTPUT), Qt::LeftButton);
    check(QTest::qWaitFor([] { return QApplication::overrideCursor() != nullptr; }, 1000), "the wait cursor shows");
    const bool done = QTest::qWaitFor([] { return QApplication::overrideCursor() == nullptr; }, 20000);
    check(done, "the slow instrument's work ends");
    std::fprintf(stderr, "longest pause of the user-interface thread: %lld ms\n",
                 static_cast<long long>(heartbeat.longestGapMs()));
    check(heartbeat.longestGapMs() < kMostGapMs, "the user-interface thread never pauses 100 ms or more");
    simulator->setFaults({});
    meterAtItsFastest(steady);
    qx::ui::QuitUserInterface(0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TRANSCRIPT\n", argv[0]);
        return 2;
    }
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    auto simulator = std::make_shared<qx::sim::Simulator>(qx::sim::Config{});
    if (!simulator->openTranscript(argv[1]) || !qx::sim::attach(simulator, "GPIB0::5::INSTR"))
        return 2;
    QTimer::singleShot(0, [&] { operate(simulator); });
    QTimer::singleShot(60000, [] {
        check(false, "the session ends within 60 s");
        QCoreApplication::exit(1);
    });
    char program[] = "qxseries";
    char *arguments[] = {program, nullptr};
    check(qx::app::qxseriesMain(1, arguments) == 0, "qxseries returns 0 after quitting");

    std::ifstream in(argv[1]);
    const std::string traffic{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto volt = traffic.find("< VOLT 120.000000");
    check(volt != std::string::npos && traffic.find("< OUTP 1", volt) != std::string::npos,
          "the voltage and then the output reached the instrument");
    if (failures == 0)
        std::printf("the front panel stayed responsive\n");
    return failures == 0 ? 0 : 1;
}
