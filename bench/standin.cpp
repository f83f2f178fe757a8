// Stand-in product: ends at once; with BENCH_STARTED set (the checked runs) it first adds a line
// to that file, so that its starts are counted.
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

int main()
{
    const char* file = std::getenv("BENCH_STARTED");
    return file && write(open(file, O_WRONLY | O_CREAT | O_APPEND, 0644), "started\n", 8) != 8;
}
