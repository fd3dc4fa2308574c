// Every fuzz target's seeds and the files its runs found, fed once to the same entry points
// the fuzzers use: a fix that reopens an old crash, hang or broken invariant fails here,
// without clang or libFuzzer.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FuzzEntryPoints.h"
#include "support/TestCorpus.h"

namespace {

class FuzzReplay : public testing::TestWithParam<TFuzzTarget> {};

QStringList FoundFiles(TFuzzTarget target) {
    QDir found(QStringLiteral(KELVO_FUZZ_CORPUS_DIR "/") + FuzzTargetName(target));
    QStringList files;
    for (const QString& name : found.entryList(QDir::Files, QDir::Name))
        files.append(found.filePath(name));
    return files;
}

TEST_P(FuzzReplay, EveryKnownInputKeepsItsInvariant) {
    const TFuzzTarget target = GetParam();
    QStringList inputs = FoundFiles(target);
    // The public suites' files of the target's kind too, when they are there.
    if (const QString suites = test_corpus::Folder(); !suites.isEmpty())
        inputs += FuzzSeedFiles(target, suites);
    inputs += FuzzSeedFiles(target, QStringLiteral(KELVO_DATA_DIR));
    for (const QString& path : inputs) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll().left(kMaxFuzzInput);
        const QString fault =
            RunFuzzInput(target, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           std::size_t(bytes.size())));
        EXPECT_TRUE(fault.isEmpty()) << path.toStdString() << ": " << fault.toStdString();
    }
    // Every target has inputs of its own: hand-made seeds or fuzz-found files at least.
    EXPECT_FALSE(FoundFiles(target).isEmpty())
        << "fuzz/corpus/" << FuzzTargetName(target).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(FuzzTargets()),
                         [](const testing::TestParamInfo<TFuzzTarget>& info) {
                             return FuzzTargetName(info.param).toStdString();
                         });

}  // namespace
