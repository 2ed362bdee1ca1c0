#include "console/work_pool.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vcdalbum::host {

unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

void ForEachOnThreads(size_t count, unsigned jobs, const std::function<void(size_t)>& item) {
    std::mutex lock;
    size_t next = 0;
    std::exception_ptr error;
    auto worker = [&] {
        for (;;) {
            size_t i;
            {
                std::lock_guard guard(lock);
                if (error || next >= count) return;
                i = next++;
            }
            try {
                item(i);
            } catch (...) {
                std::lock_guard guard(lock);
                if (!error) error = std::current_exception();
                return;
            }
        }
    };
    const size_t threads = std::min<size_t>(std::max(jobs, 1u), count);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(worker);
    worker();
    for (auto& t : helpers) t.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace vcdalbum::host
