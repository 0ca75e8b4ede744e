#include "ui/thread_bridge.h"

#include "ui/backend.h"
#include "ui/toolkit.h"

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace qx::ui::bridge {
namespace {

struct Request {
    const std::function<int()> *body = nullptr; // the caller's, valid until `finished`
    int result = UIE_NOT_INITIALIZED;
    bool running = false;
    bool finished = false;
};

struct Bridge {
    std::mutex mutex;
    std::condition_variable finished;
    std::thread::id owner;
    Backend *backend = nullptr;
    std::list<std::shared_ptr<Request>> waiting;
};

// Never destroyed: a worker may still ask while the program ends.
Bridge &bridge()
{
    static Bridge *instance = new Bridge;
    return *instance;
}

void finish(Bridge &b, const std::shared_ptr<Request> &request, int result)
{
    request->result = result;
    request->finished = true;
    b.waiting.remove(request);
    b.finished.notify_all();
}

// On the toolkit's thread.
void run(const std::shared_ptr<Request> &request)
{
    Bridge &b = bridge();
    {
        std::lock_guard lock(b.mutex);
        if (request->finished)
            return; // the bridge closed meanwhile; the caller has gone on
        request->running = true;
    }
    const int result = (*request->body)();
    std::lock_guard lock(b.mutex);
    finish(b, request, result);
}

} // namespace

bool onToolkitThread() noexcept
{
    Bridge &b = bridge();
    std::lock_guard lock(b.mutex);
    if (b.owner == std::thread::id())
        b.owner = std::this_thread::get_id();
    return b.owner == std::this_thread::get_id();
}

void attach(Backend *backend) noexcept
{
    Bridge &b = bridge();
    std::lock_guard lock(b.mutex);
    b.owner = std::this_thread::get_id();
    b.backend = backend;
    if (backend != nullptr)
        return;
    std::list<std::shared_ptr<Request>> waiting = b.waiting;
    for (const std::shared_ptr<Request> &request : waiting)
        if (!request->running)
            finish(b, request, UIE_NOT_INITIALIZED);
}

int call(const std::function<int()> &body) noexcept
{
    try {
        Bridge &b = bridge();
        auto request = std::make_shared<Request>();
        request->body = &body;
        std::unique_lock lock(b.mutex);
        if (b.backend == nullptr)
            return UIE_NOT_INITIALIZED;
        b.waiting.push_back(request);
        // Posted under the lock: the backend cannot go before the post is done.
        b.backend->post([request] { run(request); });
        b.finished.wait(lock, [&] { return request->finished; });
        return request->result;
    } catch (...) {
        return UIE_OUT_OF_MEMORY;
    }
}

} // namespace qx::ui::bridge
