#include "base/ProgramEnd.hpp"

#include <mutex>
#include <vector>

namespace lumivox {
namespace {

std::mutex& routinesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::function<void()>>& routines() {
    static std::vector<std::function<void()>> list;
    return list;
}

}  // namespace

void addProgramEndRoutine(std::function<void()> routine) {
    std::lock_guard lock(routinesMutex());
    routines().push_back(std::move(routine));
}

void runProgramEndRoutines() {
    std::vector<std::function<void()>> toRun;
    {
        std::lock_guard lock(routinesMutex());
        toRun.swap(routines());
    }
    // No lock held while the routines run: they may join threads that register more.
    for (auto it = toRun.rbegin(); it != toRun.rend(); ++it) {
        (*it)();
    }
}

}  // namespace lumivox
