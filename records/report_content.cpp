#include "report_content.h"

#include <QDateTime>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace qx::records {
namespace {

const QColor kPassColour{0x1e, 0x84, 0x49};
const QColor kFailColour{0xc0, 0x39, 0x2b};
const QColor kAmberColour{0xd6, 0x89, 0x10};
const QColor kOtherColour{0x55, 0x55, 0x55};

// The kinds plotted first, in this order; others measured follow in the order they were met.
const std::array<std::string, 3> kMainKinds{"voltage", "current", "power"};

// Readings before and after a drop step that its plot takes in: this much on each side, or as
// far as the nearest reading when that is no further than kReach.
constexpr double kWindowPad = 5.0;
constexpr double kReach = 30.0;

QString text(const std::string &s) { return QString::fromStdString(s); }

QString shown(const std::string &s)
{
    const QString t = text(s).trimmed();
    return t.isEmpty() ? kMissing : t;
}

QString number(double v) { return QString::number(v, 'g', 6); }

QString withUnit(double v, const std::string &unit)
{
    return unit.empty() ? number(v) : number(v) + ' ' + text(unit);
}

QString phaseName(int phase) { return phase == 0 ? QStringLiteral("all phases") : QStringLiteral("L%1").arg(phase); }

QString kindName(const std::string &kind)
{
    QString name = text(kind).replace('-', ' ');
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    return name;
}

Verdict stepVerdict(const std::string &verdict)
{
    const QColor colour = verdict == "pass" ? kPassColour
                          : verdict == "fail" ? kFailColour
                          : verdict == "error" ? kAmberColour
                                               : kOtherColour;
    return {shown(verdict), colour};
}

QString durationText(double seconds)
{
    return seconds < 1.0 ? number(seconds * 1000.0) + QStringLiteral(" ms") : number(seconds) + QStringLiteral(" s");
}

QString dropLabel(const StepRun &run)
{
    const QString angle = run.dropAngle ? number(*run.dropAngle) + QStringLiteral("\u00b0") : QStringLiteral("at once");
    const QString time = run.dropTime ? durationText(*run.dropTime) : QStringLiteral("instrument's time");
    return angle + QStringLiteral(", ") + time;
}

bool isDrop(const StepRun &run) { return run.kind == "drop" || run.dropAngle || run.dropTime; }

// The seconds between two ISO 8601 times, when both read.
std::optional<double> secondsBetween(const std::string &from, const std::string &to)
{
    const QDateTime start = QDateTime::fromString(QString::fromStdString(from), Qt::ISODateWithMs);
    const QDateTime end = QDateTime::fromString(QString::fromStdString(to), Qt::ISODateWithMs);
    if (!start.isValid() || !end.isValid())
        return std::nullopt;
    return static_cast<double>(start.msecsTo(end)) / 1000.0;
}

// When each run began its commands, in seconds since the start: its end less its own length (a
// repeated step's pause comes before its run begins). Without the times, where the run before it
// ended.
std::vector<double> runStarts(const TestRecord &record)
{
    std::vector<double> starts;
    double previousEnd = 0.0;
    for (const StepRun &run : record.steps) {
        const std::optional<double> length = secondsBetween(run.started, run.ended);
        const bool known = std::isfinite(run.elapsed) && length && *length >= 0.0 && *length <= run.elapsed;
        starts.push_back(known ? run.elapsed - *length : previousEnd);
        if (std::isfinite(run.elapsed))
            previousEnd = run.elapsed;
    }
    return starts;
}

struct Window {
    double from = 0.0;
    double to = 0.0;
    bool holds(double t) const { return t >= from && t <= to; }
};

// The kinds with readings in `window`, main kinds first.
std::vector<std::string> kindsIn(const TestRecord &record, const Window &window)
{
    std::vector<std::string> kinds;
    for (const StepRun &run : record.steps)
        if (window.holds(run.elapsed))
            for (const Reading &r : run.readings)
                if (!r.kind.empty() && std::find(kinds.begin(), kinds.end(), r.kind) == kinds.end())
                    kinds.push_back(r.kind);
    std::stable_sort(kinds.begin(), kinds.end(), [](const std::string &a, const std::string &b) {
        const auto rank = [](const std::string &k) {
            return std::find(kMainKinds.begin(), kMainKinds.end(), k) - kMainKinds.begin();
        };
        return rank(a) < rank(b);
    });
    return kinds;
}

// The limits held to `kind` by the runs in `window`, one line per value with the steps that set it.
std::vector<PlotLimit> limitsOf(const TestRecord &record, const std::string &kind, const Window &window)
{
    std::map<std::pair<int, double>, std::vector<int>> steps; // (0 low / 1 high, value) -> steps
    std::map<std::pair<int, double>, std::string> units;
    for (const StepRun &run : record.steps) {
        if (!window.holds(run.elapsed))
            continue;
        for (const Limit &limit : run.limits) {
            if (limit.kind != kind)
                continue;
            for (const auto &[side, value] : {std::pair{0, limit.low}, std::pair{1, limit.high}}) {
                std::vector<int> &list = steps[{side, value}];
                if (std::find(list.begin(), list.end(), run.step) == list.end())
                    list.push_back(run.step);
                units[{side, value}] = limit.unit;
            }
        }
    }
    std::vector<PlotLimit> limits;
    for (const auto &[key, list] : steps) {
        QStringList numbers;
        for (const int step : list)
            numbers << QString::number(step);
        const QString side = key.first == 0 ? QStringLiteral("low") : QStringLiteral("high");
        const QString which = list.size() == 1 ? QStringLiteral("step ") : QStringLiteral("steps ");
        limits.push_back({key.second, QStringLiteral("%1 %2 (%3%4)")
                                          .arg(side, withUnit(key.second, units[key]), which, numbers.join(", "))});
    }
    return limits;
}

Plot plotOf(const TestRecord &record, const std::string &kind, const Window &window, const QString &where)
{
    Plot plot;
    std::string unit;
    std::map<int, PlotSeries> byPhase;
    for (const StepRun &run : record.steps) {
        if (!window.holds(run.elapsed))
            continue;
        for (const Reading &r : run.readings) {
            if (r.kind != kind)
                continue;
            PlotSeries &series = byPhase[r.phase];
            series.name = phaseName(r.phase);
            series.colour = phaseColour(r.phase);
            series.points.emplace_back(run.elapsed, r.value);
            if (unit.empty())
                unit = r.unit;
        }
    }
    plot.title = kindName(kind) + ' ' + where;
    plot.yLabel = unit.empty() ? kindName(kind) : kindName(kind) + QStringLiteral(" (") + text(unit) + ')';
    plot.from = window.from;
    plot.to = window.to;
    for (auto &[phase, series] : byPhase)
        plot.series.push_back(std::move(series));
    plot.limits = limitsOf(record, kind, window);
    const std::vector<double> starts = runStarts(record);
    for (std::size_t i = 0; i < record.steps.size(); ++i)
        if (isDrop(record.steps[i]) && window.holds(starts[i]))
            plot.markers.push_back({starts[i], dropLabel(record.steps[i])});
    return plot;
}

PlotSection sectionFor(const TestRecord &record, const Window &window, const QString &heading, const QString &where)
{
    PlotSection section;
    section.heading = heading;
    const std::vector<std::string> kinds = kindsIn(record, window);
    QStringList absent;
    for (const std::string &kind : kMainKinds)
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
            absent << text(kind);
    if (kinds.empty())
        section.note = QStringLiteral("No readings were taken between %1 s and %2 s: nothing to plot.")
                           .arg(number(window.from), number(window.to));
    else if (!absent.isEmpty())
        section.note = QStringLiteral("No readings of %1 in this span.").arg(absent.join(", "));
    for (const std::string &kind : kinds)
        section.plots.push_back(plotOf(record, kind, window, where));
    return section;
}

// The nearest reading time before `t` (or after it, with `after`), if any.
std::optional<double> nearestReading(const TestRecord &record, double t, bool after)
{
    std::optional<double> best;
    for (const StepRun &run : record.steps) {
        if (run.readings.empty() || !std::isfinite(run.elapsed))
            continue;
        const bool side = after ? run.elapsed > t : run.elapsed < t;
        if (side && (!best || std::abs(run.elapsed - t) < std::abs(*best - t)))
            best = run.elapsed;
    }
    return best;
}

Window windowAround(const TestRecord &record, double first, double last)
{
    Window w{first - kWindowPad, last + kWindowPad};
    if (const auto before = nearestReading(record, first, false); before && first - *before <= kReach)
        w.from = std::min(w.from, *before - 1.0);
    if (const auto after = nearestReading(record, last, true); after && *after - last <= kReach)
        w.to = std::max(w.to, *after + 1.0);
    w.from = std::max(w.from, 0.0);
    return w;
}

} // namespace

