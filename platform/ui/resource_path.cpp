// Finding the panel resource at run time: a program keeps its resource next to its executable
// (the build copies it there, see qx_panel_resource), or, installed, in its own data folder
// (<prefix>/share/<program>/ beside <prefix>/bin/<program>).
#include "ui/toolkit.h"

#include <filesystem>

namespace qx::ui {

std::string PanelResourcePath(const char *fileName) noexcept
{
    if (fileName == nullptr)
        return {};
    try {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path executable = fs::read_symlink("/proc/self/exe", error);
        if (!error) {
            const fs::path beside = executable.parent_path() / fileName;
            if (fs::is_regular_file(beside, error))
                return beside.string();
            const fs::path installed =
                executable.parent_path().parent_path() / "share" / executable.filename() / fileName;
            if (fs::is_regular_file(installed, error))
                return installed.string();
        }
        return fileName;
    } catch (...) {
        return {};
    }
}

} // namespace qx::ui
