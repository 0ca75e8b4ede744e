// The HTML report: one self-contained file (inline style, plots as PNG data URIs painted by the
// same code as the PDF's), every text from the record escaped.
#include "record_report.h"
#include "report_content.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <new>

namespace qx::records {
namespace {

constexpr double kPixelsPerPoint = 2.0; // plot images are painted at 144 dpi, shown at 72
constexpr double kPlotWidth = 500;      // points
constexpr double kPlotHeight = 205;

const char *const kStyle = R"(
body { font-family: "DejaVu Sans", "Helvetica Neue", Arial, sans-serif; color: #222; margin: 2em auto; max-width: 60em; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { font-size: 1.25em; margin-top: 2em; border-bottom: 1px solid #bbb; }
h3 { font-size: 1em; margin: 1.2em 0 0.3em; }
.quiet { color: #666; }
.verdict { border: 3px solid; border-radius: 8px; padding: 0.5em 1em; margin: 1.2em 0; text-align: center; }
.verdict .label { display: block; text-align: left; color: #666; font-size: 0.8em; }
.verdict .text { font-size: 3em; font-weight: bold; }
table { border-collapse: collapse; width: 100%; }
table.trace th { text-align: left; font-weight: normal; color: #666; width: 12em; vertical-align: top; padding: 0.15em 0.5em 0.15em 0; }
table.trace td { padding: 0.15em 0; word-break: break-word; }
table.steps { font-size: 0.8em; }
table.steps th { background: #dde3ea; text-align: left; padding: 0.3em; }
table.steps td { padding: 0.3em; border-bottom: 1px solid #ccc; vertical-align: top; white-space: pre-line; word-break: break-word; }
table.steps tr:nth-child(even) td { background: #f2f2f2; }
td.verdict-cell { font-weight: bold; }
figure { margin: 1em 0; }
figure img { width: 100%; max-width: 500pt; }
.signature { margin-top: 1.8em; }
.signature span { display: inline-block; width: 8em; }
.signature .line { display: inline-block; width: 22em; border-bottom: 1px solid #222; }
footer { margin-top: 3em; border-top: 1px solid #bbb; padding-top: 0.4em; color: #666; font-size: 0.8em; }
@media print { thead { display: table-header-group; } tr, figure { page-break-inside: avoid; } }
)";

QString escaped(const QString &text) { return text.toHtmlEscaped(); }

QString colourOf(const QColor &colour) { return colour.name(QColor::HexRgb); }

QString tint(const QColor &colour)
{
    return QStringLiteral("rgba(%1, %2, %3, 0.11)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}

// The plot as a PNG data URI, or "" when it could not be painted.
QString plotImage(const Plot &plot)
{
    QImage image(static_cast<int>(kPlotWidth * kPixelsPerPoint), static_cast<int>(kPlotHeight * kPixelsPerPoint),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const int dotsPerMeter = static_cast<int>(72.0 * kPixelsPerPoint / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const double margin = 4 * kPixelsPerPoint;
        drawPlot(painter, QRectF(margin, margin, image.width() - 2 * margin, image.height() - 2 * margin), plot,
                 kPixelsPerPoint);
    }
    QBuffer png;
    if (!png.open(QIODevice::WriteOnly) || !image.save(&png, "PNG"))
        return {};
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.data().toBase64());
}

void writeTrace(QString &html, const TestRecord &record)
{
    QString group;
    for (const TraceField &field : traceFields(record)) {
        if (field.group != group) {
            if (!group.isEmpty())
                html += "</table>\n";
            group = field.group;
            html += "<h3>" + escaped(group) + "</h3>\n<table class=\"trace\">\n";
        }
        html += "<tr><th>" + escaped(field.label) + "</th><td>" + escaped(field.value) + "</td></tr>\n";
    }
    if (!group.isEmpty())
        html += "</table>\n";
}

void writeSteps(QString &html, const TestRecord &record)
{
    html += "<h2>Steps</h2>\n";
    const std::vector<StepRow> rows = stepRows(record);
    if (rows.empty()) {
        html += "<p class=\"quiet\">No step was run.</p>\n";
        return;
    }
    html += "<table class=\"steps\">\n<thead><tr>";
    for (const QString &column : kStepColumns)
        html += "<th>" + escaped(column) + "</th>";
    html += "</tr></thead>\n<tbody>\n";
    for (const StepRow &row : rows) {
        html += "<tr>";
        for (const QString &cell : {row.step, row.run, row.action, row.sent, row.started})
            html += "<td>" + escaped(cell) + "</td>";
        html += "<td class=\"verdict-cell\" style=\"color: " + colourOf(row.verdict.colour) + "\">" +
                escaped(row.verdict.text) + "</td>";
        html += "<td>" + escaped(row.readings) + "</td><td>" + escaped(row.detail) + "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";
}

void writeSection(QString &html, const PlotSection &section)
{
    html += "<h2>" + escaped(section.heading) + "</h2>\n";
    if (!section.note.isEmpty())
        html += "<p class=\"quiet\">" + escaped(section.note) + "</p>\n";
    for (const Plot &plot : section.plots) {
        const QString image = plotImage(plot);
        if (image.isEmpty())
            html += "<p class=\"quiet\">" + escaped(plot.title) + ": the plot could not be painted.</p>\n";
        else
            html += "<figure><img src=\"" + image + "\" alt=\"" + escaped(plot.title) + "\"></figure>\n";
    }
}

QString reportHtml(const TestRecord &record)
{
    const QString title = escaped(reportTitle(record));
    const Verdict verdict = overallVerdict(record);
    QString html;
    html += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title + "</title>\n";
    html += QStringLiteral("<style>") + kStyle + "</style>\n</head>\n<body>\n";
    html += "<h1>" + title + "</h1>\n";
    html += "<p class=\"quiet\">A record of one run of a test sequence on a QX Series AC source</p>\n";
    html += "<div class=\"verdict\" style=\"border-color: " + colourOf(verdict.colour) +
            "; color: " + colourOf(verdict.colour) + "; background: " + tint(verdict.colour) +
            "\"><span class=\"label\">Overall verdict</span><span class=\"text\">" + escaped(verdict.text) +
            "</span></div>\n";
    writeTrace(html, record);
    writeSteps(html, record);
    writeSection(html, runPlots(record));
    for (const PlotSection &section : dropPlots(record))
        writeSection(html, section);
    html += "<h2>Review</h2>\n<p>" + escaped(reviewStatement(record)) + "</p>\n";
    for (const QString &field : kSignatureFields)
        html += "<p class=\"signature\"><span>" + escaped(field) + "</span><span class=\"line\"></span></p>\n";
    const QString uuid = QString::fromStdString(record.uuid).trimmed();
    html += "<footer>Record " + escaped(uuid.isEmpty() ? kMissing : uuid) + "</footer>\n</body>\n</html>\n";
    return html;
}

bool writeHtml(const TestRecord &record, const QString &path, std::string &error)
{
    const QByteArray bytes = reportHtml(record).toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

bool writeHtmlReport(const TestRecord &record, const std::string &path, std::string &error)
{
    return writeGuarded("HTML", writeHtml, record, path, error);
}

} // namespace qx::records
