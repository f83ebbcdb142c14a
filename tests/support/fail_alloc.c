// SPDX-License-Identifier: MIT
// Preloaded into a program: malloc fails with ENOMEM from call number
// $TARVEX_FAIL_AFTER + 1 on (every later call too, as when memory is gone).
// The setting is read before main, which may clear the environment.
#define _GNU_SOURCE
#include <errno.h>
#include <stdlib.h>

extern void *__libc_malloc(size_t size);

static long fail_after = -1;
static long calls;

__attribute__((constructor)) static void read_setting(void)
{
    const char *pafter = getenv("TARVEX_FAIL_AFTER");
    fail_after = pafter != NULL ? atol(pafter) : -1;
}

void *malloc(size_t size)
{
    if (fail_after >= 0 && ++calls > fail_after) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(size);
}
