// The front panel in a real X server: the program's own entry, started with --simulate, driven
// through its real windows as an operator would (mouse clicks and key presses delivered to the
// widgets), then checked from the embedded simulator's transcript. Screenshots of both panels
// are left in the artifact directory given as the first argument.
#include "app_state.h"
#include "program.h"
#include "qxseries_panels.h"
#include "ui/qt_toolkit.h"
#include "ui/toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qx::app::appState;

std::vector<std::string> failures;

bool check(bool condition, const std::string &what)
{
    if (!condition) {
        failures.push_back(what);
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    }
    return condition;
}

std::string controlText(int panel, int control)
{
    std::string value;
    qx::ui::GetCtrlVal(panel, control, &value);
    return value;
}

// Answers the next modal message box with `button` once it is up (popups block in their own loop).
void answerNextMessageBox(QMessageBox::StandardButton button)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, button] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        }
    });
    poll->start(10);
}

void click(int panel, int control)
{
    QWidget *widget = qx::ui::controlWidget(panel, control);
    if (check(widget != nullptr, "control " + std::to_string(control) + " has a widget"))
        QTest::mouseClick(widget, Qt::LeftButton);
}

void typeInto(int panel, int control, const QString &text)
{
    auto *spin = qobject_cast<QAbstractSpinBox *>(qx::ui::controlWidget(panel, control));
    if (!check(spin != nullptr, "control " + std::to_string(control) + " is a spin box"))
        return;
    QTest::mouseClick(spin, Qt::LeftButton); // focus, as the operator's click gives it
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spin, text);
    QTest::keyClick(spin, Qt::Key_Return);
}

void screenshot(QWidget *window, const QString &file)
{
    check(window != nullptr && window->grab().save(file), "screenshot " + file.toStdString());
}

// The operator's session; any failure ends the program at once.
void operate(const QString &artifacts)
{
    qx::app::AppState &s = appState();
    const auto fail = [](const std::string &what) {
        check(false, what);
        QCoreApplication::exit(1);
    };
    if (!QTest::qWaitForWindowActive(qx::ui::panelWindow(s.mainpanel), 5000))
        return fail("the main window becomes active");
    check(controlText(s.mainpanel, MAIN_STATUS).find("Simulated 7103QX") == 0, "the status line names the simulator");

    click(s.mainpanel, MAIN_GPIB);
    const bool refreshed = QTest::qWaitFor(
        [&] { return s.steadypanel > 0 && controlText(s.steadypanel, STEADY_STATUS) == "Ready..."; }, 10000);
    if (!refreshed)
        return fail("the steady panel opens and refreshes itself on activation");
    check(controlText(s.steadypanel, STEADY_CONNECTION) == "GPIB, Address 5", "the connection line");

    typeInto(s.steadypanel, STEADY_VOLTAGE, "120");
    double volts = 0.0;
    qx::ui::GetCtrlVal(s.steadypanel, STEADY_VOLTAGE, &volts);
    check(volts == 120.0, "the voltage control reads 120");

    QWidget *mainWindow = qx::ui::panelWindow(s.mainpanel);
    QWidget *steadyWindow = qx::ui::panelWindow(s.steadypanel);
    steadyWindow->move(mainWindow->frameGeometry().right() + 20, 0);
    QTest::qWait(200);
    screenshot(mainWindow, artifacts + "/qxseries_main.png");
    screenshot(steadyWindow, artifacts + "/qxseries_steady.png");
    check(QGuiApplication::primaryScreen()->grabWindow(0).save(artifacts + "/qxseries_screen.png"),
          "screenshot of the screen");

    answerNextMessageBox(QMessageBox::Yes);
    click(s.steadypanel, STEADY_CLOSE);
    if (!QTest::qWaitFor([&] { return s.steadypanel == 0; }, 5000))
        return fail("the close button ends the connection");

    answerNextMessageBox(QMessageBox::Yes);
    click(s.mainpanel, MAIN_QUIT); // ends the event loop
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
    const std::string transcript = (artifacts + "/qxseries_transcript.log").toStdString();
    setenv("QXSERIES_TRANSCRIPT", transcript.c_str(), 1);

    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QTimer::singleShot(0, [&] { operate(artifacts); });
    QTimer::singleShot(30000, [] {
        check(false, "the session ends within 30 s");
        QCoreApplication::exit(1);
    });
    char program[] = "qxseries";
    char simulate[] = "--simulate";
    char *arguments[] = {program, simulate, nullptr};
    const int result = qx::app::qxseriesMain(2, arguments);
    check(result == 0, "qxseries returns 0 after quitting");

    const std::string traffic = readFile(transcript);
    for (const char *line : {"< *IDN?\\r\\n", "< VOLT 120.000000", "< OUTP 0", "< DISP:MODE 1", "< SYST:LOC"})
        check(traffic.find(line) != std::string::npos, std::string("the simulator received ") + line);
    if (failures.empty())
        std::printf("front panel smoke test passed; screenshots in %s\n", argv[1]);
    return failures.empty() ? 0 : 1;
}
