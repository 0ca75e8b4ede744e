// The strip chart: a line per trace against time, the latest span of seconds in view. Traces
// named with a unit ("current (A)") share a value axis with the traces of their unit only, each
// axis fitted to what it shows: amperes are not flattened against volts.
#include "ui/qt_controls.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qx::ui {
namespace {

class StripChartControl final : public QtControl {
public:
    StripChartControl(const ControlRecord &record, int panel, QWidget *parent)
        : QtControl(record, panel, parent), chart_(new QChart), view_(new QChartView(chart_, parent))
    {
        chart_->addAxis(time_, Qt::AlignBottom);
        time_->setTitleText("s");
        time_->setRange(0.0, record.seconds);
        chart_->legend()->setAlignment(Qt::AlignTop);
        view_->setRenderHint(QPainter::Antialiasing);
        view_->setMinimumSize(480, 260);
        finish(view_);
    }
    StripChartControl(const StripChartControl &) = delete;
    StripChartControl &operator=(const StripChartControl &) = delete;

    double number() const override { return 0.0; }
    void setNumber(double) override {}
    std::string text() const override { return {}; }
    void setText(const std::string &) override {}
    void setRange(double, double) override {}

    void setTraces(const std::vector<std::string> &names) override
    {
        chart_->removeAllSeries();
        series_.clear();
        for (const Axis &axis : axes_) {
            chart_->removeAxis(axis.values);
            delete axis.values;
        }
        axes_.clear();
        axisOf_.clear();
        for (const std::string &name : names) {
            auto *series = new QLineSeries;
            series->setName(QString::fromStdString(name));
            chart_->addSeries(series);
            series->attachAxis(time_);
            series->attachAxis(axisFor(unitOf(name)));
            series_.push_back(series);
        }
        time_->setRange(0.0, record().seconds);
    }

    void plot(double x, const std::vector<double> &values) override
    {
        for (Axis &axis : axes_) {
            axis.low = std::numeric_limits<double>::infinity();
            axis.high = -axis.low;
        }
        for (std::size_t i = 0; i < series_.size() && i < values.size(); ++i) {
            QLineSeries *series = series_[i];
            series->append(x, values[i]);
            int stale = 0;
            while (stale < series->count() && series->at(stale).x() < x - record().seconds)
                ++stale;
            if (stale > 0)
                series->removePoints(0, stale);
            Axis &axis = axes_[axisOf_[i]];
            for (const QPointF &p : series->points()) {
                axis.low = std::min(axis.low, p.y());
                axis.high = std::max(axis.high, p.y());
            }
        }
        // The time axis grows with the log up to the chart's span, then moves along with it.
        const double span = record().seconds;
        time_->setRange(std::max(0.0, x - span), std::max(x, std::min(span, kShortestSpan)));
        for (const Axis &axis : axes_) {
            if (!std::isfinite(axis.low))
                continue;
            const double margin = std::max((axis.high - axis.low) * 0.05, kLeastMargin * std::max(1.0, std::abs(axis.high)));
            axis.values->setRange(axis.low - margin, axis.high + margin);
            axis.values->applyNiceNumbers();
        }
    }

    std::vector<ChartPoint> points(std::size_t trace) const override
    {
        std::vector<ChartPoint> shown;
        if (trace < series_.size())
            for (const QPointF &p : series_[trace]->points())
                shown.push_back({p.x(), p.y()});
        return shown;
    }

private:
    struct Axis {
        std::string unit;
        QValueAxis *values; // owned by the chart
        double low = 0.0;
        double high = 0.0;
    };

    // "current (A)" -> "A"; "" without a unit.
    static std::string unitOf(const std::string &name)
    {
        const auto open = name.rfind(" (");
        return open != std::string::npos && name.ends_with(')') ? name.substr(open + 2, name.size() - open - 3) : "";
    }

    // The axis of `unit`, made on first use: the first on the left, the others on the right.
    QValueAxis *axisFor(const std::string &unit)
    {
        auto found = std::find_if(axes_.begin(), axes_.end(), [&](const Axis &a) { return a.unit == unit; });
        if (found == axes_.end()) {
            auto *values = new QValueAxis;
            values->setTitleText(QString::fromStdString(unit));
            chart_->addAxis(values, axes_.empty() ? Qt::AlignLeft : Qt::AlignRight);
            axes_.push_back({unit, values});
            found = axes_.end() - 1;
        }
        axisOf_.resize(series_.size() + 1);
        axisOf_[series_.size()] = static_cast<std::size_t>(found - axes_.begin());
        return found->values;
    }

    static constexpr double kShortestSpan = 10.0; // seconds shown at first
    static constexpr double kLeastMargin = 0.01;  // of the axis's largest value: a flat line stays mid-axis

    QChart *chart_; // owned by the view
    QChartView *view_;
    QValueAxis *time_ = new QValueAxis; // owned by the chart once added
    std::vector<Axis> axes_;            // one per unit, in order of first use
    std::vector<std::size_t> axisOf_;   // each series' axis
    std::vector<QLineSeries *> series_; // owned by the chart
};

} // namespace

QtControl *createStripChart(const ControlRecord &record, int panel, QWidget *parent)
{
    return new StripChartControl(record, panel, parent);
}

} // namespace qx::ui
