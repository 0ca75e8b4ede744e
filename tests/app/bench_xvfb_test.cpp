// The bench panels in a real X server: the program's own entry with --simulate, driven through
// its windows and file dialogs. A log of voltage and power is plotted (its screenshot left in the
// artifact directory, the first argument); the shipped IEC interruption sequence starts, shows
// its progress, and the Abort button stops it within its first wait with the output off.
#include "app_state.h"
#include "program.h"
#include "qxseries_panels.h"
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

// The operator's choice of `path` in the next file dialog.
void whenFileDialogUp(const QString &path)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, path] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept"); // as the dialog's own button does
        }
    });
    poll->start(5);
}

void click(int panel, int control) { QTest::mouseClick(qx::ui::controlWidget(panel, control), Qt::LeftButton); }

// The newest window of the program: the panel a button just opened.
int openedPanel(int panel, int control, const char *title)
{
    click(panel, control);
    QWidget *window = nullptr;
    const bool opened = QTest::qWaitFor([&] {
        window = QApplication::activeWindow();
        return window != nullptr && window->windowTitle() == title;
    }, 5000);
    check(opened, std::string("the window \"") + title + "\" opens");
    for (int handle = 1; handle < 64; ++handle)
        if (qx::ui::panelWindow(handle) == window)
            return handle;
    return 0;
}

void logAndPlot(const QString &artifacts, int steady)
{
    // A source with something to plot: 230 V on the output, as the operator sets it.
    QWidget *voltage = qx::ui::controlWidget(steady, STEADY_VOLTAGE);
    QTest::mouseClick(voltage, Qt::LeftButton);
    QTest::keyClick(voltage, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(voltage, "230");
    QTest::keyClick(voltage, Qt::Key_Return);
    click(steady, STEADY_OUTPUT);
    check(QTest::qWaitFor([&] { return text(steady, STEADY_RESULT) == "Output relay: done"; }, 5000),
          "the output is on");
    const int log = openedPanel(steady, STEADY_LOGGING, "QX Series Measurement Log");
    if (log == 0)
        return;
    QTest::mouseClick(qx::ui::controlWidget(log, LOG_CURRENT), Qt::LeftButton); // voltage and power only
    qx::ui::SetCtrlVal(log, LOG_INTERVAL, 0.2);
    QFile::remove(artifacts + "/qxseries_log.csv"); // else the dialog asks whether to replace it
    whenFileDialogUp(artifacts + "/qxseries_log.csv");
    click(log, LOG_START);
    std::vector<qx::ui::ChartPoint> points;
    check(QTest::qWaitFor([&] {
              qx::ui::GetStripChartPoints(log, LOG_CHART, 1, &points);
              return points.size() >= 15;
          }, 10000),
          "the plot shows the logged power");
    check(points.back().y > 0.0, "the power plotted is the source's");
    check(qx::ui::panelWindow(log)->grab().save(artifacts + "/qxseries_log.png"), "screenshot of the plot");
    click(log, LOG_START);
    std::ifstream csv((artifacts + "/qxseries_log.csv").toStdString());
    std::string header;
    std::getline(csv, header);
    check(header == "time,elapsed_s,voltage,power", "the log's columns: " + header);
}

void runAndAbort(const QString &artifacts, int steady)
{
    const int sequence = openedPanel(steady, STEADY_SEQUENCES, "QX Series Test Sequence");
    if (sequence == 0)
        return;
    // A copy in the artifact folder: the screenshot shows where it was opened from.
    const QString copy = artifacts + "/iec-61000-4-11-interruptions.json";
    QFile::remove(copy);
    check(QFile::copy(QX_PRESETS_DIR "/iec-61000-4-11-interruptions.json", copy), "the preset is copied");
    whenFileDialogUp(copy);
    click(sequence, SEQUENCE_PRESET);
    check(QTest::qWaitFor([&] { return text(sequence, SEQUENCE_PROGRESS) == "Ready: 14 steps"; }, 5000),
          "the shipped sequence opens: " + text(sequence, SEQUENCE_PROGRESS));
    click(sequence, SEQUENCE_RUN);
    check(QTest::qWaitFor([&] { return text(sequence, SEQUENCE_PROGRESS).starts_with("Step 3 of 14"); }, 5000),
          "the progress reaches the first wait");
    check(qx::ui::panelWindow(sequence)->grab().save(artifacts + "/qxseries_sequence.png"), "screenshot");
    click(sequence, SEQUENCE_ABORT);
    check(QTest::qWaitFor([&] { return text(sequence, SEQUENCE_PROGRESS).starts_with("NOT PASSED"); }, 5000),
          "the abort ends the run within its wait");
    check(text(sequence, SEQUENCE_PROGRESS).ends_with("aborted during step 3; output switched off"),
          "the progress says how it ended: " + text(sequence, SEQUENCE_PROGRESS));
}

void operate(const QString &artifacts)
{
    const qx::app::AppState &s = qx::app::appState();
    if (!check(QTest::qWaitForWindowActive(qx::ui::panelWindow(s.mainpanel), 5000), "the main window is active"))
        return QCoreApplication::exit(1);
    click(s.mainpanel, MAIN_GPIB);
    if (!check(QTest::qWaitFor([&] { return s.steadypanel > 0 && text(s.steadypanel, STEADY_STATUS) == "Ready..."; },
                               10000),
               "the steady panel opens"))
        return QCoreApplication::exit(1);
    logAndPlot(artifacts, s.steadypanel);
    runAndAbort(artifacts, s.steadypanel);
    QCoreApplication::exit(0); // the program's loop ends; it stops what still runs
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARTIFACT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QString artifacts = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(artifacts);
    const std::string transcript = (artifacts + "/qxseries_bench_transcript.log").toStdString();
    setenv("QXSERIES_TRANSCRIPT", transcript.c_str(), 1);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QTimer::singleShot(0, [&] { operate(artifacts); });
    QTimer::singleShot(40000, [] {
        check(false, "the session ends within 40 s");
        QCoreApplication::exit(1);
    });
    char program[] = "qxseries";
    char simulate[] = "--simulate";
    char *arguments[] = {program, simulate, nullptr};
    check(qx::app::qxseriesMain(2, arguments) == 0, "qxseries returns 0");

    std::ifstream in(transcript);
    const std::string traffic{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t on = traffic.find("< OUTP 1");
    check(on != std::string::npos && traffic.find("< OUTP 0", on) != std::string::npos,
          "the sequence switched the output on, and the abort off");
    check(traffic.find("< MEAS:POW?") != std::string::npos, "the log measured the power");
    if (failures == 0)
        std::printf("bench panels passed; screenshots in %s\n", argv[1]);
    return failures == 0 ? 0 : 1;
}
