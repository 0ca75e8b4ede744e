#include "committed_values.h"

#include <type_traits>

namespace qx::app {
namespace {

thread_local const TakenValues *running = nullptr;

template <class Value> bool take(int panel, int control, ControlValue &taken)
{
    Value value{};
    if (ui::GetCtrlVal(panel, control, &value) != 0)
        return false;
    taken = std::move(value);
    return true;
}

} // namespace

ControlValue takeValue(int panel, int control)
{
    ControlValue taken;
    take<double>(panel, control, taken) || take<int>(panel, control, taken) ||
        take<std::int16_t>(panel, control, taken) || take<std::string>(panel, control, taken);
    return taken;
}

bool putBack(int panel, int control, const ControlValue &value)
{
    return std::visit(
        [&](const auto &v) {
            if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::monostate>) {
                int dimmed = 0;
                return ui::GetCtrlDimmed(panel, control, &dimmed) == 0;
            } else {
                return ui::SetCtrlVal(panel, control, v) == 0;
            }
        },
        value);
}

TakenValues takeValues(int panel, std::initializer_list<int> controls)
{
    TakenValues values;
    for (const int control : controls)
        values.push_back({panel, control, takeValue(panel, control)});
    return values;
}

CommitScope::CommitScope(const TakenValues &values) : previous_(std::exchange(running, &values)) {}

CommitScope::~CommitScope() { running = previous_; }

const ControlValue *committedValue(int panel, int control)
{
    if (running == nullptr)
        return nullptr;
    for (const TakenValue &taken : *running)
        if (taken.panel == panel && taken.control == control)
            return &taken.value;
    return nullptr;
}

} // namespace qx::app
