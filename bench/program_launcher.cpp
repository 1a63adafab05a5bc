// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo_bench_launcher FD PROGRAM [ARGUMENT...]: runs PROGRAM and writes the largest resident
// set it and the children it waited for had, in KiB, to descriptor FD; exits as PROGRAM did.
//
// A program started straight from a benchmark would be reported with the benchmark's own
// resident set: the kernel keeps the largest one a process has had, and a child starts as a
// copy of its parent. Started from this small program, it is measured alone.
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 127;
    const int report = std::atoi(argv[1]);
    const pid_t child = fork();
    if (child == 0) {
        close(report);
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return 127;
    dprintf(report, "%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}
