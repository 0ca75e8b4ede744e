// The operator's texts and the program's pacing, in one place.
#pragma once

namespace qx::app {

// Every driver call of the program names the driver's one channel.
inline constexpr char kChannel[] = "1";

// Pause after each driver call, seconds; the voltage measurement settles longer.
inline constexpr double kPause = 0.05;
inline constexpr double kVoltageMeasurePause = 0.1;

namespace title {
inline constexpr char kController[] = "QX Series Controller";
inline constexpr char kError[] = "QX Series Error";
inline constexpr char kFatal[] = "QX Series";
inline constexpr char kGpib[] = "GPIB Message";
inline constexpr char kRs232[] = "RS232 Message";
inline constexpr char kHistory[] = "QX Series Error History";
} // namespace title

namespace text {
inline constexpr char kMainLoadError[] = "Error Loading Main Window";
inline constexpr char kProgrammingError[] = "Error programming instrument.\nPlease check your instrument.";
inline constexpr char kInitError[] = "Error initializing instrument.\nPlease check your cable or your connection.";
inline constexpr char kWaitStatus[] = "Wait for collecting data...";
inline constexpr char kReadyStatus[] = "Ready...";
inline constexpr char kConnectedStatus[] = "Connected: the steady-state panel controls the instrument";
inline constexpr char kChooseStatus[] = "Choose the address or com port before selecting GPIB or RS-232";
inline constexpr char kQuitQuestion[] = "Do you want to quit the program?";
inline constexpr char kCloseQuestion[] = "Do you want to close the program?";
inline constexpr char kInstrumentReports[] = "\n\nThe instrument reports: ";
inline constexpr char kNoErrors[] = "No errors since the program started.";
inline constexpr char kAbortQuestion[] = "A test sequence is running.\nAbort it (the output goes off) and go on?";
inline constexpr char kOutputOnAtQuit[] = "Do you want to quit the program?\n\nThe output is ON.";
inline constexpr char kOutputOnAtClose[] = "Do you want to close the program?\n\nThe output is ON.";
inline constexpr char kSwitchOff[] = "Switch output off";
inline constexpr char kLeaveOn[] = "Leave output on";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kConnectionLost[] = "Connection lost";
inline constexpr char kConnectionLostMain[] =
    "Connection lost: reconnect from the steady panel, or close it and choose the interface again";
inline constexpr char kSequenceOwns[] = "A test sequence owns the instrument: its controls wait until it ends";
inline constexpr char kNotMeasured[] = "Not measured yet";
} // namespace text

// Right-click hints, by callback.
namespace help {
inline constexpr char kQuit[] = "Quit the program.";
inline constexpr char kClose[] = "Close the steady state output";
inline constexpr char kInterface[] = "Choose the address or com port before selecting the interface.";
inline constexpr char kFrequency[] = "Change the frequency.";
inline constexpr char kVoltage[] = "Change the voltage.";
inline constexpr char kCurrent[] = "Change the current limit.";
inline constexpr char kRange[] = "Change the voltage range.";
inline constexpr char kRemote[] = "Turn the remote light On or Off";
inline constexpr char kOutput[] = "Close or open the relay output";
inline constexpr char kDisplay[] = "Change the display to frequency or current";
inline constexpr char kRegister[] = "Recall or save the register.";
inline constexpr char kMeasure[] = "Measure the outputs.";
inline constexpr char kDrop[] = "Measure the outputs.";
inline constexpr char kHistory[] = "Show the errors met since the program started.";
inline constexpr char kReconnect[] = "Set the lost connection up again.";
inline constexpr char kMeter[] = "Open the live meter: voltage, current and power of each phase.";
inline constexpr char kMeterRun[] = "Measure every phase again and again at the chosen interval.";
inline constexpr char kSequences[] = "Open the test-sequence panel.";
inline constexpr char kSequenceOpen[] = "Open a test sequence from a JSON file.";
inline constexpr char kSequencePreset[] = "Open one of the test sequences shipped with the program.";
inline constexpr char kSequenceRun[] = "Run the sequence on the connected instrument.";
inline constexpr char kSequenceAbort[] = "Stop the running sequence; the output goes off.";
inline constexpr char kSequenceSave[] = "Save the report of the last run: a PDF or HTML report of its test record, "
                                       "or its rows as a CSV file.";
inline constexpr char kSequenceRecord[] = "Who runs the sequence and on what equipment, as its test record names them, "
                                         "and where records are kept: empty for the local records file, a file path, "
                                         "or a PostgreSQL URI (postgresql://user@host/db) for the lab's store.";
inline constexpr char kLogging[] = "Open the measurement log and its plot.";
inline constexpr char kLogStart[] = "Measure the chosen quantities again and again into a CSV file and a database, and plot them.";
} // namespace help

} // namespace qx::app
