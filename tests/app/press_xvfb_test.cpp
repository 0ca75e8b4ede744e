// Each press does what the operator pressed, through the real widgets in an X server under a
// window manager, with the simulator in the process (answering slowly where the instrument must
// be busy): a register number changed while Go waits does not change the register written; three
// Drop presses while busy are three drops; Quit during a sequence asks to abort it and quits at
// once instead of waiting the sequence out; meanwhile the live meter shows the sequence's own
// readings. Dismissing a popup (a help text, an instrument's refusal, a declined close) is not the
// panel getting the focus: it reads nothing back and keeps what the operator set.
#include "message_box.h"
#include "program.h"
#include "qxseries_panels.h"
#include "sim/attach.h"
#include "sim/simulator.h"
#include "ui/qt_toolkit.h"
#include "ui/toolkit.h"
#include "xvfb_check.h"

#include <QtTest>
#include <QtWidgets>

#include <fstream>

namespace {

using qx::app::test::check;
using qx::app::test::failures;

std::string text(int panel, int control)
{
    std::string v;
    qx::ui::GetCtrlVal(panel, control, &v);
    return v;
}

void click(int panel, int control) { QTest::mouseClick(qx::ui::controlWidget(panel, control), Qt::LeftButton); }

void type(int panel, int control, const char *keys)
{
    QWidget *field = qx::ui::controlWidget(panel, control);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
    QTest::keyClick(field, Qt::Key_Return);
}

bool idle(int timeoutMs = 20000)
{
    return QTest::qWaitFor([] { return QApplication::overrideCursor() == nullptr; }, timeoutMs);
}

class Transcript {
public:
    explicit Transcript(std::string path) : path_(std::move(path)) {}
    // Lines holding `what` ("< *SAV 3": the instrument received it).
    std::size_t count(const std::string &what) const
    {
        std::ifstream in(path_);
        std::size_t n = 0;
        for (std::string read; std::getline(in, read);)
            n += read.find(what) != std::string::npos ? 1 : 0;
        return n;
    }

private:
    std::string path_;
};

void pressesWhileBusy(int steady, qx::sim::Simulator &simulator, const Transcript &transcript)
{
    qx::ui::SetCtrlVal(steady, STEADY_REGISTER, 3);
    simulator.setFaults({.slowSeconds = 0.5});
    click(steady, STEADY_MEASURE); // three slow queries hold the worker
    click(steady, STEADY_REGISTER_GO);
    type(steady, STEADY_REGISTER, "4"); // while Go waits its turn
    const std::size_t dropsBefore = simulator.snapshot().drops.size();
    for (int press = 0; press < 3; ++press)
        click(steady, STEADY_DROP);
    // Until Go and every drop ran (or long enough to be sure that they never will).
    // Until Go and every drop ran (or long enough to be sure that they never will); every press is
    // queued by the time Go runs, so the instrument may answer at its pace again.
    const bool saved = QTest::qWaitFor([&] { return transcript.count("< *SAV") > 0; }, 10000);
    simulator.setFaults({});
    const bool dropped = QTest::qWaitFor([&] { return simulator.snapshot().drops.size() >= dropsBefore + 3; }, 10000);
    check(saved && dropped && idle(), "the slow work ends");
    check(transcript.count("< *SAV 3") == 1 && transcript.count("< *SAV 4") == 0,
          "Go saved the register shown when it was pressed (3), not the one typed since (4)");
    check(simulator.snapshot().drops.size() == dropsBefore + 3, "three Drop presses are three drops");
}

// Each popup is answered once it is up; then, after the window manager handed the activation back
// to the panel, no refresh ran: the range query only a refresh sends was never sent again.
void popupsDismissed(int steady, qx::sim::Simulator &simulator, const Transcript &transcript)
{
    const std::size_t refreshes = transcript.count("< VOLT:RANG?");
    const auto dismiss = [&](const char *what, QMessageBox::StandardButton answer, const auto &press) {
        bool answered = false;
        qx::ui::test::whenMessageBoxUp([&](QMessageBox *box) {
            // As an operator would: once the box holds the activation, which the panel then loses.
            // Clicks made by the test are no X input, so the window manager would not hand a new
            // window the focus by itself.
            box->activateWindow();
            check(QTest::qWaitFor([box] { return QApplication::activeWindow() == box; }, 5000),
                  std::string("the box of ") + what + " is active");
            QTest::mouseClick(box->button(answer), Qt::LeftButton);
            answered = true;
        });
        press();
        check(QTest::qWaitFor([&] { return answered; }, 10000) && idle() &&
                  QTest::qWaitForWindowActive(qx::ui::panelWindow(steady), 5000),
              std::string("the steady panel is active again after ") + what);
        QTest::qWait(300); // what a got-focus would have started has begun by now
        check(idle() && transcript.count("< VOLT:RANG?") == refreshes, std::string("no refresh after ") + what);
    };
    dismiss("a help text", QMessageBox::Ok,
            [&] { QTest::mouseClick(qx::ui::controlWidget(steady, STEADY_VOLTAGE), Qt::RightButton); });
    qx::ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, 1);
    qx::ui::SetCtrlVal(steady, STEADY_REGISTER, 2);
    qx::ui::SetCtrlVal(steady, STEADY_FREQUENCY, 55.5); // typed, not yet entered
    simulator.setFaults({.errorAfter = qx::sim::ErrorAfterFault{.header = "*RCL", .code = -222, .text = {}}});
    dismiss("a refused recall", QMessageBox::Ok, [&] { click(steady, STEADY_REGISTER_GO); });
    simulator.setFaults({});
    check(transcript.count("< *RCL 2") == 1, "the recall was sent (and refused)");
    double frequency = 0.0;
    qx::ui::GetCtrlVal(steady, STEADY_FREQUENCY, &frequency);
    check(frequency == 55.5, "the frequency the operator typed is still there");
    dismiss("a declined close", QMessageBox::No, [&] { click(steady, STEADY_CLOSE); });
    qx::ui::SetCtrlVal(steady, STEADY_SAVE_RECALL, 0);
}

