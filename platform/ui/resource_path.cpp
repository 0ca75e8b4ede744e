// Finding the panel resource at run time: an installed program keeps it next to its executable;
// a program run from the build tree falls back to the copy the build made.
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
#ifdef QX_UI_RESOURCE_DIR
        const fs::path built = fs::path(QX_UI_RESOURCE_DIR) / fileName;
        if (fs::is_regular_file(built, error))
            return built.string();
#endif
        return fileName;
    } catch (...) {
        return {};
    }
}

} // namespace qx::ui