QString reportTitle(const TestRecord &record)
{
    const QString name = text(record.sequenceName).trimmed();
    return name.isEmpty() ? QStringLiteral("Test report") : QStringLiteral("Test report: ") + name;
}

std::vector<TraceField> traceFields(const TestRecord &record)
{
    const auto count = [](int n) { return QString::number(n); };
    const QString instrument = QStringLiteral("Instrument");
    const QString software = QStringLiteral("Software");
    const QString who = QStringLiteral("Operator and equipment under test");
    const QString sequence = QStringLiteral("Sequence");
    const QString run = QStringLiteral("Run");
    return {
        {instrument, "Model", shown(record.instrument.model)},
        {instrument, "Serial number", shown(record.instrument.serial)},
        {instrument, "Firmware", shown(record.instrument.firmware)},
        {instrument, "Resource", shown(record.instrument.resource)},
        {software, "Software", shown(record.software)},
        {software, "Version", shown(record.softwareVersion)},
        {software, "Host", shown(record.host)},
        {who, "Operator", shown(record.operatorName)},
        {who, "EUT", shown(record.eut.name)},
        {who, "EUT serial number", shown(record.eut.serial)},
        {sequence, "Name", shown(record.sequenceName)},
        {sequence, "File", shown(record.sequenceFile)},
        {sequence, "SHA-256", shown(record.sequenceSha256)},
        {run, "Started (UTC)", shown(record.started)},
        {run, "Ended (UTC)", shown(record.ended)},
        {run, "Ending", shown(record.ending)},
        {run, "Ended by", shown(record.endedBy)},
        {run, "Failed step", record.failedStep > 0 ? count(record.failedStep) : kMissing},
        {run, "Message", shown(record.message)},
        {run, "Step runs", count(record.runs)},
        {run, "Passed", count(record.passed)},
        {run, "Failed", count(record.failed)},
        {run, "Record", shown(record.uuid)},
        {run, "Record id", record.id > 0 ? QString::number(record.id) : kMissing},
    };
}

