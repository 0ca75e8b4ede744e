// Runs a sequence on an open driver session, one step run at a time: each run gives one result
// row, told to the observer as it ends. A failed expectation is recorded and the run goes on; a
// driver or instrument error ends it, as does an abort (checked between runs and during waits).
// A run that ends early leaves the source safe: its output switched off.
#pragma once

#include "sequence.h"

#include <atomic>
#include <string>
#include <vector>

namespace qx::sequence {

// How the runner waits and tells time: real time in qxctl, the platform's clock in the front
// panel and the tests.
class Pacer {
public:
    virtual ~Pacer() = default;
    virtual double now() = 0; // seconds; only differences count
    // Waits `seconds`, or until `abort` is set (seen within a tenth of a second).
    virtual void sleep(double seconds, const std::atomic<bool> &abort) = 0;
};

enum class Verdict { Pass, Fail, Error };
const char *verdictName(Verdict verdict);

// One value a step run measured.
struct Measured {
    std::string kind; // a measurement kind's name
    int phase = 0;    // 0: all phases coupled, 1 to 3 one phase
    double value = 0.0;
    std::string unit; // "V", "A", "W", ...; "" for a ratio
};

struct Row {
    double elapsed = 0.0; // seconds from the start of the sequence to the end of this run
    std::string started;  // wall clock when the run began, ISO 8601 UTC
    std::string time;     // wall clock at its end, ISO 8601 UTC
    int step = 0;
    int run = 1; // 1 to the step's repeat
    StepKind kind = StepKind::Wait;
    std::string values; // what was set or measured: "voltage=230;frequency=50"
    std::vector<Measured> readings; // measure: each value with its unit
    Verdict verdict = Verdict::Pass;
    std::string detail; // why it failed, or a warning the driver gave
};

enum class Ending { Completed, Aborted, Error };
const char *endingName(Ending ending);

struct Summary {
    Ending ending = Ending::Completed;
    int runs = 0; // rows
    int passed = 0;
    int failed = 0; // failed expectations and the error, if any
    std::string message; // how it ended, e.g. "aborted during step 4, run 2; output switched off"
    bool allPassed() const { return ending == Ending::Completed && failed == 0; }
};

class Observer {
public:
    virtual ~Observer() = default;
    virtual void starting(const Step &, int /*run*/) {}
    virtual void finished(const Row &row) = 0;
};

Summary runSequence(ViSession vi, const Sequence &sequence, Pacer &pacer, Observer &observer,
                    const std::atomic<bool> &abort);

} // namespace qx::sequence
