// What the operator committed: the value of the operated control and of every control its job
// reads, taken on the user-interface thread when the commit comes. The job runs later on the
// instrument worker; by then the operator may have changed those controls again (typed the next
// register number, say), and the job must act on what stood at the press.
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace qx::app {

// A button holds no value (monostate).
using ControlValue = std::variant<std::monostate, double, int, std::int16_t, std::string>;

ControlValue takeValue(int panel, int control);
// Puts a taken value back in its control; false when the control is gone.
bool putBack(int panel, int control, const ControlValue &value);

struct TakenValue {
    int panel;
    int control;
    ControlValue value;
};
using TakenValues = std::vector<TakenValue>;
TakenValues takeValues(int panel, std::initializer_list<int> controls);

// While a job runs: the values its commit took are what readControl answers.
class CommitScope {
public:
    explicit CommitScope(const TakenValues &values);
    ~CommitScope();
    CommitScope(const CommitScope &) = delete;
    CommitScope &operator=(const CommitScope &) = delete;

private:
    const TakenValues *previous_;
};

// The running job's committed value of the control, or null when its commit did not take it.
const ControlValue *committedValue(int panel, int control);

// The control's value as the running job's commit took it, else as it stands now.
template <class Value> Value readControl(int panel, int control)
{
    if (const ControlValue *taken = committedValue(panel, control))
        if (const Value *value = std::get_if<Value>(taken))
            return *value;
    Value value{};
    ui::GetCtrlVal(panel, control, &value);
    return value;
}

} // namespace qx::app
