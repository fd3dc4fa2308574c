// Lists the fuzz targets, or links a target's seeds from folders of sample files (data/ and,
// when KELVO_CORPUS_DIR is set, the public suites) into a folder, so that `./kelvo fuzz` hands
// libFuzzer the same seeds the test replay reads, never copies.
//   kelvo_fuzz_seeds --list
//   kelvo_fuzz_seeds TARGET OUT_DIR SUITE_DIR...

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "FuzzEntryPoints.h"

int main(int argc, char** argv) {
    if (argc == 2 && QByteArray(argv[1]) == "--list") {
        for (const TFuzzTarget target : FuzzTargets())
            std::printf("%s\n", FuzzTargetName(target).toUtf8().constData());
        return 0;
    }
    const auto target = argc >= 3 ? FuzzTargetNamed(QString::fromLocal8Bit(argv[1])) : std::nullopt;
    if (!target) {
        std::fprintf(stderr, "usage: %s --list | TARGET OUT_DIR SUITE_DIR...\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (!out.mkpath(QStringLiteral("."))) return 1;
    // A folder that is not there would give no seeds without a word: a mistyped suite folder
    // must not pass for an empty one.
    for (int i = 3; i < argc; ++i)
        if (!QFileInfo(QString::fromLocal8Bit(argv[i])).isDir()) {
            std::fprintf(stderr, "%s: no folder %s\n", argv[0], argv[i]);
            return 2;
        }
    int count = 0;
    for (int i = 3; i < argc; ++i)
        for (const QString& seed : FuzzSeedFiles(*target, QString::fromLocal8Bit(argv[i]))) {
            const QString link = out.filePath(
                QStringLiteral("seed-%1-%2").arg(++count).arg(QFileInfo(seed).fileName()));
            if (!QFile::link(QFileInfo(seed).absoluteFilePath(), link)) return 1;
        }
    std::printf("%d seeds\n", count);
    return 0;
}
