#pragma once

#include <sys/resource.h>

// User and system CPU time, in seconds, of `who` as getrusage() takes it:
// RUSAGE_SELF for this whole process, RUSAGE_CHILDREN for the children it
// has waited for and theirs.
inline double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
