// What a report says, taken from a test record once and laid out twice (PDF and HTML): the trace
// fields, the verdicts with their colours, the rows of the step table, and the plots.
#pragma once

#include "record.h"
#include "report_plot.h"

#include <QColor>
#include <QString>

#include <array>
#include <string>
#include <vector>

namespace qx::records {

// What is shown for a field the record does not have: it is never left out.
inline const QString kMissing = QStringLiteral("\u2014");

struct TraceField {
    QString group; // "Instrument", "Sequence", ...
    QString label;
    QString value; // kMissing when the record has none
};

struct Verdict {
    QString text; // "PASS", "FAIL", "INCOMPLETE"; a step's "pass", "fail", "error"
    QColor colour;
};

struct StepRow {
    QString step, run, action, sent, started;
    Verdict verdict;
    QString readings, detail; // one reading or limit a line
};

// A heading with its plots, or a note saying why there are none.
struct PlotSection {
    QString heading;
    QString note;
    std::vector<Plot> plots;
};

inline const std::array<QString, 8> kStepColumns{"Step", "Run", "Action", "Sent", "Started (UTC)",
                                                 "Verdict", "Readings", "Detail"};

QString reportTitle(const TestRecord &record);
std::vector<TraceField> traceFields(const TestRecord &record);
Verdict overallVerdict(const TestRecord &record);
std::vector<StepRow> stepRows(const TestRecord &record);

// Voltage, current and power (and any other kind measured) over the whole run.
PlotSection runPlots(const TestRecord &record);
// One section for each drop step (all its runs), with the readings in a window around it.
std::vector<PlotSection> dropPlots(const TestRecord &record);

// What the review at the end of a report covers: the signed page names what it signs.
QString reviewStatement(const TestRecord &record);
// The lines a lab fills in by hand at the end of a report.
inline const std::array<QString, 3> kSignatureFields{"Reviewed by", "Date", "Signature"};

// Writes a report of `kind` ("PDF", "HTML") with `write`, once a GUI application is there; every
// failure, an exception too, is false with `error` set.
using ReportWriter = bool (*)(const TestRecord &, const QString &path, std::string &error);
bool writeGuarded(const char *kind, ReportWriter write, const TestRecord &record, const std::string &path,
                  std::string &error);

} // namespace qx::records
