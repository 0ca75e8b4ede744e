// The report of a sequence run as CSV: a header, then one row per step run, each written and
// flushed as it ends (a run that is killed keeps every row written), then the summary as
// "#" comment lines (pandas: read_csv(path, comment="#")).
#pragma once

#include "runner.h"

#include <cstdio>
#include <string>

namespace qx::sequence {

inline constexpr char kReportHeader[] = "time,elapsed_s,step,run,kind,values,result,detail";

// One CSV line (without the line end); fields with commas, quotes or line ends are quoted.
std::string csvLine(const Row &row);

class ReportFile final : public Observer {
public:
    ReportFile() = default;
    ~ReportFile() override;
    ReportFile(const ReportFile &) = delete;
    ReportFile &operator=(const ReportFile &) = delete;

    // Creates (or empties) the file and writes the header; false with `error` set when it cannot.
    bool open(const std::string &path, const std::string &sequenceName, std::string &error);
    void finished(const Row &row) override;
    void close(const Summary &summary);
    bool failed() const { return failed_; } // a write went wrong

private:
    void put(const std::string &line);

    std::FILE *file_ = nullptr;
    bool failed_ = false;
};

} // namespace qx::sequence
