#include "record_report.h"
#include "report_content.h"

#include <QGuiApplication>

#include <cstdlib>
#include <new>
#include <string>

namespace qx::records {
namespace {

QtMessageHandler gPreviousHandler = nullptr;

// While a report makes its own application, Qt's notes on its set-up (no XDG_RUNTIME_DIR, fonts
// it looked for) are not for the user of a command-line tool; what is critical still goes on.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtCriticalMsg || type == QtFatalMsg) && gPreviousHandler != nullptr)
        gPreviousHandler(type, context, message);
}

bool platformNamed()
{
    const char *value = std::getenv("QT_QPA_PLATFORM");
    return value != nullptr && *value != '\0';
}

} // namespace

ReportRenderer::ReportRenderer()
{
    try {
        QCoreApplication *existing = QCoreApplication::instance();
        if (existing == nullptr) {
            // The application keeps argc and argv (and takes the options it reads out of them)
            // for as long as it lives, so they live beside it.
            argv_ = {name_.data(), platformOption_.data(), offscreen_.data(), nullptr};
            argc_ = platformNamed() ? 1 : 3;
            gPreviousHandler = qInstallMessageHandler(quietHandler);
            quiet_ = true;
            own_ = std::make_unique<QGuiApplication>(argc_, argv_.data());
        } else if (qobject_cast<QGuiApplication *>(existing) == nullptr) {
            error_ = "the program's Qt application cannot paint (it is not a GUI application)";
        }
    } catch (const std::bad_alloc &) {
        error_ = "out of memory";
    } catch (...) {
        error_ = "the Qt application could not be made";
    }
}

ReportRenderer::~ReportRenderer()
{
    own_.reset();
    if (quiet_)
        qInstallMessageHandler(gPreviousHandler);
}

bool ReportRenderer::ready(std::string &error) const
{
    if (error_.empty())
        return true;
    error = error_;
    return false;
}

bool writeGuarded(const char *kind, ReportWriter write, const TestRecord &record, const std::string &path,
                  std::string &error)
{
    try {
        if (path.empty()) {
            error = std::string("no file named for the ") + kind + " report";
            return false;
        }
        const ReportRenderer renderer;
        return renderer.ready(error) && write(record, QString::fromStdString(path), error);
    } catch (const std::bad_alloc &) {
        error = "out of memory";
    } catch (...) {
        error = std::string("the ") + kind + " report could not be made";
    }
    return false;
}

} // namespace qx::records
