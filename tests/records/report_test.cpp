// Reports of a full record (two drops, measure steps with limits, one failed expectation, more
// step runs than a page holds): the PDF's text, read back by pdftotext, holds every trace field,
// verdict and unit; every page renders with pdftoppm and is not blank, and the plots are painted
// in colour. The HTML holds the same fields with markup escaped. A file that cannot be written
// is an error.
#include "record_report.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace qx::records {
namespace {

constexpr int kMeasureRuns = 40;

StepRun stepRun(int step, int run, const std::string &kind, const std::string &action, const std::string &sent,
                double elapsed, const std::string &verdict, const std::string &detail = "")
{
    StepRun r;
    r.step = step;
    r.run = run;
    r.kind = kind;
    r.action = action;
    r.sent = sent;
    r.started = "2026-12-08T09:00:10.000Z";
    r.ended = "2026-12-08T09:00:10.200Z";
    r.elapsed = elapsed;
    r.verdict = verdict;
    r.detail = detail;
    return r;
}

StepRun measure(int step, int run, double elapsed, double volts, const std::string &verdict = "pass")
{
    StepRun r = stepRun(step, run, "measure", "measure voltage, current, power", "phase=0", elapsed, verdict,
                        verdict == "pass" ? "" : "voltage 180 V is below 207 V");
    r.readings = {{"voltage", 0, volts, "V"}, {"current", 0, 1.02, "A"}, {"power", 0, 234.6, "W"}};
    r.limits = {{"voltage", 207, 253, "V"}, {"current", 0, 2, "A"}};
    return r;
}

StepRun drop(int step, double elapsed, double angle)
{
    StepRun r = stepRun(step, 1, "drop", "drop at angle, 0.01 s", "angle=" + std::to_string(int(angle)) + ";time=0.01",
                        elapsed, "pass");
    r.dropAngle = angle;
    r.dropTime = 0.01;
    return r;
}

// Every field filled, so every one must show.
TestRecord fullRecord()
{
    TestRecord r;
    r.id = 17;
    r.uuid = "3f2a9c4e-8d1b-4c6a-9e0f-5a7b2c1d0e93";
    r.instrument = {"7103QX", "QX-204518", "FW-2.14", "ASRL1::INSTR"};
    r.software = "qxctl";
    r.softwareVersion = "1.4.0";
    r.host = "bench-three";
    r.operatorName = "Ada Tester";
    r.eut = {"PSU-12 mains adapter", "EUT-0042"};
    r.sequenceName = "IEC 61000-4-11 interruptions 50 Hz";
    r.sequenceFile = "/usr/share/qxseries/sequences/iec-interruptions-50.json";
    r.sequenceSha256 = "9b1c3e5f7a9b1c3e5f7a9b1c3e5f7a9b1c3e5f7a9b1c3e5f7a9b1c3e5f7a0d2e";
    r.started = "2026-12-08T09:00:00.000Z";
    r.ended = "2026-12-08T09:01:30.500Z";
    r.verdict = "fail";
    r.ending = "aborted";
    r.endedBy = "operator (Abort)";
    r.failedStep = 9;
    r.message = "aborted by the operator after step 8";
    r.steps.push_back(stepRun(1, 1, "set", "set voltage 230 V", "voltage=230", 0.1, "pass"));
    r.steps.push_back(measure(2, 1, 1.0, 229.8));
    r.steps.push_back(drop(3, 2.0, 90));
    r.steps.push_back(measure(4, 1, 3.0, 180.0, "fail"));
    r.steps.push_back(drop(5, 4.0, 270));
    r.steps.push_back(stepRun(6, 1, "output", "output off", "output=0", 4.5, "error", "the instrument did not answer"));
    for (int i = 1; i <= kMeasureRuns; ++i)
        r.steps.push_back(measure(8, i, 5.0 + i, 230.1));
    r.runs = static_cast<int>(r.steps.size());
    r.failed = 2;
    r.passed = r.runs - 2;
    return r;
}

std::string output(const std::string &command)
{
    std::string text;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        ::pclose(pipe);
    }
    return text;
}

