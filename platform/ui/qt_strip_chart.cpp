// The strip chart: a line per trace against time, the latest span of seconds in view, the value
// axis fitted to what is shown.
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
        chart_->addAxis(values_, Qt::AlignLeft);
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
        for (const std::string &name : names) {
            auto *series = new QLineSeries;
            series->setName(QString::fromStdString(name));
            chart_->addSeries(series);
            series->attachAxis(time_);
            series->attachAxis(values_);
            series_.push_back(series);
        }
        time_->setRange(0.0, record().seconds);
    }

    void plot(double x, const std::vector<double> &values) override
    {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (std::size_t i = 0; i < series_.size() && i < values.size(); ++i) {
            QLineSeries *series = series_[i];
            series->append(x, values[i]);
            int stale = 0;
            while (stale < series->count() && series->at(stale).x() < x - record().seconds)
                ++stale;
            if (stale > 0)
                series->removePoints(0, stale);
            for (const QPointF &p : series->points()) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        }
        // The time axis grows with the log up to the chart's span, then moves along with it.
        const double span = record().seconds;
        time_->setRange(std::max(0.0, x - span), std::max(x, std::min(span, kShortestSpan)));
        if (std::isfinite(low)) {
            const double margin = std::max((high - low) * 0.05, 0.5);
            values_->setRange(low - margin, high + margin);
            values_->applyNiceNumbers();
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
    static constexpr double kShortestSpan = 10.0; // seconds shown at first

    QChart *chart_; // owned by the view
    QChartView *view_;
    QValueAxis *time_ = new QValueAxis;   // owned by the chart once added
    QValueAxis *values_ = new QValueAxis; // likewise
    std::vector<QLineSeries *> series_;   // owned by the chart
};

} // namespace

QtControl *createStripChart(const ControlRecord &record, int panel, QWidget *parent)
{
    return new StripChartControl(record, panel, parent);
}

} // namespace qx::ui
