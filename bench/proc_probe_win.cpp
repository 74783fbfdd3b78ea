#include "proc_probe_win.h"
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int32_t STAT_SIZE = 1024;

// Reads a small file (a /proc entry reports no size, so it is read to its
// end) into buffer, terminated; returns the bytes read or -1.
int32_t read_small_file(const char *path, char *buffer, int32_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD total = 0, got = 0;
    while (total < (DWORD)size - 1 &&
           ReadFile(file, buffer + total, (DWORD)size - 1 - total, &got, NULL) && got > 0)
        total += got;
    CloseHandle(file);
    buffer[total] = '\0';
    return (int32_t)total;
}

// Field number `field` (counted from 1, as proc(5) does) of a stat line, as a
// number; 0 when the line is shorter. The command name (field 2) may hold
// spaces and parentheses, so the fields after it are counted from its last ')'.
long long stat_field(const char *stat, int32_t field)
{
    const char *p = strrchr(stat, ')');
    if (p == NULL || field < 3) return 0;
    ++p;
    for (int32_t at = 3; at < field; ++at) {
        while (*p == ' ') ++p;
        while (*p && *p != ' ') ++p;
    }
    return strtoll(p, NULL, 10);
}

// A process's or a thread's stat line into buffer; 0 when unreadable.
int32_t read_stat(const char *path, char *buffer)
{
    return read_small_file(path, buffer, STAT_SIZE) > 0 && strrchr(buffer, ')') != NULL;
}

double cpu_of_stat(const char *stat)
{
    // Fields 14 and 15: user and system time in clock ticks.
    return (double)(stat_field(stat, 14) + stat_field(stat, 15)) / PROC_USER_HZ;
}

}  // namespace

int32_t unix_pid_of(const char *windows_path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int32_t pid = 0;
    do {
        char *end = NULL;
        long n = strtol(found.cFileName, &end, 10);
        if (end == found.cFileName || *end != '\0') continue;
        char path[64], cmdline[MAX_PATH + 64];
        snprintf(path, sizeof path, "Z:\\proc\\%ld\\cmdline", n);
        if (read_small_file(path, cmdline, sizeof cmdline) <= 0) continue;
        if (_stricmp(cmdline, windows_path) == 0 && n > pid) pid = (int32_t)n;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

double cpu_seconds(int32_t pid)
{
    char path[64], stat[STAT_SIZE];
    snprintf(path, sizeof path, "Z:\\proc\\%d\\stat", pid);
    if (pid <= 0 || !read_stat(path, stat)) return -1.0;
    return cpu_of_stat(stat);
}

int64_t status_value(int32_t pid, const char *key)
{
    char path[64], status[4096];
    snprintf(path, sizeof path, "Z:\\proc\\%d\\status", pid);
    if (pid <= 0 || read_small_file(path, status, sizeof status) <= 0) return -1;
    const size_t n = strlen(key);
    for (const char *line = status; *line;) {
        if (strncmp(line, key, n) == 0 && line[n] == ':') return strtoll(line + n + 1, NULL, 10);
        const char *next = strchr(line, '\n');
        if (next == NULL) break;
        line = next + 1;
    }
    return -1;
}

int32_t read_tasks(int32_t pid, TaskSample *tasks)
{
    if (pid <= 0) return 0;
    char pattern[64];
    snprintf(pattern, sizeof pattern, "Z:\\proc\\%d\\task\\*", pid);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int32_t n = 0;
    do {
        char *end = NULL;
        const long tid = strtol(found.cFileName, &end, 10);
        if (end == found.cFileName || *end != '\0') continue;
        char path[96], stat[STAT_SIZE];
        snprintf(path, sizeof path, "Z:\\proc\\%d\\task\\%ld\\stat", pid, tid);
        if (!read_stat(path, stat)) continue;  // ended meanwhile
        TaskSample *t = &tasks[n++];
        t->tid = (int32_t)tid;
        t->cpu_s = cpu_of_stat(stat);
        t->nice = (int32_t)stat_field(stat, 19);
        t->rt_priority = (int32_t)stat_field(stat, 40);
        t->policy = (int32_t)stat_field(stat, 41);
    } while (n < PROC_MAX_TASKS && FindNextFileA(search, &found));
    FindClose(search);
    return n;
}

int32_t busiest_task(const TaskSample *before, int32_t n_before, const TaskSample *after,
                     int32_t n_after, double *grew_s)
{
    int32_t best = -1;
    *grew_s = 0.0;
    for (int32_t a = 0; a < n_after; ++a)
        for (int32_t b = 0; b < n_before; ++b) {
            if (before[b].tid != after[a].tid) continue;
            const double grew = after[a].cpu_s - before[b].cpu_s;
            if (best < 0 || grew > *grew_s) {
                best = a;
                *grew_s = grew;
            }
        }
    return best;
}

double load_average(void)
{
    char text[128];
    if (read_small_file("Z:\\proc\\loadavg", text, sizeof text) <= 0) return -1.0;
    return strtod(text, NULL);
}
