#include "threads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace mok::picture {

bool threadsCanStart(unsigned count)
{
    std::mutex mutex;
    std::condition_variable released;
    bool done = false;
    std::vector<std::thread> started;
    try {
        while (started.size() < count) {
            started.emplace_back([&] {
                std::unique_lock<std::mutex> lock(mutex);
                released.wait(lock, [&] { return done; });
            });
        }
    } catch (const std::system_error &) {
    }
    const bool all = started.size() == count;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    released.notify_all();
    for (std::thread &thread : started)
        thread.join();
    return all;
}

} // namespace mok::picture
