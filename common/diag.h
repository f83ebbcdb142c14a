// SPDX-License-Identifier: MIT
// Diagnostics and allocation helpers shared by the implementation files.
// Every message of the tool family ends with the reporting source file's
// base name and line ("%s,%d"); these macros append both, so a message text
// is written once, exactly as it is printed.
#ifndef TARVEX_DIAG_H
#define TARVEX_DIAG_H

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Every message first hands errno to tarvex_note_errno: a message that
// follows a request which ran out of descriptors or memory marks the run.
#define TARVEX_MSG(stream, fmt, ...) \
    (tarvex_note_errno(errno), \
     std::fprintf((stream), fmt, __VA_ARGS__ __VA_OPT__(, ) __FILE_NAME__, __LINE__))

// A run whose answers cannot be trusted: a request failed for want of
// descriptors or memory (EMFILE, ENFILE, ENOMEM), or a management tool's
// command line could not run.  The library's queries still answer as they
// always have; a program that must not hand out such a result (tarvex-facts)
// asks tarvex_run_failed before it prints.
void tarvex_note_errno(int err);
void tarvex_note_run_failure();
bool tarvex_run_failed();

// Memory exhaustion is fatal everywhere: the message, then abort().
[[noreturn]] void tarvex_malloc_failed(const char *pfile, int line);
#define TARVEX_MALLOC_FAILED() tarvex_malloc_failed(__FILE_NAME__, __LINE__)

// Heap results are handed to callers who release them with free(), so they
// come from malloc/strdup, never from new.
char *tarvex_strdup_at(const char *ptext, const char *pfile, int line);
char *tarvex_strndup_at(const char *ptext, size_t max_len, const char *pfile, int line);
void *tarvex_malloc_at(size_t size, const char *pfile, int line);
void *tarvex_calloc_at(size_t count, size_t size, const char *pfile, int line);
void *tarvex_realloc_at(void *pold, size_t size, const char *pfile, int line);
#define TARVEX_STRDUP(text) tarvex_strdup_at((text), __FILE_NAME__, __LINE__)
#define TARVEX_STRNDUP(text, n) tarvex_strndup_at((text), (n), __FILE_NAME__, __LINE__)
#define TARVEX_MALLOC(size) tarvex_malloc_at((size), __FILE_NAME__, __LINE__)
#define TARVEX_CALLOC(count, size) tarvex_calloc_at((count), (size), __FILE_NAME__, __LINE__)
#define TARVEX_REALLOC(p, size) tarvex_realloc_at((p), (size), __FILE_NAME__, __LINE__)

#endif
