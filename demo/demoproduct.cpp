// A stand-in for the product: says that it started and which arguments it received.
#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    std::string line = "qpr.exe started with arguments:";
    for (int i = 1; i < argc; ++i) {
        line += " \"";
        line += argv[i];
        line += '"';
    }
    std::puts(line.c_str());
    return 0;
}