std::string fileText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> traceValues(const TestRecord &r)
{
    return {r.instrument.model, r.instrument.serial, r.instrument.firmware, r.instrument.resource, r.software,
            r.softwareVersion, r.host, r.operatorName, r.eut.name, r.eut.serial, r.sequenceName, r.sequenceFile,
            r.sequenceSha256, r.started, r.ended, r.ending, r.endedBy, r.message, r.uuid};
}

struct PageInk {
    double share = 0.0; // of pixels not white
    int blue = 0;       // pixels of the plots' series colour
    int red = 0;        // pixels of a failing verdict or a limit
};

PageInk inkOf(const QImage &image)
{
    PageInk ink;
    long dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            dark += c.red() + c.green() + c.blue() < 3 * 245;
            ink.blue += c.blue() > c.red() + 60 && c.blue() > c.green() + 20;
            ink.red += c.red() > c.green() + 60 && c.red() > c.blue() + 60;
        }
    ink.share = double(dark) / (image.width() * image.height());
    return ink;
}

TEST(PdfReport, HoldsEveryTraceFieldVerdictAndUnit)
{
    const TestRecord record = fullRecord();
    const std::string pdf = test::privateTempPath("report.pdf");
    std::string error;
    ASSERT_TRUE(writePdfReport(record, pdf, error)) << error;

    const std::string text = output("pdftotext -layout '" + pdf + "' -");
    for (const std::string &value : traceValues(record))
        EXPECT_NE(text.find(value), std::string::npos) << value;
    for (const char *expected : {"FAIL", "pass", "fail", "error", "229.8 V", "180 V", "1.02 A", "234.6 W",
                                 "Voltage (V)", "Current (A)", "Power (W)", "90°, 10 ms", "270°, 10 ms",
                                 "low 207 V", "high 253 V", "output off", "Reviewed by", "Signature"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    // The step runs span pages, each page opening with the table's header again.
    std::size_t headers = 0;
    for (std::size_t at = 0; (at = text.find("Readings", at)) != std::string::npos; ++at)
        ++headers;
    EXPECT_GE(headers, 2u);
    const auto pages = std::count(text.begin(), text.end(), '\f');
    ASSERT_GE(pages, 4);
    EXPECT_NE(text.find("Page 1 of " + std::to_string(pages)), std::string::npos);
    EXPECT_NE(text.find("Page " + std::to_string(pages) + " of " + std::to_string(pages)), std::string::npos);

    // Every page renders and holds something; the first shows the verdict in red, the run's plots in colour.
    const std::string prefix = test::privateTempPath("page");
    ASSERT_EQ(std::system(("pdftoppm -r 50 -png '" + pdf + "' '" + prefix + "'").c_str()), 0);
    std::vector<std::string> images;
    const std::filesystem::path folder = std::filesystem::path(prefix).parent_path();
    const std::string name = std::filesystem::path(prefix).filename().string() + "-";
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(name, 0) == 0)
            images.push_back(entry.path().string());
    std::sort(images.begin(), images.end());
    ASSERT_EQ(images.size(), static_cast<std::size_t>(pages));
    for (const std::string &image : images)
        EXPECT_GT(inkOf(QImage(QString::fromStdString(image))).share, 0.01) << image;
    EXPECT_GT(inkOf(QImage(QString::fromStdString(images.front()))).red, 200);
    const std::size_t plots = text.find("Voltage over the run");
    ASSERT_NE(plots, std::string::npos);
    const auto index = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(plots), '\f');
    ASSERT_LT(index, pages);
    EXPECT_GT(inkOf(QImage(QString::fromStdString(images[index]))).blue, 400); // the legend's swatches alone: about 40
    for (const std::string &image : images)
        std::filesystem::remove(image);
}

