#include "report_command.h"

#include "record_report.h"
#include "store.h"

#include <exception>
#include <iostream>

namespace qx::ctl {
namespace {

int failed(const std::string &message)
{
    std::cerr << "qxctl: report: " << message << '\n';
    return 1;
}

} // namespace

int runReportCommand(const Command &command)
{
    try {
        std::string error;
        const std::unique_ptr<records::RecordStore> store = records::openStore(command.records, error);
        if (!store)
            return failed(error.empty() ? "the record store cannot be opened" : error);
        const std::optional<records::TestRecord> record = store->load(command.run, error);
        if (!record)
            return failed(error.empty() ? "no record " + command.run + " in " + store->where()
                                        : error + " (in " + store->where() + ")");
        const bool pdf = !command.pdf.empty();
        const std::string &path = pdf ? command.pdf : command.html;
        if (!(pdf ? records::writePdfReport(*record, path, error) : records::writeHtmlReport(*record, path, error)))
            return failed(error);
        std::cout << path << '\n';
        return std::cout.flush() ? 0 : 1;
    } catch (const std::exception &e) {
        return failed(e.what());
    }
}

} // namespace qx::ctl
