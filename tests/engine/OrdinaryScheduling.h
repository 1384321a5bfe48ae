#pragma once
// For measurements of the real output as a desktop user's program would run.
#include <cstdlib>
#include <dirent.h>
#include <sched.h>

namespace spinx::test {

// Gives every thread of this process the scheduling an ordinary user's program gets
// (SCHED_OTHER): tests and the bench run as root, where output threads may have raised
// themselves to real-time priority that a DJ's desktop session never grants.
inline void OrdinaryScheduling() {
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks) return;
    while (const dirent* d = readdir(tasks)) {
        const pid_t tid = static_cast<pid_t>(std::atoi(d->d_name));
        const int policy = tid > 0 ? sched_getscheduler(tid) : -1;
        if (policy != SCHED_FIFO && policy != SCHED_RR) continue; // what only root may ask for
        const sched_param normal{};
        sched_setscheduler(tid, SCHED_OTHER, &normal);
    }
    closedir(tasks);
}

} // namespace spinx::test
