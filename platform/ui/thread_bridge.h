// Calls into the toolkit from other threads (the front panel's instrument worker): each runs on
// the toolkit's thread, in the order they come, while its caller waits. The toolkit's thread is
// the one that first used the toolkit, and after that the one that installed the backend.
#pragma once

#include <functional>

namespace qx::ui {

class Backend;

namespace bridge {

bool onToolkitThread() noexcept;
// On the toolkit's thread: calls from other threads go to `backend` from now on; null closes the
// bridge, and every call still waiting (not yet running) returns UIE_NOT_INITIALIZED at once.
void attach(Backend *backend) noexcept;
// From another thread: runs `body` on the toolkit's thread and returns its result;
// UIE_NOT_INITIALIZED when no backend runs or it goes first.
int call(const std::function<int()> &body) noexcept;

} // namespace bridge
} // namespace qx::ui
