#include "dispatch_queue.hpp"

#include <pthread.h>

#include <system_error>
#include <utility>

namespace bwplatform {

DispatchQueue::DispatchQueue(std::string label) : m_label(std::move(label)) {
    m_thread = std::thread([this] { run(); });
    // Linux refuses names over 15 bytes outright, so cut rather than lose the name.
    std::string name = m_label.substr(0, 15);
    pthread_setname_np(m_thread.native_handle(), name.c_str());
}

DispatchQueue::~DispatchQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void DispatchQueue::async(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_cv.notify_all();
}

void DispatchQueue::sync(std::function<void()> work) {
    std::mutex done_mutex;
    std::condition_variable done_cv;
    bool done = false;
    async([&] {
        work();
        std::lock_guard lock(done_mutex);
        done = true;
        done_cv.notify_all();
    });
    std::unique_lock lock(done_mutex);
    done_cv.wait(lock, [&] { return done; });
}

void DispatchQueue::run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return m_closing || !m_work.empty(); });
            if (m_work.empty()) return;
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
    }
}

dispatch_queue_t dispatch_queue_create(const char* label, dispatch_queue_attr_t) {
    try {
        return new DispatchQueue(label ? label : "");
    } catch (const std::system_error&) {
        return nullptr;
    }
}

void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work) {
    queue->async([context, work] { work(context); });
}

void dispatch_sync_f(dispatch_queue_t queue, void* context, dispatch_function_t work) {
    queue->sync([context, work] { work(context); });
}

void dispatch_release(dispatch_queue_t queue) {
    delete queue;
}

}  // namespace bwplatform
