// Stand-in product for tests: writes the arguments it received, NUL-separated, to a new file
// "<own path>.<pid>.args" beside itself, so a test can count starts and compare arguments.
#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[])
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 2;
    self[length] = '\0';
    const std::string path = std::string(self) + "." + std::to_string(getpid()) + ".args";
    const std::string partial = path + ".part";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file)
        return 3;
    for (int i = 1; i < argc; ++i) {
        std::fputs(argv[i], file);
        std::fputc('\0', file);
    }
    std::fclose(file);
    // Renamed into place so that a reader never sees half a record.
    return std::rename(partial.c_str(), path.c_str()) == 0 ? 0 : 4;
}
