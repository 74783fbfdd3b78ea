// Win32 only. What Linux knows of a program that runs under Wine, read by a
// Wine program through drive Z: (Wine maps it to the root): the Linux process
// that runs a Windows path, its CPU time, its resident memory and thread
// count, and each of its threads' CPU time and scheduling (nice value,
// policy, real-time priority). For the benchmarks' drivers; every reader
// returns -1 (or 0 tasks) when the process or the value is not there.
#pragma once
#include <stdint.h>

// Linux reports CPU time in clock ticks of USER_HZ, which is 100 on x86
// whatever the kernel's own tick rate.
const int32_t PROC_USER_HZ = 100;
const int32_t PROC_MAX_TASKS = 128;

// The Linux process id of the Wine process running the given Windows path,
// found by the first argument of /proc/<pid>/cmdline, which Wine sets to the
// program's Windows path. 0 when there is none; when several match, the
// highest id, the newest.
int32_t unix_pid_of(const char *windows_path);

// User plus system CPU time of a Linux process (all its threads), in seconds.
double cpu_seconds(int32_t pid);

// A value of /proc/<pid>/status in its own unit ("VmRSS" in kB, "Threads").
int64_t status_value(int32_t pid, const char *key);

// One Linux thread of a process, from /proc/<pid>/task/<tid>/stat.
struct TaskSample {
    int32_t tid;
    double cpu_s;         // user plus system time, seconds
    int32_t nice;         // -20..19
    int32_t policy;       // 0 SCHED_OTHER, 1 SCHED_FIFO, 2 SCHED_RR, 3 BATCH, 5 IDLE
    int32_t rt_priority;  // 1..99 under FIFO and RR, else 0
};

// Samples every thread of the process into tasks (room for PROC_MAX_TASKS);
// returns how many.
int32_t read_tasks(int32_t pid, TaskSample *tasks);

// The thread present in both samples whose CPU time grew most between them;
// -1 when none is. The growth, in seconds, goes to grew_s.
int32_t busiest_task(const TaskSample *before, int32_t n_before, const TaskSample *after,
                     int32_t n_after, double *grew_s);

// The Linux load average over the last minute; -1 when unreadable.
double load_average(void);