Verdict overallVerdict(const TestRecord &record)
{
    if (record.verdict == "pass")
        return {QStringLiteral("PASS"), kPassColour};
    if (record.verdict == "fail")
        return {QStringLiteral("FAIL"), kFailColour};
    // A run that did not complete (or says nothing) judges nothing of the equipment under test.
    return {QStringLiteral("INCOMPLETE"), kAmberColour};
}

std::vector<StepRow> stepRows(const TestRecord &record)
{
    std::vector<StepRow> rows;
    rows.reserve(record.steps.size());
    for (const StepRun &run : record.steps) {
        QStringList readings;
        for (const Reading &r : run.readings)
            readings << QStringLiteral("%1 %2%3").arg(text(r.kind), r.phase > 0 ? phaseName(r.phase) + ' ' : QString(),
                                                      withUnit(r.value, r.unit));
        for (const Limit &l : run.limits)
            readings << QStringLiteral("limit %1 %2 to %3").arg(text(l.kind), number(l.low), withUnit(l.high, l.unit));
        QString started = shown(run.started);
        started.replace('T', ' '); // date and time on a line each where the column is narrow
        rows.push_back({QString::number(run.step), QString::number(run.run),
                        run.action.empty() ? shown(run.kind) : text(run.action), shown(run.sent), started,
                        stepVerdict(run.verdict), readings.isEmpty() ? kMissing : readings.join('\n'),
                        shown(run.detail)});
    }
    return rows;
}

QString reviewStatement(const TestRecord &record)
{
    return QStringLiteral(
               "This report covers record %1: the sequence %2, run on the %3 serial number %4 from %5 (UTC), "
               "on the equipment under test %6, serial number %7. Overall verdict: %8.")
        .arg(shown(record.uuid), shown(record.sequenceName), shown(record.instrument.model),
             shown(record.instrument.serial), shown(record.started), shown(record.eut.name), shown(record.eut.serial),
             overallVerdict(record).text);
}

PlotSection runPlots(const TestRecord &record)
{
    double end = 0.0;
    for (const StepRun &run : record.steps)
        if (std::isfinite(run.elapsed))
            end = std::max(end, run.elapsed);
    PlotSection section =
        sectionFor(record, {0.0, end > 0.0 ? end * 1.02 : 1.0}, QStringLiteral("Measured over the run"),
                   QStringLiteral("over the run"));
    if (section.plots.empty())
        section.note = QStringLiteral("This record holds no readings: there is nothing to plot.");
    return section;
}

std::vector<PlotSection> dropPlots(const TestRecord &record)
{
    std::vector<PlotSection> sections;
    const std::vector<double> starts = runStarts(record);
    for (std::size_t i = 0; i < record.steps.size();) {
        if (!isDrop(record.steps[i])) {
            ++i;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < record.steps.size() && record.steps[last + 1].step == record.steps[i].step)
            ++last;
        const StepRun &run = record.steps[i];
        const double end = starts[last] + record.steps[last].dropTime.value_or(0.0);
        const int runs = static_cast<int>(last - i + 1);
        const QString heading =
            QStringLiteral("Around step %1: %2 (%3 %4, from %5 s)")
                .arg(QString::number(run.step), run.action.empty() ? dropLabel(run) : text(run.action),
                     QString::number(runs), runs == 1 ? QStringLiteral("run") : QStringLiteral("runs"),
                     number(starts[i]));
        sections.push_back(sectionFor(record, windowAround(record, starts[i], end), heading,
                                      QStringLiteral("around step %1").arg(run.step)));
        i = last + 1;
    }
    return sections;
}

} // namespace qx::records
