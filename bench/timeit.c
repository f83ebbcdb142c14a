/* SPDX-License-Identifier: MIT */
/* Runs commands many times, interleaved (A, B, A, B, ...) so that load from
 * elsewhere on the machine falls on all of them alike, and prints for each
 * its median wall time and its peak resident memory as the kernel measured
 * it for the child (getrusage through wait4).  Output goes to /dev/null.
 *
 *   timeit RUNS COMMAND [ARG...] [-- COMMAND [ARG...]]...
 *
 * Prints one line per command: "median_ms min_ms max_ms peak_rss_kib". */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

/* One run: wall time in ms, *prss_kib the child's peak RSS. */
static double run_once(char **argv, long *prss_kib)
{
    double start = now_ms();
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        exit(1);
    }
    if (pid == 0) {
        int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, 1);
        dup2(null_fd, 2);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) {
        perror("wait4");
        exit(1);
    }
    double elapsed = now_ms() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        fprintf(stderr, "timeit: %s failed (status %d)\n", argv[0], status);
        exit(1);
    }
    *prss_kib = usage.ru_maxrss;
    return elapsed;
}

static int compare_doubles(const void *pa, const void *pb)
{
    double a = *(const double *)pa;
    double b = *(const double *)pb;
    return (a > b) - (a < b);
}

enum { max_commands = 8 };

int main(int argc, char **argv)
{
    if (argc < 3 || atoi(argv[1]) < 1) {
        fprintf(stderr, "usage: timeit RUNS COMMAND [ARG...] [-- COMMAND [ARG...]]...\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    char **pcommands[max_commands];
    int command_count = 0;
    pcommands[command_count++] = argv + 2;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--") == 0 && command_count < max_commands) {
            argv[i] = NULL;
            pcommands[command_count++] = argv + i + 1;
        }
    }
    double *ptimes = calloc((size_t)(runs * command_count), sizeof(double));
    long peak_kib[max_commands] = {0};
    if (ptimes == NULL) {
        return 1;
    }
    for (int c = 0; c < command_count; c++) { /* warm the page cache and dentries */
        long ignored = 0;
        for (int i = 0; i < 3; i++) {
            run_once(pcommands[c], &ignored);
        }
    }
    for (int i = 0; i < runs; i++) {
        for (int c = 0; c < command_count; c++) {
            long rss_kib = 0;
            ptimes[c * runs + i] = run_once(pcommands[c], &rss_kib);
            if (rss_kib > peak_kib[c]) {
                peak_kib[c] = rss_kib;
            }
        }
    }
    for (int c = 0; c < command_count; c++) {
        double *pt = ptimes + c * runs;
        qsort(pt, (size_t)runs, sizeof(double), compare_doubles);
        double median = runs % 2 ? pt[runs / 2] : (pt[runs / 2 - 1] + pt[runs / 2]) / 2;
        printf("%.3f %.3f %.3f %ld\n", median, pt[0], pt[runs - 1], peak_kib[c]);
    }
    free(ptimes);
    return 0;
}
