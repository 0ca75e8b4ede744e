// The front panel in a real X server: the program's own entry, started with --simulate=MODEL,
// driven through its real windows as an operator would (mouse clicks and key presses delivered
// to the widgets), checked in its widgets, then from the embedded simulator's transcript.
// Screenshots of the main panel before connecting and of both panels after are left in the
// artifact directory given as the first argument; the model is the second (7103QX by default).
#include "app_state.h"
#include "message_box.h"
#include "program.h"
#include "xvfb_check.h"
#include "qxseries_panels.h"
#include "ui/qt_toolkit.h"
#include "ui/toolkit.h"

#include <QtTest>
#include <QtWidgets>

#include <fstream>

namespace {

using qx::app::test::check;
using qx::app::test::failures;

template <class T = std::string> T value(int panel, int control)
{
    T v{};
    qx::ui::GetCtrlVal(panel, control, &v);
    return v;
}

// Clicks `control`, then Yes in the modal message box it brings up.
void clickAndConfirm(int panel, int control)
{
    qx::ui::test::whenMessageBoxUp([](QMessageBox *box) { QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton); });
    QTest::mouseClick(qx::ui::controlWidget(panel, control), Qt::LeftButton);
}

void screenshot(const QString &artifacts, int panel, const char *name)
{
    check(qx::ui::panelWindow(panel)->grab().save(artifacts + "/qxseries_" + name + ".png"), "screenshot");
}

// What the steady panel shows right after connecting, in its widgets: the instrument's state as
// it was told or reported, the limits beside the quantities, the phases the model has.
void checkConnectedState(const std::string &model)
{
    const qx::app::AppState &s = qx::app::appState();
    auto *remote = qobject_cast<QCheckBox *>(qx::ui::controlWidget(s.steadypanel, STEADY_REMOTE));
    check(remote != nullptr && remote->isChecked() && remote->text() == "On", "the remote light reads On");
    auto *gpib = qobject_cast<QPushButton *>(qx::ui::controlWidget(s.mainpanel, MAIN_GPIB));
    check(gpib != nullptr && gpib->isChecked(), "the GPIB toggle stays pressed while connected");
    check(value(s.steadypanel, STEADY_IDENTITY).starts_with(model + ", serial "), "the identity names the model");
    const auto *limits = qx::ui::panelWindow(s.steadypanel)->findChild<QLabel *>("STEADY_VOLTAGE_limits");
    check(limits != nullptr && limits->text() == "0 to 300 V", "the voltage limits stand beside the field");
    const QStringList phases = model == "7101QX" ? QStringList{"All phases", "Phase 1"}
                                                 : QStringList{"All phases", "Phase 1", "Phase 2", "Phase 3"};
    for (const int control : {STEADY_MEAS_PHASE, STEADY_DROP_PHASE}) {
        auto *ring = qobject_cast<QComboBox *>(qx::ui::controlWidget(s.steadypanel, control));
        QStringList offered;
        for (int i = 0; ring != nullptr && i < ring->count(); ++i)
            offered << ring->itemText(i);
        check(offered == phases, "the phase choices of the " + model + ": " + offered.join(", ").toStdString());
    }
}

// A long "Last action" (an instrument error with its text) is shown whole: wrapped, never cut.
void checkLongTextShownWhole(int steady)
{
    const std::string line = "Voltage: failed, instrument error -222,\"Data out of range\"; the value was kept";
    const std::string before = value(steady, STEADY_RESULT);
    qx::ui::SetCtrlVal(steady, STEADY_RESULT, line);
    QTest::qWait(50); // the layout settles
    auto *shown = qobject_cast<QLabel *>(qx::ui::controlWidget(steady, STEADY_RESULT));
    const bool oneLine = shown != nullptr && QFontMetrics(shown->font()).horizontalAdvance(shown->text()) <= shown->contentsRect().width();
    const bool wrapped = shown != nullptr && shown->wordWrap() && shown->heightForWidth(shown->width()) <= shown->height();
    check(oneLine || wrapped, "a long last action is shown whole");
    qx::ui::SetCtrlVal(steady, STEADY_RESULT, before);
}

