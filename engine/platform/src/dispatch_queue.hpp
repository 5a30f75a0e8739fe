#pragma once
// A serial work queue: one worker thread running submitted functions in order.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace bwplatform {

class DispatchQueue {
public:
    // The worker thread is named after `label`, cut to the 15 bytes Linux allows.
    explicit DispatchQueue(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return m_label; }
    void async(std::function<void()> work);
    // Runs `work` on the worker after everything queued before it, and waits for it.
    void sync(std::function<void()> work);
    // Whether the caller is the queue's own worker (where a sync would wait for itself).
    bool on_worker() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    void run();

    std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_work;
    bool m_closing = false;
    std::thread m_thread;
};

using dispatch_queue_t = DispatchQueue*;
using dispatch_function_t = void (*)(void*);
struct dispatch_queue_attr_s;
using dispatch_queue_attr_t = const dispatch_queue_attr_s*;
// Every queue here is serial; the attribute exists so calls read as they always have.
inline constexpr dispatch_queue_attr_t DISPATCH_QUEUE_SERIAL = nullptr;

// A new serial queue, or nullptr when its thread cannot start.
dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t attr);
void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work);
void dispatch_sync_f(dispatch_queue_t queue, void* context, dispatch_function_t work);
// Finishes the work already queued, then ends the worker thread.
void dispatch_release(dispatch_queue_t queue);

}  // namespace bwplatform
