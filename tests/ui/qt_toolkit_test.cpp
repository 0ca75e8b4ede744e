// The Qt backend on the shipped QXSERIES.UIR, driven as an operator would (offscreen platform).
#include "ui/qt_toolkit.h"

#include "message_box.h"
#include "qxseries_panels.h"
#include "recording_callbacks.h"

#include <QtTest>
#include <QtWidgets>

using namespace qx::ui;
using qx::ui::test::Call;
using qx::ui::test::recorder;

namespace {

QStringList called()
{
    QStringList names;
    for (const std::string &name : recorder().names())
        names << QString::fromStdString(name);
    return names;
}

template <class T> T value(int panel, int control)
{
    T v{};
    if (GetCtrlVal(panel, control, &v) != 0)
        qFatal("control %d has no value of that type", control);
    return v;
}

template <class Widget> Widget *widget(int panel, int control)
{
    auto *w = qobject_cast<Widget *>(controlWidget(panel, control));
    if (w == nullptr)
        qFatal("control %d is not the expected widget", control);
    return w;
}

// Describes the next message box into `seen` (title, text, modality, buttons, icon, and whether
// it is wide enough for its title beside a window frame's buttons), then presses `button`, or
// Escape for NoButton.
void answerNextMessageBox(QString &seen, QMessageBox::StandardButton button)
{
    test::whenMessageBoxUp([&seen, button](QMessageBox *box) {
        const bool appModal = box->windowModality() == Qt::ApplicationModal;
        const bool wide = box->width() >= box->fontMetrics().horizontalAdvance(box->windowTitle()) + 120;
        seen = box->windowTitle() + "|" + box->text() + (appModal ? "|modal|" : "|not modal|") +
               QString::number(box->standardButtons().toInt()) + "|" + QString::number(box->icon()) +
               (wide ? "|wide" : "|narrow");
        button == QMessageBox::NoButton ? QTest::keyClick(box, Qt::Key_Escape) : box->button(button)->click();
    });
}

} // namespace

class QtToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static int argc = 1;
        QCOMPARE(useQt(argc, nullptr), 0);
        QCOMPARE(RegisterCallbacks(test::recordingCallbacks()), 0);
    }

    void init()
    {
        recorder() = {};
        mainPanel = LoadPanel(0, test::panelResourceFile(), MAIN);
        steady = LoadPanel(0, test::panelResourceFile(), STEADY);
        QVERIFY2(mainPanel > 0 && steady > 0, LastLoadError().c_str());
        QCOMPARE(DisplayPanel(mainPanel), 0);
        QCOMPARE(DisplayPanel(steady), 0);
        QVERIFY(QTest::qWaitForWindowActive(panelWindow(steady)));
        recorder().calls.clear();
    }

    void cleanup()
    {
        DiscardPanel(steady);
        DiscardPanel(mainPanel);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        recorder() = {};
    }

    void cleanupTestCase() { QCOMPARE(CloseUserInterface(), 0); }

    void typedValuesCommitOnEnterOrStepButNotOnTypingOrWheel()
    {
        auto *spin = widget<QDoubleSpinBox>(steady, STEADY_VOLTAGE);
        QCOMPARE(spin->suffix(), QString(" V"));
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, "120");
        QVERIFY(recorder().calls.empty()); // typing alone is no commit
        QTest::keyClick(spin, Qt::Key_Return);
        QCOMPARE(value<double>(steady, STEADY_VOLTAGE), 120.0);
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(value<double>(steady, STEADY_VOLTAGE), 121.0);
        QTest::keyClick(spin, Qt::Key_Return); // nothing changed: nothing to commit

        // The wheel over a control not in use changes nothing.
        auto *frequency = widget<QDoubleSpinBox>(steady, STEADY_FREQUENCY);
        const QPointF at(frequency->width() / 2.0, frequency->height() / 2.0);
        QWheelEvent wheel(at, frequency->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(frequency, &wheel);
        QCOMPARE(frequency->value(), 50.0);
        QCOMPARE(called(), (QStringList{"voltage:1", "voltage:1"}));

        // The edited text of a combo box is its value (completion may fix the case).
        auto *model = widget<QComboBox>(mainPanel, MAIN_MODEL);
        QVERIFY(model->isEditable());
        model->lineEdit()->selectAll();
        QTest::keyClicks(model->lineEdit(), "7103qx");
        QTest::keyClick(model->lineEdit(), Qt::Key_Return);
        QCOMPARE(QString::fromStdString(value<std::string>(mainPanel, MAIN_MODEL)).toUpper(), QString("7103QX"));
    }

    void programSetsDimmingAndRangesReachTheWidgetsButNeverCommit()
    {
        for (const int status : {SetCtrlVal(steady, STEADY_VOLTAGE, 50.0), SetCtrlVal(steady, STEADY_OUTPUT, 1),
                                 SetCtrlVal(mainPanel, MAIN_GPIB, 1), SetCtrlVal(mainPanel, MAIN_MODEL, "7103QX"),
                                 SetCtrlVal(steady, STEADY_MEAS_VOLTAGE, 119.987),
                                 SetCtrlVal(steady, STEADY_STATUS, "Ready..."), SetCtrlVal(steady, STEADY_MEAS_PHASE, 2)})
            QCOMPARE(status, 0);
        QCoreApplication::processEvents();
        QVERIFY(recorder().calls.empty());
        auto *relay = widget<QCheckBox>(steady, STEADY_OUTPUT);
        QCOMPARE((QStringList{QString::number(widget<QDoubleSpinBox>(steady, STEADY_VOLTAGE)->value()),
                              QString::number(relay->isChecked()) + relay->text(),
                              QString::number(widget<QPushButton>(mainPanel, MAIN_GPIB)->isChecked()),
                              widget<QComboBox>(mainPanel, MAIN_MODEL)->currentText(),
                              widget<QLabel>(steady, STEADY_MEAS_VOLTAGE)->text(),
                              widget<QLabel>(steady, STEADY_STATUS)->text(),
                              widget<QComboBox>(steady, STEADY_MEAS_PHASE)->currentText()}),
                 (QStringList{"50", "1Closed", "1", "7103QX", "119.99 V", "Ready...", "Phase 2"}));
        QCOMPARE(value<double>(steady, STEADY_MEAS_VOLTAGE), 119.987); // shown rounded, kept exact

        auto *angle = widget<QPushButton>(steady, STEADY_ANGLE_0);
        QVERIFY(!angle->isEnabled());
        QTest::mouseClick(angle, Qt::LeftButton);
        QVERIFY(recorder().calls.empty());
        QCOMPARE(SetCtrlDimmed(steady, STEADY_ANGLE_0, 0), 0);
        QVERIFY(angle->isEnabled());
        QTest::mouseClick(angle, Qt::LeftButton);
        QCOMPARE(called(), QStringList{"Angle1:1"});

        QCOMPARE(SetCtrlDimmed(steady, STEADY_VOLTAGE, 1), 0);
        QVERIFY(!widget<QDoubleSpinBox>(steady, STEADY_VOLTAGE)->isEnabled());
        QVERIFY(!panelWindow(steady)->findChild<QLabel *>("STEADY_VOLTAGE_label")->isEnabled());

        auto *current = widget<QDoubleSpinBox>(steady, STEADY_CURRENT);
        QCOMPARE(SetCtrlVal(steady, STEADY_CURRENT, 9.0) + SetCtrlMax(steady, STEADY_CURRENT, 4.6), 0);
        QCOMPARE((QList<double>{current->maximum(), current->value(), value<double>(steady, STEADY_CURRENT)}),
                 (QList<double>{4.6, 4.6, 4.6}));
        // A quantity's limits stand beside it and follow its range.
        QCOMPARE(panelWindow(steady)->findChild<QLabel *>("STEADY_CURRENT_limits")->text(), QString("0 to 4.6 A"));

        // A ring offers the items its range holds; the operator's choice is its value, by index.
        auto *phase = widget<QComboBox>(steady, STEADY_MEAS_PHASE);
        QCOMPARE(SetCtrlVal(steady, STEADY_MEAS_PHASE, std::int16_t{3}) + SetCtrlMax(steady, STEADY_MEAS_PHASE, 1), 0);
        QCOMPARE((QStringList{QString::number(phase->count()), phase->itemText(1), phase->currentText()}),
                 (QStringList{"2", "Phase 1", "Phase 1"}));
        phase->setFocus();
        QTest::keyClick(phase, Qt::Key_Up); // "All phases"
        QCOMPARE(value<std::int16_t>(steady, STEADY_MEAS_PHASE), std::int16_t{0});
    }

    void leftClicksCommitRightClicksAnywhereOnAControlRaiseItsEvent()
    {
        auto *relay = widget<QCheckBox>(steady, STEADY_OUTPUT);
        QTest::mouseClick(relay, Qt::LeftButton);
        QCOMPARE(relay->text(), QString("Closed"));
        auto *gpib = widget<QPushButton>(mainPanel, MAIN_GPIB);
        QTest::mouseClick(gpib, Qt::LeftButton);
        gpib->setFocus();
        QTest::keyClick(gpib, Qt::Key_Space);
        QTest::mouseClick(widget<QPushButton>(steady, STEADY_REGISTER_GO), Qt::LeftButton);
        QCOMPARE(called(),
                 (QStringList{"output_on_off:1", "interfaceGPIB:1", "interfaceGPIB:1", "register_control:1"}));
        QCOMPARE(value<int>(steady, STEADY_OUTPUT), 1);
        QCOMPARE(value<int>(mainPanel, MAIN_GPIB), 0); // pressed in, then out again

        recorder().calls.clear(); // a right click anywhere on a control raises its event
        auto *spin = widget<QDoubleSpinBox>(steady, STEADY_VOLTAGE);
        QTest::mouseClick(spin, Qt::RightButton);
        QTest::mouseClick(spin->findChild<QLineEdit *>(), Qt::RightButton);
        QTest::mouseClick(panelWindow(steady)->findChild<QLabel *>("STEADY_VOLTAGE_label"), Qt::RightButton);
        QTest::mouseClick(widget<QCheckBox>(steady, STEADY_OUTPUT), Qt::RightButton);
        QTest::mouseClick(widget<QPushButton>(mainPanel, MAIN_QUIT), Qt::RightButton);
        QCoreApplication::processEvents();
        QCOMPARE(called(), (QStringList{"voltage:5", "voltage:5", "voltage:5", "output_on_off:5", "quit:5"}));
        QVERIFY(QApplication::activePopupWidget() == nullptr); // no stock context menu
        const QPoint inPanel = spin->mapTo(spin->window(), spin->rect().center()); // where mouseClick clicks
        QCOMPARE(recorder().calls[0].data1, inPanel.y());
        QCOMPARE(recorder().calls[0].data2, inPanel.x());
        QCOMPARE(value<int>(steady, STEADY_OUTPUT), 1); // and operates nothing
    }

    void mnemonicsOperateTheirControlsAndTabFollowsTheLayoutRowByRowLeftToRight()
    {
        QVERIFY(QTest::qWaitForWindowActive(panelWindow(steady))); // keys go to the active window
        QTest::keyClick(panelWindow(steady), Qt::Key_E, Qt::AltModifier); // "Clos&e connection"
        QTest::keyClick(panelWindow(steady), Qt::Key_O, Qt::AltModifier); // "&Output relay" switch
        QTRY_COMPARE(called(), (QStringList{"close:1", "output_on_off:1"})); // buttons click animated
        QTest::keyClick(panelWindow(steady), Qt::Key_V, Qt::AltModifier); // "&Voltage" focuses the field
        QTRY_VERIFY(widget<QDoubleSpinBox>(steady, STEADY_VOLTAGE)->hasFocus());

        // The bottom row: the output drop group (left) is declared after the start angles (right).
        QWidget *drop = controlWidget(steady, STEADY_DROP);
        drop->setFocus();
        QTRY_VERIFY(drop->hasFocus());
        QTest::keyClick(panelWindow(steady), Qt::Key_Tab);
        QTRY_VERIFY(controlWidget(steady, STEADY_START)->hasFocus());
    }

    void activationIsTheSteadyPanelsFocusClosingItsWindowRaisesCloseUntilDiscarded()
    {
        panelWindow(mainPanel)->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panelWindow(mainPanel)));
        QTRY_COMPARE(called(), QStringList{"steady_panel:9"});
        panelWindow(steady)->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panelWindow(steady)));
        QTRY_COMPARE(called(), (QStringList{"steady_panel:9", "steady_panel:8"}));
        QCOMPARE(recorder().calls.back().panel, steady);

        recorder().calls.clear();
        QPointer<QWidget> window = panelWindow(steady);
        QVERIFY(!window->close());
        QCOMPARE(called(), QStringList{"steady_panel:11"});
        QVERIFY(window->isVisible());

        recorder().behaviour = [](const Call &c) { return c.event == EVENT_CLOSE ? DiscardPanel(c.panel) : 0; };
        window->close();
        QVERIFY(!window.isNull()); // gone only once the event has been handled
        QVERIFY(!window->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QCOMPARE(panelWindow(steady), nullptr);
        QVERIFY(panelWindow(mainPanel)->isVisible());
    }

    void popupsAreModalMessageBoxesWithTheirTitleAndTextQuitEndsTheLoop()
    {
        QString seen;
        answerNextMessageBox(seen, QMessageBox::Yes);
        QCOMPARE(ConfirmPopup("QX Series Controller", "Do you want to quit the program?"), 1);
        QCOMPARE(seen, "QX Series Controller|Do you want to quit the program?|modal|" +
                           QString::number((QMessageBox::Yes | QMessageBox::No).toInt()) + "|4|wide");
        answerNextMessageBox(seen, QMessageBox::NoButton);
        QCOMPARE(ConfirmPopup("QX Series Controller", "Do you want to close the program?"), 0);
        answerNextMessageBox(seen, QMessageBox::Ok);
        QCOMPARE(MessagePopup("QX Series Error", "Error programming instrument.\nPlease check your instrument."), 0);
        QCOMPARE(seen, "QX Series Error|Error programming instrument.\nPlease check your instrument.|modal|" +
                           QString::number(int(QMessageBox::Ok)) + "|1|wide");
        answerNextMessageBox(seen, QMessageBox::Ok); // a fault: the warning icon; a short text
        QCOMPARE(WarningPopup("QX Series Controller", "x"), 0);
        QCOMPARE(seen, "QX Series Controller|x|modal|" + QString::number(int(QMessageBox::Ok)) + "|2|wide");

        // Quit ends the event loop with its code (the popups' focus changes forgotten).
        recorder().calls.clear();
        recorder().behaviour = [](const Call &c) { return c.callback == "quit" ? QuitUserInterface(3) : 0; };
        QTimer::singleShot(0, [this] { QTest::mouseClick(widget<QPushButton>(mainPanel, MAIN_QUIT), Qt::LeftButton); });
        QCOMPARE(RunUserInterface(), 3);
        QCOMPARE(called(), QStringList{"quit:1"});
    }

private:
    int mainPanel = 0;
    int steady = 0;
};

QTEST_MAIN(QtToolkitTest)
#include "qt_toolkit_test.moc"
