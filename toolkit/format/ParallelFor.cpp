#include "format/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kivo
{
namespace
{
constexpr unsigned maxThreads = 4;
}

void ParallelFor(std::size_t count, const std::function<void(std::size_t)> &work)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::size_t firstFailed = count;
    std::mutex errorMutex;
    const auto worker = [&] {
        for (std::size_t i; !failed && (i = next++) < count;) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(errorMutex);
                if (i < firstFailed) {
                    firstFailed = i;
                    firstError = std::current_exception();
                }
                failed = true;
            }
        }
    };
    const std::size_t threads = std::min<std::size_t>({count, std::max(1u, std::thread::hardware_concurrency()), maxThreads});
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t)
        helpers.emplace_back(worker);
    worker();
    for (std::thread &helper : helpers)
        helper.join();
    if (firstError)
        std::rethrow_exception(firstError);
}
}
