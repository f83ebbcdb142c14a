// SPDX-License-Identifier: MIT
// How many descriptors this process holds, counted through /proc/self/fd;
// -1 when that cannot be read.  Resource tests compare it before and after
// many calls.
#ifndef TARVEX_TEST_OPEN_DESCRIPTORS_H
#define TARVEX_TEST_OPEN_DESCRIPTORS_H

#include <dirent.h>

inline int open_descriptors()
{
    DIR *pdir = opendir("/proc/self/fd");
    if (pdir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const struct dirent *pentry = readdir(pdir)) {
        if (pentry->d_name[0] != '.') {
            count++;
        }
    }
    closedir(pdir);
    return count;
}

#endif
