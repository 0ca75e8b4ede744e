// Reports of a test record, made from the record alone (never from live state): a PDF a lab can
// file and sign (QPdfWriter), or one self-contained HTML file with the same content. Both hold a
// first page with the overall verdict and every trace field, a table of the step runs, plots of
// the measured voltage, current and power over the run and around each drop (limits and drops
// drawn in), and the record's uuid and page numbers in every footer.
//
// Contract: no exception leaves these functions; a file that cannot be written is a false return
// with `error` saying why, and a failed write leaves no partial file behind. Qt paints the pages,
// so a Qt GUI application must exist: each call makes sure of one (see ReportRenderer). A program
// without one calls them from its main thread; with one (the panel), from any thread, since they
// paint on images and PDF files only.
#pragma once

#include "record.h"

#include <array>
#include <memory>
#include <string>

class QGuiApplication;

namespace qx::records {

// Makes sure a Qt GUI application exists for as long as it lives. A program that has one (the
// panel's QApplication) keeps it; otherwise one is made here, on the offscreen platform unless
// QT_QPA_PLATFORM names another: a report needs no screen, and a display that is named but
// unreachable would otherwise end the process. Keep one alive across several reports to make
// the application only once.
class ReportRenderer {
public:
    ReportRenderer();
    ~ReportRenderer();
    ReportRenderer(const ReportRenderer &) = delete;
    ReportRenderer &operator=(const ReportRenderer &) = delete;

    // False with `error` when there is no application to paint with (a program that made a
    // QCoreApplication only).
    bool ready(std::string &error) const;

private:
    std::array<char, 9> name_{"qxreport"};
    std::array<char, 10> platformOption_{"-platform"};
    std::array<char, 10> offscreen_{"offscreen"};
    std::array<char *, 4> argv_{};
    int argc_ = 0;
    bool quiet_ = false; // Qt's notes are kept off the terminal while the application is ours
    std::unique_ptr<QGuiApplication> own_; // null when the program brought its own
    std::string error_;
};

bool writePdfReport(const TestRecord &record, const std::string &path, std::string &error);
bool writeHtmlReport(const TestRecord &record, const std::string &path, std::string &error);

} // namespace qx::records
