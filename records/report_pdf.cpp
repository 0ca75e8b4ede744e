// The PDF report: A4 pages painted with QPainter on QPdfWriter. The pages are laid out twice, the
// first time into memory only to count them, so that every footer can say "page n of N".
#include "record_report.h"
#include "report_content.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextOption>

#include <algorithm>
#include <new>

namespace qx::records {
namespace {

constexpr int kResolution = 600; // dots per inch of the PDF's coordinates
constexpr double kMargin = 42;   // points
constexpr double kFooter = 22;   // points under the body
constexpr double kPlotHeight = 205;
// Longer texts are cut in the PDF (the HTML report keeps them whole): one table row must fit a page.
constexpr int kMaxCell = 400;
constexpr int kMaxField = 600;

const QColor kInk{0x22, 0x22, 0x22};
const QColor kQuiet{0x66, 0x66, 0x66};
const QColor kRule{0xbb, 0xbb, 0xbb};
const QColor kShade{0xf2, 0xf2, 0xf2};
const QColor kHeaderShade{0xdd, 0xe3, 0xea};

// Step table column widths, in shares of the body's width (kStepColumns' order).
constexpr std::array<double, 8> kColumnShares{0.05, 0.045, 0.16, 0.13, 0.125, 0.075, 0.235, 0.18};
constexpr std::size_t kVerdictColumn = 5; // painted in the verdict's colour

QString clipped(const QString &text, int max)
{
    return text.size() <= max ? text : text.left(max) + QStringLiteral("\u2026");
}

QTextOption wrapping(Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// The pages as they fill: a body between the margins and above the footer, and where the next
// thing goes in it.
class Pages {
public:
    Pages(QPainter &painter, QPdfWriter &writer, QString uuid, int total)
        : painter_(painter), writer_(writer), uuid_(std::move(uuid)), total_(total),
          unit_(kResolution / 72.0),
          body_(kMargin * unit_, kMargin * unit_, writer.width() - 2 * kMargin * unit_,
                writer.height() - (2 * kMargin + kFooter) * unit_),
          base_(painter.font())
    {
        y_ = body_.top();
        footer();
    }

    double unit() const { return unit_; }
    int count() const { return page_; }
    const QRectF &body() const { return body_; }
    double y() const { return y_; }
    void advance(double points) { y_ += points * unit_; }
    void advancePixels(double pixels) { y_ += pixels; }
    double room() const { return body_.bottom() - y_; }
    QFont font(double points, bool bold = false) const { return reportFont(base_, points, bold); }

    void newPage()
    {
        writer_.newPage();
        ++page_;
        y_ = body_.top();
        footer();
    }
    // A new page unless `pixels` still fit on this one.
    void keep(double pixels)
    {
        if (pixels > room() && y_ > body_.top())
            newPage();
    }

    // Wrapped text across the body (or from `indent` points in); the height taken, in pixels.
    double text(const QString &content, const QFont &f, const QColor &colour, double indent = 0, double width = -1)
    {
        const double w = width > 0 ? width * unit_ : body_.width() - indent * unit_;
        const QRectF area(body_.left() + indent * unit_, y_, w, body_.bottom() - y_);
        painter_.setFont(f);
        painter_.setPen(colour);
        const QRectF used = painter_.boundingRect(area, content, wrapping());
        painter_.drawText(area, content, wrapping());
        return used.height();
    }

    void heading(const QString &content)
    {
        const QFont f = font(13, true);
        keep(QFontMetricsF(f, &writer_).height() * 3);
        advancePixels(text(clipped(content, kMaxCell / 2), f, kInk));
        advance(6);
    }

private:
    void footer()
    {
        painter_.save();
        painter_.setFont(font(7.5));
        const QRectF area(body_.left(), body_.bottom() + 8 * unit_, body_.width(), (kFooter - 8) * unit_);
        painter_.setPen(QPen(kRule, 0.5 * unit_));
        painter_.drawLine(area.topLeft(), area.topRight());
        painter_.setPen(kQuiet);
        painter_.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Record ") + clipped(uuid_, 80));
        const QString number = total_ > 0 ? QStringLiteral("Page %1 of %2").arg(page_).arg(total_)
                                           : QStringLiteral("Page %1").arg(page_);
        painter_.drawText(area, Qt::AlignRight | Qt::AlignVCenter, number);
        painter_.restore();
    }

    QPainter &painter_;
    QPdfWriter &writer_;
    QString uuid_;
    int total_;
    double unit_;
    QRectF body_;
    QFont base_;
    double y_ = 0;
    int page_ = 1;
};

void drawVerdict(QPainter &painter, Pages &pages, const Verdict &verdict)
{
    const double u = pages.unit();
    const QRectF box(pages.body().left(), pages.y(), pages.body().width(), 78 * u);
    QColor tint = verdict.colour;
    tint.setAlpha(28);
    painter.setPen(QPen(verdict.colour, 2.5 * u));
    painter.setBrush(tint);
    painter.drawRoundedRect(box, 6 * u, 6 * u);
    painter.setBrush(Qt::NoBrush);
    painter.setFont(pages.font(9));
    painter.setPen(kQuiet);
    painter.drawText(box.adjusted(14 * u, 8 * u, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Overall verdict"));
    painter.setFont(pages.font(38, true));
    painter.setPen(verdict.colour);
    painter.drawText(box.adjusted(0, 10 * u, 0, 0), Qt::AlignCenter, verdict.text);
    pages.advancePixels(box.height());
    pages.advance(14);
}

void drawFirstPage(QPainter &painter, Pages &pages, const TestRecord &record)
{
    pages.advancePixels(pages.text(clipped(reportTitle(record), kMaxCell / 2), pages.font(18, true), kInk));
    pages.advance(4);
    pages.advancePixels(pages.text(QStringLiteral("A record of one run of a test sequence on a QX Series AC source"),
                                   pages.font(9), kQuiet));
    pages.advance(12);
    drawVerdict(painter, pages, overallVerdict(record));

    constexpr double kLabelWidth = 125;
    QString group;
    for (const TraceField &field : traceFields(record)) {
        if (field.group != group) {
            group = field.group;
            pages.keep(40 * pages.unit());
            pages.advance(5);
            pages.advancePixels(pages.text(group, pages.font(10.5, true), kInk));
            pages.advance(2);
        }
        const QString value = clipped(field.value, kMaxField);
        const double valueWidth = pages.body().width() / pages.unit() - kLabelWidth;
        painter.setFont(pages.font(9));
        const QRectF needed = painter.boundingRect(QRectF(0, 0, valueWidth * pages.unit(), pages.body().height()),
                                                   value, wrapping());
        pages.keep(needed.height());
        pages.text(field.label, pages.font(9), kQuiet, 0, kLabelWidth - 6);
        pages.advancePixels(std::max(needed.height(), pages.text(value, pages.font(9), kInk, kLabelWidth, valueWidth)));
        pages.advance(2.5);
    }
}

// The step table; its header row opens every page it runs over.
class StepTable {
public:
    StepTable(QPainter &painter, Pages &pages) : painter_(painter), pages_(pages)
    {
        double left = pages.body().left();
        for (const double share : kColumnShares) {
            columns_.push_back({left, share * pages.body().width()});
            left += share * pages.body().width();
        }
    }

    void draw(const std::vector<StepRow> &rows)
    {
        header();
        bool shade = false;
        for (const StepRow &row : rows) {
            std::array<QString, 8> cells{row.step,    row.run,          row.action,   row.sent,
                                         row.started, row.verdict.text, row.readings, row.detail};
            for (QString &cell : cells)
                cell = clipped(cell, kMaxCell);
            const double height = rowHeight(cells);
            if (height > pages_.room()) {
                pages_.newPage();
                header();
            }
            paintRow(cells, height, row.verdict.colour, shade);
            shade = !shade;
        }
    }

private:
    struct Column {
        double left, width;
    };

    double pad() const { return 2.5 * pages_.unit(); }

    QRectF cellArea(std::size_t column, double height) const
    {
        return QRectF(columns_[column].left + pad(), pages_.y() + pad(), columns_[column].width - 2 * pad(),
                      height - 2 * pad());
    }

    double rowHeight(const std::array<QString, 8> &cells)
    {
        painter_.setFont(pages_.font(7.5));
        double height = 0;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const QRectF area(0, 0, columns_[c].width - 2 * pad(), pages_.body().height());
            height = std::max(height, painter_.boundingRect(area, cells[c], wrapping()).height());
        }
        return std::min(height + 2 * pad(), pages_.body().height() / 2);
    }

    void header()
    {
        const std::array<QString, 8> &names = kStepColumns;
        painter_.setFont(pages_.font(7.5, true));
        double height = 0;
        for (std::size_t c = 0; c < names.size(); ++c)
            height = std::max(
                height,
                painter_.boundingRect(QRectF(0, 0, columns_[c].width - 2 * pad(), 1e6), names[c], wrapping()).height());
        height += 2 * pad();
        painter_.fillRect(QRectF(pages_.body().left(), pages_.y(), pages_.body().width(), height), kHeaderShade);
        painter_.setPen(kInk);
        for (std::size_t c = 0; c < names.size(); ++c)
            painter_.drawText(cellArea(c, height), names[c], wrapping());
        pages_.advancePixels(height);
    }

    void paintRow(const std::array<QString, 8> &cells, double height, const QColor &verdictColour, bool shade)
    {
        const QRectF row(pages_.body().left(), pages_.y(), pages_.body().width(), height);
        if (shade)
            painter_.fillRect(row, kShade);
        painter_.save();
        painter_.setClipRect(row);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool verdict = c == kVerdictColumn;
            painter_.setFont(pages_.font(7.5, verdict));
            painter_.setPen(verdict ? verdictColour : kInk);
            painter_.drawText(cellArea(c, height), cells[c], wrapping());
        }
        painter_.restore();
        painter_.setPen(QPen(kRule, 0.4 * pages_.unit()));
        painter_.drawLine(row.bottomLeft(), row.bottomRight());
        pages_.advancePixels(height);
    }

    QPainter &painter_;
    Pages &pages_;
    std::vector<Column> columns_;
};

void drawSection(QPainter &painter, Pages &pages, const PlotSection &section)
{
    const double plotHeight = kPlotHeight * pages.unit();
    pages.keep(plotHeight + 40 * pages.unit()); // a heading stays with its first plot
    pages.heading(section.heading);
    if (!section.note.isEmpty()) {
        pages.advancePixels(pages.text(section.note, pages.font(9), kQuiet));
        pages.advance(6);
    }
    for (const Plot &plot : section.plots) {
        pages.keep(plotHeight);
        drawPlot(painter, QRectF(pages.body().left(), pages.y(), pages.body().width(), plotHeight), plot, pages.unit());
        pages.advancePixels(plotHeight);
        pages.advance(10);
    }
    pages.advance(8);
}

void drawSignatures(QPainter &painter, Pages &pages, const TestRecord &record)
{
    const double u = pages.unit();
    pages.keep(190 * u);
    pages.advance(10);
    pages.heading(QStringLiteral("Review"));
    pages.advancePixels(pages.text(clipped(reviewStatement(record), kMaxField), pages.font(9), kInk));
    for (const QString &field : kSignatureFields) {
        pages.advance(26);
        pages.text(field, pages.font(10), kInk);
        painter.setPen(QPen(kInk, 0.6 * u));
        const double y = pages.y() + 12 * u;
        painter.drawLine(QPointF(pages.body().left() + 95 * u, y), QPointF(pages.body().left() + 380 * u, y));
        pages.advance(14);
    }
}

// Paints the whole report; the page count, or 0 when the painter could not start on the device.
int paintReport(QPdfWriter &writer, const TestRecord &record, int total)
{
    QPainter painter;
    if (!painter.begin(&writer))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    const QString uuid = QString::fromStdString(record.uuid).trimmed();
    Pages pages(painter, writer, uuid.isEmpty() ? kMissing : uuid, total);
    drawFirstPage(painter, pages, record);

    pages.keep(pages.body().height() / 3);
    pages.heading(QStringLiteral("Steps"));
    const std::vector<StepRow> rows = stepRows(record);
    if (rows.empty())
        pages.advancePixels(pages.text(QStringLiteral("No step was run."), pages.font(9), kQuiet));
    else
        StepTable(painter, pages).draw(rows);

    pages.advance(16);
    drawSection(painter, pages, runPlots(record));
    for (const PlotSection &section : dropPlots(record))
        drawSection(painter, pages, section);
    drawSignatures(painter, pages, record);
    const int count = pages.count();
    return painter.end() ? count : 0;
}

void setUp(QPdfWriter &writer, const TestRecord &record)
{
    writer.setResolution(kResolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(reportTitle(record));
    writer.setCreator(QStringLiteral("QX Series test records"));
}

bool writePdf(const TestRecord &record, const QString &path, std::string &error)
{
    QBuffer counting;
    counting.open(QIODevice::WriteOnly);
    int total = 0;
    {
        QPdfWriter writer(&counting);
        setUp(writer, record);
        total = paintReport(writer, record, 0);
    }
    if (total == 0) {
        error = "the PDF could not be painted";
        return false;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        setUp(writer, record);
        if (paintReport(writer, record, total) == 0) {
            file.cancelWriting();
            error = "the PDF could not be painted";
            return false;
        }
    }
    if (!file.commit()) {
        error = "cannot write " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

bool writePdfReport(const TestRecord &record, const std::string &path, std::string &error)
{
    return writeGuarded("PDF", writePdf, record, path, error);
}

} // namespace qx::records
