// Takes the single-instance guard for the path given as argument 1, says "held" (or "busy"),
// and keeps it until it is killed. Lets tests hold a guard from a process they can SIGKILL.
#include "app/singleinstanceguard.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    launcher::SingleInstanceGuard guard(QString::fromLocal8Bit(argv[1]));
    if (!guard.acquire()) {
        std::puts("busy");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    for (;;)
        pause();
}