// The window a button opens, by its title; 0 when none opens.
int opened(int panel, int control, const char *title)
{
    click(panel, control);
    QWidget *window = nullptr;
    const bool up = QTest::qWaitFor([&] {
        return (window = QApplication::activeWindow()) != nullptr && window->windowTitle() == title;
    }, 5000);
    check(up, std::string("the window ") + title + " opens");
    for (int handle = 1; handle < 64; ++handle)
        if (up && qx::ui::panelWindow(handle) == window)
            return handle;
    return 0;
}

// Starts `sinceQuit` as Quit is pressed.
void quitDuringASequence(int steady, QElapsedTimer &sinceQuit)
{
    const QString file = QDir::temp().filePath("qx_press_long_sequence.json");
    std::ofstream(file.toStdString()) << R"({"name": "Long", "steps": [{"output": "on"},
        {"measure": ["voltage", "current", "power"]}, {"wait": 600}, {"output": "off"}]})";
    const int meter = opened(steady, STEADY_METER, "QX Series Live Meter");
    click(meter, METER_RUN);
    check(QTest::qWaitFor([&] { return text(meter, METER_TIME).starts_with("At "); }, 5000), "the live meter reads");
    const int panel = opened(steady, STEADY_SEQUENCES, "QX Series Test Sequence");
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, file] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            dialog->selectFile(file);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    poll->start(5);
    click(panel, SEQUENCE_OPEN);
    check(QTest::qWaitFor([&] { return text(panel, SEQUENCE_NAME) == "Long"; }, 5000), "the sequence opens");
    click(panel, SEQUENCE_RUN);
    check(QTest::qWaitFor([&] { return text(panel, SEQUENCE_PROGRESS).starts_with("Step 3"); }, 5000),
          "the sequence waits in its third step");
    check(QTest::qWaitFor([&] { return text(meter, METER_TIME).starts_with("By the sequence at "); }, 5000),
          "while the sequence holds the instrument the meter shows the sequence's own readings");
    qx::ui::test::whenMessageBoxUp([](QMessageBox *box) {
        check(box->text().startsWith("A test sequence is running."), "Quit asks whether to abort the sequence");
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    sinceQuit.start();
    click(1, MAIN_QUIT);
}

void operate(qx::sim::Simulator &simulator, const Transcript &transcript, QElapsedTimer &sinceQuit)
{
    constexpr int mainPanel = 1;
    if (!check(QTest::qWaitFor([] { return qx::ui::panelWindow(mainPanel) != nullptr; }, 5000) &&
                   QTest::qWaitForWindowActive(qx::ui::panelWindow(mainPanel), 5000),
               "the main window is active"))
        return QCoreApplication::exit(1);
    qx::ui::SetCtrlVal(mainPanel, MAIN_ADDRESS, 5);
    click(mainPanel, MAIN_GPIB);
    const int steady = mainPanel + 1;
    if (!check(QTest::qWaitFor([&] { return text(steady, STEADY_CONNECTION) == "GPIB, Address 5"; }, 10000) && idle(),
               "connected and refreshed"))
        return QCoreApplication::exit(1);
    pressesWhileBusy(steady, simulator, transcript);
    popupsDismissed(steady, simulator, transcript);
    quitDuringASequence(steady, sinceQuit);
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
    const Transcript transcript(argv[1]);
    QElapsedTimer sinceQuit;
    QTimer::singleShot(0, [&] { operate(*simulator, transcript, sinceQuit); });
    QTimer::singleShot(60000, [] {
        check(false, "the session ends within 60 s");
        QCoreApplication::exit(1);
    });
    char program[] = "qxseries";
    char *arguments[] = {program, nullptr};
    check(qx::app::qxseriesMain(1, arguments) == 0, "qxseries returns 0 after quitting");
    check(sinceQuit.isValid() && sinceQuit.elapsed() < 10000, "Quit during the 600 s wait ends the program at once");
    check(!simulator->snapshot().settings.output, "the aborted sequence left the output off");
    if (failures == 0)
        std::printf("every press did what was pressed\n");
    return failures == 0 ? 0 : 1;
}
