// The panel resource is a text file the operator's installation carries and may have edited.
// Whatever it holds, the loader answers with a status; a resource it accepts is self-consistent.
#include "ui/panel_resource.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const qx::ui::ResourceLoad load =
        qx::ui::parsePanelResource(std::string_view(reinterpret_cast<const char *>(data), size));
    if (load.status != 0 || !load.resource)
        return 0;
    for (const qx::ui::PanelRecord &panel : load.resource->panels) {
        if (load.resource->panel(panel.number) == nullptr)
            std::abort();
        for (const qx::ui::ControlRecord *control : panel.controls())
            if (panel.control(control->id) == nullptr || panel.control(control->name) == nullptr)
                std::abort();
    }
    return 0;
}
