#include "threads.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <sched.h>

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

int processorsToRunOn()
{
    cpu_set_t processors;
    if (::sched_getaffinity(0, sizeof processors, &processors) != 0)
        return 0;
    return CPU_COUNT(&processors);
}

} // namespace mok::picture
