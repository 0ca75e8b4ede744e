#include "visa/io_trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "runtime/clock.h"

namespace qx::visa {
namespace {

class TraceFile {
public:
    TraceFile()
    {
        const char *target = std::getenv("QX_IO_TRACE");
        if (!target || !*target)
            return;
        if (std::strcmp(target, "stderr") == 0) {
            file_ = stderr;
            return;
        }
        file_ = std::fopen(target, "a");
        owned_ = file_ != nullptr;
    }
    ~TraceFile()
    {
        if (owned_)
            std::fclose(file_);
    }
    TraceFile(const TraceFile &) = delete;
    TraceFile &operator=(const TraceFile &) = delete;

    bool enabled() const { return file_ != nullptr; }

    void write(const std::string &line)
    {
        std::lock_guard lock(mutex_);
        std::fputs(line.c_str(), file_);
        std::fflush(file_); // so the trace survives a crash of the program being debugged
    }

private:
    std::FILE *file_ = nullptr;
    bool owned_ = false;
    std::mutex mutex_;
};

TraceFile &traceFile()
{
    static TraceFile file;
    return file;
}

std::string timestamp()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    char micros[8];
    std::snprintf(micros, sizeof micros, ".%06u", static_cast<unsigned>(now.tv_nsec / 1000) % 1000000u);
    return std::string(date) + micros;
}

// Writes "<time> <source> <rest>" when tracing is on; `rest` appends to the line. Tracing never
// breaks the I/O it watches.
template <class Rest> void traceLine(std::string_view source, Rest &&rest)
{
    try {
        TraceFile &file = traceFile();
        if (!file.enabled())
            return;
        std::string line = timestamp();
        line += ' ';
        line += source;
        rest(line);
        line += '\n';
        file.write(line);
    } catch (...) {
    }
}

} // namespace

void traceIo(std::string_view resource, TraceDirection direction, std::string_view bytes, std::string_view ending,
             ViStatus status)
{
    traceLine(resource, [&](std::string &line) {
        line += direction == TraceDirection::Write ? " write \"" : " read \"";
        line += qx::runtime::escapeBytes(bytes);
        line += '"';
        if (!ending.empty()) {
            line += ' ';
            line += ending;
        }
        if (status < 0) {
            char code[24];
            std::snprintf(code, sizeof code, " status 0x%08X", static_cast<unsigned>(status));
            line += code;
        }
    });
}

void traceNote(std::string_view source, std::string_view text)
{
    traceLine(source, [&](std::string &line) {
        line += ' ';
        line += text;
    });
}

} // namespace qx::visa
