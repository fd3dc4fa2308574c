#pragma once
// The public image suites (PngSuite, BMP Suite, the GIF and TIFF suites, camera samples and
// fuzzers' files) are not part of the project. Tests that sweep them find their folder in the
// environment variable KELVO_CORPUS_DIR when they run, and skip saying why when it is unset or
// names no folder; every other test makes its own files.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <string>

namespace test_corpus {

inline constexpr const char* kVariable = "KELVO_CORPUS_DIR";

// The suites' folder, absolute; empty when KELVO_CORPUS_DIR is unset or names no folder.
inline QString Folder() {
    const QByteArray value = qgetenv(kVariable);
    if (value.isEmpty()) return QString();
    const QDir folder(QFile::decodeName(value));
    return folder.exists() ? folder.absolutePath() : QString();
}

// A file or folder of the suites, by its path inside them ("pngsuite/png/basn2c08.png"); empty
// when there are no suites.
inline QString PathOf(const QString& inside) {
    const QString folder = Folder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + inside;
}

// Why the suites cannot be swept, in one line; empty when they can.
inline std::string Absence() {
    const QByteArray value = qgetenv(kVariable);
    if (value.isEmpty())
        return std::string(kVariable) + " is unset: the public image suites are not swept";
    if (Folder().isEmpty())
        return std::string(kVariable) + "=" + value.toStdString() + " is not a folder";
    return std::string();
}

}  // namespace test_corpus

// Ends the test as skipped when the suites are not there.
#define SKIP_WITHOUT_CORPUS()                                                     \
    do {                                                                          \
        if (const std::string absence = test_corpus::Absence(); !absence.empty()) \
            GTEST_SKIP() << absence;                                              \
    } while (false)
