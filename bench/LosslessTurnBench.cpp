// A quarter turn of a 24-megapixel JPEG (6000 x 4000, quality 95, 4:2:0) as scripts run it:
// kelvoimage-cli --cw, which lays the coefficients the new way, against jpegtran -rotate 90
// -perfect on the same file (the reference lossless transform; the goal is at most 1.1 times
// its time), and against our own decode, turn and encode (--cw --quality 95). Each is one
// process run, so both sides pay for starting a program.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

#include "BenchPhoto.h"
#include "BenchRatios.h"

extern char** environ;

namespace {

// Runs the program (looked up in PATH) and waits; false when it could not run or failed.
bool RunProgram(const std::vector<QByteArray>& arguments) {
    std::vector<char*> argv;
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray OutputFile(const char* name) {
    return QFile::encodeName(QFileInfo(BenchPhotoFile()).dir().filePath(QLatin1String(name)));
}

void TurnWith(benchmark::State& state, const std::vector<QByteArray>& arguments) {
    if (!RunProgram(arguments)) {
        state.SkipWithError("the program did not run (jpegtran: libjpeg-turbo-progs)");
        return;
    }
    for (auto _ : state)
        RunProgram(arguments);
}

void BM_CliLosslessTurn24MP(benchmark::State& state) {
    TurnWith(state, {KELVO_CLI_PATH, QFile::encodeName(BenchPhotoFile()), "--cw", "-o",
                     OutputFile("ours.jpg")});
}
void BM_JpegtranTurn24MP(benchmark::State& state) {
    TurnWith(state, {"jpegtran", "-rotate", "90", "-perfect", "-outfile",
                     OutputFile("theirs.jpg"), QFile::encodeName(BenchPhotoFile())});
}
void BM_CliEncodedTurn24MP(benchmark::State& state) {
    TurnWith(state, {KELVO_CLI_PATH, QFile::encodeName(BenchPhotoFile()), "--cw", "--quality",
                     "95", "-o", OutputFile("encoded.jpg")});
}
BENCHMARK(BM_CliLosslessTurn24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegtranTurn24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliEncodedTurn24MP)->Unit(benchmark::kMillisecond)->UseRealTime();
KELVO_RATIO("BM_CliLosslessTurn24MP", "BM_JpegtranTurn24MP", 1.1);
// Not a goal of speed (the point of the lossless path is the picture): reported, and the
// lossless turn should not be the slower one.
KELVO_RATIO("BM_CliLosslessTurn24MP", "BM_CliEncodedTurn24MP", 1.0);

}  // namespace
