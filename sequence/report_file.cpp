#include "report_file.h"

#include <cerrno>
#include <cstring>

namespace qx::sequence {
namespace {

std::string field(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

std::string csvLine(const Row &row)
{
    return row.time + ',' + seconds(row.elapsed) + ',' + std::to_string(row.step) + ',' + std::to_string(row.run) +
           ',' + stepKindName(row.kind) + ',' + field(row.values) + ',' + verdictName(row.verdict) + ',' +
           field(row.detail);
}

ReportFile::~ReportFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool ReportFile::open(const std::string &path, const std::string &sequenceName, std::string &error)
{
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    put(std::string("# sequence: ") + sequenceName);
    put(kReportHeader);
    return true;
}

void ReportFile::put(const std::string &line)
{
    if (file_ == nullptr)
        return;
    if (std::fputs((line + '\n').c_str(), file_) < 0 || std::fflush(file_) != 0)
        failed_ = true;
}

void ReportFile::finished(const Row &row) { put(csvLine(row)); }

void ReportFile::close(const Summary &summary)
{
    put("# " + std::string(endingName(summary.ending)) + ": " + std::to_string(summary.runs) + " runs, " +
        std::to_string(summary.passed) + " passed, " + std::to_string(summary.failed) + " failed");
    put("# " + summary.message);
    if (file_ != nullptr && std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
}

} // namespace qx::sequence
