// Finding the panel resource at run time: a program keeps its resource next to its executable
// (the build copies it there, see qx_panel_resource).
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
        }
        return fileName;
    } catch (...) {
        return {};
    }
}

} // namespace qx::ui
