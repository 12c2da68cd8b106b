#pragma once
// Open file descriptors and threads of this process, for leak checks.

#include <dirent.h>

inline int countEntries(const char *dir)
{
    DIR *d = ::opendir(dir);
    if (!d)
        return -1;
    int n = 0;
    while (const dirent *e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(d);
    return n - 1; // the descriptor opendir holds, or (for tasks) nothing: callers compare
}

inline int openDescriptors() { return countEntries("/proc/self/fd"); }
inline int threadCount() { return countEntries("/proc/self/task"); }
