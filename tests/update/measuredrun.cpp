// Runs a program for a process test and reports the most memory it ever held: the peak resident
// set the kernel accounts to the ended child. Memory is bounded this way without timing anything
// and without a limit that would kill the program. With --file-size, every file the program (and
// what it starts) writes is capped at that many bytes, and a write beyond it fails as on a full
// disk instead of killing the writer.
//   measuredrun [--report FILE] [--file-size BYTES] PROGRAM [ARGUMENT...]
// Exits with the program's exit code, or 128 plus the number of the signal that ended it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    const char* report = nullptr;
    long long fileSize = -1;
    int first = 1;
    while (first + 1 < argc && argv[first][0] == '-') {
        if (std::strcmp(argv[first], "--report") == 0)
            report = argv[first + 1];
        else if (std::strcmp(argv[first], "--file-size") == 0)
            fileSize = std::atoll(argv[first + 1]);
        else
            break;
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: measuredrun [--report FILE] [--file-size BYTES] PROGRAM...\n");
        return 125;
    }

    const pid_t child = fork();
    if (child < 0)
        return 126;
    if (child == 0) {
        // A test that gives up kills this process; the program goes with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (fileSize >= 0) {
            const rlimit limit { rlim_t(fileSize), rlim_t(fileSize) };
            // Ignored, SIGXFSZ turns into a failing write (EFBIG); the setting survives exec.
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
                _exit(126);
        }
        execv(argv[first], argv + first);
        _exit(127);
    }

    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child)
        return 126;
    if (report) {
        FILE* file = std::fopen(report, "w");
        if (!file)
            return 126;
        std::fprintf(file, "%ld\n", usage.ru_maxrss); // KiB
        std::fclose(file);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