// Opens the error history and closes it again; returns its title.
QString openErrorHistory()
{
    QString title;
    qx::ui::test::whenMessageBoxUp([&title](QMessageBox *box) {
        title = box->windowTitle();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(qx::ui::controlWidget(qx::app::appState().steadypanel, STEADY_ERRORS), Qt::LeftButton);
    return title;
}

// The operator's session; a failure that leaves nothing to go on ends the program at once.
void operate(const QString &artifacts, const std::string &model)
{
    const qx::app::AppState &s = qx::app::appState();
    if (!check(QTest::qWaitForWindowActive(qx::ui::panelWindow(s.mainpanel), 5000), "the main window is active"))
        return QCoreApplication::exit(1);
    check(value(s.mainpanel, MAIN_STATUS).starts_with("Simulated " + model), "the status line names the simulator");
    screenshot(artifacts, s.mainpanel, "main_before");

    QTest::mouseClick(qx::ui::controlWidget(s.mainpanel, MAIN_GPIB), Qt::LeftButton);
    // The refresh runs on the instrument worker; its last step writes the connection line.
    if (!check(QTest::qWaitFor([&] { return s.steadypanel > 0 && value(s.steadypanel, STEADY_CONNECTION) != ""; }, 10000),
               "the steady panel opens and refreshes itself on activation"))
        return QCoreApplication::exit(1);
    check(value(s.steadypanel, STEADY_STATUS) == "Ready...", "the status line");
    check(value(s.steadypanel, STEADY_CONNECTION) == "GPIB, Address 5", "the connection line");
    checkConnectedState(model);

    QWidget *voltage = qx::ui::controlWidget(s.steadypanel, STEADY_VOLTAGE);
    const auto type = [&](const char *keys) {
        QTest::mouseClick(voltage, Qt::LeftButton); // focus, as the operator's click gives it
        QTest::keyClick(voltage, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(voltage, keys);
        QTest::keyClick(voltage, Qt::Key_Return);
    };
    type("350"); // above the 300 V limit: neither 350 nor 35 may go out
    check(QTest::qWaitFor([&] { return value(s.steadypanel, STEADY_STATUS).starts_with("Not sent"); }, 2000),
          "the status line says why 350 V was not sent");
    check(value<double>(s.steadypanel, STEADY_VOLTAGE) == 0.0, "the voltage control keeps its value");
    type("120");
    check(value<double>(s.steadypanel, STEADY_VOLTAGE) == 120.0, "the voltage control reads 120");

    check(QTest::qWaitFor([&] { return value(s.steadypanel, STEADY_RESULT) == "Voltage: done"; }, 2000),
          "the last action's line tells the voltage was set");
    checkLongTextShownWhole(s.steadypanel);
    screenshot(artifacts, s.mainpanel, "main");
    screenshot(artifacts, s.steadypanel, "steady");
    check(openErrorHistory() == "QX Series Error History", "the error history opens");

    clickAndConfirm(s.steadypanel, STEADY_CLOSE);
    if (!check(QTest::qWaitFor([&] { return s.steadypanel == 0; }, 5000), "the close button ends the connection"))
        return QCoreApplication::exit(1);
    clickAndConfirm(s.mainpanel, MAIN_QUIT); // ends the event loop
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARTIFACT_DIRECTORY [MODEL]\n", argv[0]);
        return 2;
    }
    const QString artifacts = QString::fromLocal8Bit(argv[1]);
    const std::string model = argc > 2 ? argv[2] : "7103QX";
    QDir().mkpath(artifacts);
    const std::string transcript = (artifacts + "/qxseries_transcript.log").toStdString();
    setenv("QXSERIES_TRANSCRIPT", transcript.c_str(), 1);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QTimer::singleShot(0, [&] { operate(artifacts, model); });
    QTimer::singleShot(30000, [] {
        check(false, "the session ends within 30 s");
        QCoreApplication::exit(1);
    });
    char program[] = "qxseries";
    std::string simulate = "--simulate=" + model;
    char *arguments[] = {program, simulate.data(), nullptr};
    check(qx::app::qxseriesMain(2, arguments) == 0, "qxseries returns 0 after quitting");

    std::ifstream in(transcript);
    const std::string traffic{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const char *line : {"< *IDN?\\r\\n", "< VOLT 120.000000", "< OUTP 0", "< DISP:MODE 1", "< SYST:LOC"})
        check(traffic.find(line) != std::string::npos, std::string("the simulator received ") + line);
    for (const char *line : {"< VOLT 35", "< VOLT 300"})
        check(traffic.find(line) == std::string::npos, std::string("the simulator never received ") + line);
    if (failures == 0)
        std::printf("front panel smoke test passed; screenshots in %s\n", argv[1]);
    return failures == 0 ? 0 : 1;
}
