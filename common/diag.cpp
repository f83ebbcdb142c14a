// SPDX-License-Identifier: MIT
// Fatal allocation failure and the allocating helpers built on it.
#include "diag.h"

#include <cerrno>

static bool run_failure = false;

void tarvex_note_errno(int err)
{
    if (err == EMFILE || err == ENFILE || err == ENOMEM) {
        run_failure = true;
    }
}

void tarvex_note_run_failure()
{
    run_failure = true;
}

bool tarvex_run_failed()
{
    return run_failure;
}

void tarvex_malloc_failed(const char *pfile, int line)
{
    std::fprintf(stderr, "ERROR: malloc failed (errno=%d), %s,%d\n", errno, pfile, line);
    std::abort();
}

char *tarvex_strdup_at(const char *ptext, const char *pfile, int line)
{
    char *pcopy = strdup(ptext);
    if (pcopy == nullptr) {
        tarvex_malloc_failed(pfile, line);
    }
    return pcopy;
}

char *tarvex_strndup_at(const char *ptext, size_t max_len, const char *pfile, int line)
{
    char *pcopy = strndup(ptext, max_len);
    if (pcopy == nullptr) {
        tarvex_malloc_failed(pfile, line);
    }
    return pcopy;
}

void *tarvex_malloc_at(size_t size, const char *pfile, int line)
{
    void *pblock = std::malloc(size);
    if (pblock == nullptr) {
        tarvex_malloc_failed(pfile, line);
    }
    return pblock;
}

void *tarvex_calloc_at(size_t count, size_t size, const char *pfile, int line)
{
    void *pblock = std::calloc(count, size);
    if (pblock == nullptr) {
        tarvex_malloc_failed(pfile, line);
    }
    return pblock;
}

void *tarvex_realloc_at(void *pold, size_t size, const char *pfile, int line)
{
    void *pblock = std::realloc(pold, size);
    if (pblock == nullptr) {
        tarvex_malloc_failed(pfile, line);
    }
    return pblock;
}
