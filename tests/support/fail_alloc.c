// SPDX-License-Identifier: MIT
// Preloaded into a program: malloc fails with ENOMEM from call number
// $TARVEX_FAIL_AFTER + 1 on (every later call too, as when memory is gone).
// With $TARVEX_COUNT_ALLOCS set it prints "allocations=N" on standard error
// at exit.  Both are read before main, which may clear the environment.
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

extern void *__libc_malloc(size_t size);

static long fail_after = -1;
static long calls;
static int counting;

__attribute__((constructor)) static void read_settings(void)
{
    const char *pafter = getenv("TARVEX_FAIL_AFTER");
    fail_after = pafter != NULL ? atol(pafter) : -1;
    counting = getenv("TARVEX_COUNT_ALLOCS") != NULL;
}

__attribute__((destructor)) static void print_count(void)
{
    char text[48];
    int length = snprintf(text, sizeof text, "allocations=%ld\n", calls);
    if (counting && length > 0 && write(STDERR_FILENO, text, (size_t)length) < 0) {
        _exit(70);
    }
}

void *malloc(size_t size)
{
    calls++;
    if (fail_after >= 0 && calls > fail_after) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(size);
}
