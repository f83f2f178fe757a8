// Stand-in product for tests: writes the arguments it received, NUL-separated, to a new file
// "<own path>.<pid>.args" beside itself; with RECORDER_LINGER_MS set it stays that long.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 2;
    const std::string path = std::string(self, size_t(length)) + "." + std::to_string(getpid());
    FILE* file = std::fopen((path + ".part").c_str(), "wb");
    for (int i = 1; file && i < argc; ++i)
        std::fwrite(argv[i], 1, std::string(argv[i]).size() + 1, file);
    // Renamed into place so that a reader never sees half a record.
    if (!file || std::fclose(file) != 0
        || std::rename((path + ".part").c_str(), (path + ".args").c_str()))
        return 3;
    if (const char* linger = std::getenv("RECORDER_LINGER_MS"))
        usleep(useconds_t(std::atoi(linger)) * 1000);
    return 0;
}
