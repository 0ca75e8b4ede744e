#include "report_plot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qx::records {
namespace {

const QColor kInk{0x22, 0x22, 0x22};
const QColor kGrid{0xdd, 0xdd, 0xdd};

constexpr int kMaxTicks = 12;
constexpr int kMarkerRows = 3; // drop labels are staggered over this many rows

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void include(double v)
    {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    bool empty() const { return low > high; }
};

// Room around the values, so no point sits on the frame; a single value gets a band of its own.
Range padded(Range r)
{
    if (r.empty())
        return {0.0, 1.0};
    const double span = r.high - r.low;
    if (!std::isfinite(span) || !std::isfinite(std::abs(r.low) * 0.1))
        return {r.low, r.high > r.low ? r.high : r.low + 1.0}; // values at the ends of a double's range
    const double pad = span > 0.0 ? span * 0.08 : std::max(1.0, std::abs(r.low) * 0.1);
    return {r.low - pad, r.high + pad};
}

// A tick step of 1, 2, 2.5 or 5 times a power of ten giving about `target` ticks over `span`.
double tickStep(double span, int target)
{
    const double raw = span / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / magnitude;
    const double nice = r <= 1.0 ? 1.0 : r <= 2.0 ? 2.0 : r <= 2.5 ? 2.5 : r <= 5.0 ? 5.0 : 10.0;
    return nice * magnitude;
}

std::vector<double> ticks(double low, double high, int target)
{
    std::vector<double> values;
    const double span = high - low;
    if (!(span > 0.0) || !std::isfinite(span))
        return values;
    const double step = tickStep(span, target);
    for (double v = std::ceil(low / step) * step; v <= high + step * 1e-9 && values.size() < kMaxTicks; v += step)
        values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return values;
}

QString number(double v) { return QString::number(v, 'g', 6); }

QFont sized(const QFont &base, double points) { return reportFont(base, points); }

// Maps (time, value) into the frame.
struct Frame {
    QRectF rect;
    double from, to, low, high;
    double x(double t) const { return rect.left() + (t - from) / (to - from) * rect.width(); }
    double y(double v) const { return rect.bottom() - (v - low) / (high - low) * rect.height(); }
};

void drawAxes(QPainter &painter, const Frame &f, const Plot &plot, double unit)
{
    const QFont base = painter.font();
    painter.setFont(sized(base, 6.5));
    const QFontMetricsF metrics(painter.font(), painter.device());
    for (const double t : ticks(f.from, f.to, 8)) {
        painter.setPen(QPen(kGrid, 0.5 * unit));
        painter.drawLine(QPointF(f.x(t), f.rect.top()), QPointF(f.x(t), f.rect.bottom()));
        painter.setPen(kInk);
        const QString label = number(t);
        painter.drawText(QRectF(f.x(t) - 30 * unit, f.rect.bottom() + 2 * unit, 60 * unit, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, label);
    }
    for (const double v : ticks(f.low, f.high, 5)) {
        painter.setPen(QPen(kGrid, 0.5 * unit));
        painter.drawLine(QPointF(f.rect.left(), f.y(v)), QPointF(f.rect.right(), f.y(v)));
        painter.setPen(kInk);
        painter.drawText(QRectF(f.rect.left() - 40 * unit, f.y(v) - metrics.height() / 2, 37 * unit, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, number(v));
    }
    painter.setPen(QPen(kInk, 0.8 * unit));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(f.rect);

    painter.setFont(sized(base, 7.5));
    const QFontMetricsF labelMetrics(painter.font(), painter.device());
    painter.drawText(QRectF(f.rect.left(), f.rect.bottom() + 2 * unit + metrics.height(), f.rect.width(),
                            labelMetrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Time since start (s)"));
    painter.save();
    painter.translate(f.rect.left() - 44 * unit - labelMetrics.height(), f.rect.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-f.rect.height() / 2, 0, f.rect.height(), labelMetrics.height()), Qt::AlignCenter,
                     plot.yLabel);
    painter.restore();
    painter.setFont(base);
}

void drawLimits(QPainter &painter, const Frame &f, const Plot &plot, double unit)
{
    const QFont base = painter.font();
    painter.setFont(sized(base, 6.5));
    const QFontMetricsF metrics(painter.font(), painter.device());
    for (const PlotLimit &limit : plot.limits) {
        if (!std::isfinite(limit.value))
            continue;
        const double y = f.y(limit.value);
        painter.setPen(QPen(kLimitColour, 1.0 * unit, Qt::DashLine));
        painter.drawLine(QPointF(f.rect.left(), y), QPointF(f.rect.right(), y));
        // Above the line, or below it when the line runs along the top of the frame; on a ground of
        // its own, so a series crossing it does not hide it.
        const double top = y - metrics.height() - unit < f.rect.top() ? y + unit : y - metrics.height() - unit;
        const double width = metrics.horizontalAdvance(limit.label) + 2 * unit;
        const QRectF box(f.rect.right() - 3 * unit - width, top, width, metrics.height());
        painter.fillRect(box, QColor(255, 255, 255, 200));
        painter.setPen(kLimitColour);
        painter.drawText(box, Qt::AlignCenter, limit.label);
    }
    painter.setFont(base);
}

struct MarkerLabel {
    const PlotMarker *marker;
    double x, left, width;
    int row;
};

// The drop labels, placed in a band above the frame: each goes to the first row where it does not
// run into the label before it. `x` maps a time to the frame's abscissa.
template <typename ToX>
std::vector<MarkerLabel> placeMarkers(const Plot &plot, const QFontMetricsF &metrics, double unit, const QRectF &rect,
                                      ToX x)
{
    std::vector<MarkerLabel> labels;
    for (const PlotMarker &m : plot.markers) {
        const double at = x(m.time);
        if (std::isfinite(at) && at >= rect.left() - 0.5 && at <= rect.right() + 0.5)
            labels.push_back({&m, at, 0, metrics.horizontalAdvance(m.label) + 2 * unit, 0});
    }
    std::sort(labels.begin(), labels.end(), [](const auto &a, const auto &b) { return a.x < b.x; });
    std::vector<double> rowEnd(kMarkerRows, -std::numeric_limits<double>::infinity());
    for (MarkerLabel &label : labels) {
        label.left =
            std::clamp(label.x - label.width / 2, rect.left() - 40 * unit, rect.right() - label.width + 8 * unit);
        while (label.row < kMarkerRows && rowEnd[label.row] > label.left - 2 * unit)
            ++label.row;
        if (label.row == kMarkerRows)
            label.row = static_cast<int>(std::min_element(rowEnd.begin(), rowEnd.end()) - rowEnd.begin());
        rowEnd[label.row] = label.left + label.width;
    }
    return labels;
}

int rowsUsed(const std::vector<MarkerLabel> &labels)
{
    int rows = 0;
    for (const MarkerLabel &label : labels)
        rows = std::max(rows, label.row + 1);
    return rows;
}

void drawMarkers(QPainter &painter, const Frame &f, const std::vector<MarkerLabel> &labels, double unit,
                 double rowHeight)
{
    const QFont base = painter.font();
    painter.setFont(sized(base, 6.5));
    for (const MarkerLabel &label : labels) {
        painter.setPen(QPen(kDropColour, 0.9 * unit, Qt::DashDotLine));
        painter.drawLine(QPointF(label.x, f.rect.top()), QPointF(label.x, f.rect.bottom()));
        const double top = f.rect.top() - (label.row + 1) * rowHeight;
        painter.setPen(QPen(kDropColour, 0.5 * unit, Qt::DotLine));
        painter.drawLine(QPointF(label.x, top + rowHeight), QPointF(label.x, f.rect.top()));
        painter.setPen(kDropColour);
        painter.drawText(QRectF(label.left, top, label.width, rowHeight), Qt::AlignCenter, label.marker->label);
    }
    painter.setFont(base);
}

void drawSeries(QPainter &painter, const Frame &f, const Plot &plot, double unit)
{
    painter.save();
    painter.setClipRect(f.rect.adjusted(-3 * unit, -3 * unit, 3 * unit, 3 * unit));
    painter.setRenderHint(QPainter::Antialiasing);
    for (const PlotSeries &series : plot.series) {
        QPainterPath path;
        for (const QPointF &p : series.points) {
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                continue;
            const QPointF at(f.x(p.x()), f.y(p.y()));
            if (path.elementCount() == 0)
                path.moveTo(at);
            else
                path.lineTo(at);
        }
        painter.setPen(QPen(series.colour, 1.2 * unit));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        // Every reading is marked, so a few readings still read as points, not as a stray line.
        painter.setBrush(series.colour);
        for (int i = 0; i < path.elementCount(); ++i)
            painter.drawEllipse(QPointF(path.elementAt(i)), 2.2 * unit, 2.2 * unit);
    }
    painter.restore();
}

void drawTitleAndLegend(QPainter &painter, const QRectF &area, const Plot &plot, double unit, double height)
{
    const QFont base = painter.font();
    painter.setFont(reportFont(base, 8.5, true));
    painter.setPen(kInk);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), height), Qt::AlignLeft | Qt::AlignVCenter,
                     plot.title);
    painter.setFont(sized(base, 6.5));
    const QFontMetricsF metrics(painter.font(), painter.device());
    double right = area.right();
    for (auto s = plot.series.rbegin(); s != plot.series.rend(); ++s) {
        const double width = metrics.horizontalAdvance(s->name);
        right -= width;
        painter.setPen(kInk);
        painter.drawText(QRectF(right, area.top(), width, height), Qt::AlignLeft | Qt::AlignVCenter, s->name);
        right -= 10 * unit;
        painter.setPen(Qt::NoPen);
        painter.setBrush(s->colour);
        painter.drawRect(QRectF(right, area.top() + height / 2 - 3 * unit, 7 * unit, 6 * unit));
        right -= 8 * unit;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setFont(base);
}

} // namespace

QFont reportFont(const QFont &base, double points, bool bold)
{
    QFont font(base);
    font.setPointSizeF(points);
    font.setBold(bold);
    // Any letter spacing turns Qt's ligatures off: a PDF's text then reads back as it was written
    // ("off", not the one glyph "ﬀ"), for searches and for pdftotext.
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
    return font;
}

QColor phaseColour(int phase)
{
    static const QColor kColours[] = {{0x1f, 0x5f, 0xbf}, {0x1f, 0x5f, 0xbf}, {0xe6, 0x7e, 0x22}, {0x16, 0xa0, 0x85}};
    return kColours[std::clamp(phase, 0, 3)];
}

void drawPlot(QPainter &painter, const QRectF &area, const Plot &plot, double unit)
{
    painter.save();
    const double titleHeight = 14 * unit;
    const double rowHeight = 9 * unit;
    drawTitleAndLegend(painter, area, plot, unit, titleHeight);

    Range values;
    for (const PlotSeries &s : plot.series)
        for (const QPointF &p : s.points)
            values.include(p.y());
    for (const PlotLimit &l : plot.limits)
        values.include(l.value);
    const Range y = padded(values);
    const double from = std::isfinite(plot.from) ? plot.from : 0.0;
    const double to = std::isfinite(plot.to) && plot.to > from ? plot.to : from + 1.0;

    // The frame's sides are known before its top, which waits for the rows the drop labels take.
    const double left = area.left() + 58 * unit;
    const double width = area.width() - 66 * unit;
    painter.setFont(sized(painter.font(), 6.5));
    const std::vector<MarkerLabel> labels =
        placeMarkers(plot, QFontMetricsF(painter.font(), painter.device()), unit, QRectF(left, 0, width, 1),
                     [&](double t) { return left + (t - from) / (to - from) * width; });
    painter.restore();
    painter.save();
    const double band = rowsUsed(labels) * rowHeight + 4 * unit;
    const QRectF rect(left, area.top() + titleHeight + band, width, area.height() - titleHeight - band - 26 * unit);
    if (rect.width() > 0 && rect.height() > 0) {
        const Frame frame{rect, from, to, y.low, y.high};
        drawAxes(painter, frame, plot, unit);
        drawLimits(painter, frame, plot, unit);
        drawMarkers(painter, frame, labels, unit, rowHeight);
        drawSeries(painter, frame, plot, unit);
    }
    painter.restore();
}

} // namespace qx::records
