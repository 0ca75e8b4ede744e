// A plot of a report: measured values against the time since the start of the run, with the
// limits of expectations as dashed lines and drops as markers, painted with QPainter on any paint
// device (a PDF page, or an image for the HTML report). Sizes are in points; `unit` is the
// device's pixels per point.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

namespace qx::records {

struct PlotSeries {
    QString name; // "L1", "all phases"
    QColor colour;
    std::vector<QPointF> points; // (seconds since start, value)
};

struct PlotLimit { // a dashed horizontal line
    double value = 0.0;
    QString label; // "low 207 V (steps 3, 7)"
};

struct PlotMarker { // a drop, at its commanded time
    double time = 0.0;
    QString label; // "90°, 10 ms"
};

struct Plot {
    QString title;  // "Voltage over the run"
    QString yLabel; // "Voltage (V)"
    double from = 0.0; // the time axis, seconds since start
    double to = 1.0;
    std::vector<PlotSeries> series;
    std::vector<PlotLimit> limits;
    std::vector<PlotMarker> markers;
};

// The colours a report paints with: limits, drop markers and the series of each phase.
inline const QColor kLimitColour{0xc0, 0x39, 0x2b};
inline const QColor kDropColour{0x8e, 0x44, 0xad};
QColor phaseColour(int phase);

// `base` at a size in points, the way every text of a report is set.
QFont reportFont(const QFont &base, double points, bool bold = false);

void drawPlot(QPainter &painter, const QRectF &area, const Plot &plot, double unit);

} // namespace qx::records