TEST(PdfReport, ShowsMissingFieldsAndNoReadings)
{
    TestRecord record;
    record.steps.push_back(stepRun(1, 1, "wait", "wait 1 s", "time=1", 1.0, "pass"));
    record.steps.back().started.clear();
    const std::string pdf = test::privateTempPath("empty.pdf");
    std::string error;
    ASSERT_TRUE(writePdfReport(record, pdf, error)) << error;
    const std::string text = output("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("INCOMPLETE"), std::string::npos);
    EXPECT_NE(text.find("no readings"), std::string::npos);
    std::size_t dashes = 0;
    for (std::size_t at = 0; (at = text.find("\u2014", at)) != std::string::npos; ++at)
        ++dashes;
    EXPECT_GE(dashes, traceValues(record).size()); // each empty field, and the empty cells of the row
}

// What a damaged store could hand back: values no run gives, text that is not UTF-8, a detail
// longer than a page. Both reports are still made, and the PDF renders.
TEST(Reports, SurviveGarbageInTheRecord)
{
    TestRecord record = fullRecord();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    static constexpr char kGarbage[] = "\xff\xfe\x80 bad \0 bytes";
    record.operatorName = std::string(kGarbage, sizeof kGarbage - 1); // with the NUL inside, not the last
    record.steps[1].readings = {{"voltage", 7, 1e308, "V"}, {"voltage", -2, -inf, "V"}, {"", 0, nan, ""}};
    record.steps[2].elapsed = nan;
    record.steps[2].dropAngle = inf;
    record.steps[3].detail = std::string(100000, 'x');
    record.steps[4].elapsed = 1e300;
    record.steps[5].limits = {{"voltage", inf, -inf, "V"}};
    const std::string pdf = test::privateTempPath("garbage.pdf");
    std::string error;
    ASSERT_TRUE(writePdfReport(record, pdf, error)) << error;
    EXPECT_TRUE(writeHtmlReport(record, test::privateTempPath("garbage.html"), error)) << error;
    EXPECT_NE(output("pdftotext '" + pdf + "' -").find(record.sequenceName), std::string::npos);
}

TEST(HtmlReport, HoldsEveryFieldWithMarkupEscaped)
{
    TestRecord record = fullRecord();
    record.operatorName = "<script>alert('x')</script> & Co";
    const std::string path = test::privateTempPath("report.html");
    std::string error;
    ASSERT_TRUE(writeHtmlReport(record, path, error)) << error;
    const std::string html = fileText(path);
    for (const std::string &value : traceValues(record)) {
        if (value != record.operatorName) {
            EXPECT_NE(html.find(value), std::string::npos) << value;
        }
    }
    EXPECT_NE(html.find("&lt;script&gt;alert('x')&lt;/script&gt; &amp; Co"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find(">FAIL<"), std::string::npos);
    EXPECT_NE(html.find("data:image/png;base64,"), std::string::npos);
    EXPECT_NE(html.find("229.8 V"), std::string::npos);
}

TEST(Reports, UnwritablePathIsAnErrorAndLeavesNoFile)
{
    const TestRecord record = fullRecord();
    const std::string path = test::privateTempPath("missing-folder") + "/report";
    for (const auto write : {&writePdfReport, &writeHtmlReport}) {
        std::string error;
        EXPECT_FALSE(write(record, path, error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_FALSE(write(record, "", error));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// The panel's application is used as it is and outlives the report; one that cannot paint is refused.
TEST(Reports, PaintWithTheProgramsOwnApplication)
{
    int argc = 1;
    char name[] = "panel";
    char *argv[] = {name, nullptr};
    std::string error;
    {
        QGuiApplication panel(argc, argv);
        EXPECT_TRUE(writePdfReport(fullRecord(), test::privateTempPath("panel.pdf"), error)) << error;
        EXPECT_EQ(QCoreApplication::instance(), &panel);
    }
    QCoreApplication console(argc, argv);
    EXPECT_FALSE(writeHtmlReport(fullRecord(), test::privateTempPath("console.html"), error));
    EXPECT_NE(error.find("not a GUI application"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(test::privateTempPath("console.html")));
}

} // namespace
} // namespace qx::records
