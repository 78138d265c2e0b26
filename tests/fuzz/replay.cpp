// Replays files through a fuzz entry: every file under the folders named on
// the command line, one after another. Fails when any of them takes longer
// than the time bound; a sanitizer ends the process on any memory fault.
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    constexpr qint64 BoundMilliseconds = 10000;
    int replayed = 0;
    int slow = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator files(QString::fromLocal8Bit(argv[i]), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            QElapsedTimer clock;
            clock.start();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size()));
            if (clock.elapsed() > BoundMilliseconds) {
                std::fprintf(stderr, "slow: %s took %lld ms\n", qPrintable(file.fileName()), clock.elapsed());
                ++slow;
            }
            ++replayed;
        }
    }
    std::printf("replayed %d files, %d slow\n", replayed, slow);
    return replayed > 0 && slow == 0 ? 0 : 1;
}
