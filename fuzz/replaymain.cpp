// Runs a fuzz target once over every file of the directories given, so that the committed corpus
// is replayed by every test run without libFuzzer.
#include <QDirIterator>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char* argv[])
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        for (QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files); it.hasNext(); ++count) {
            QFile input(it.next());
            const QByteArray data
                = input.open(QIODevice::ReadOnly) ? input.readAll() : QByteArray();
            LLVMFuzzerTestOneInput(
                reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
