#pragma once
// One entry point per parser of hostile input, shared by the libFuzzer targets (one small file
// each in this folder) and by the replay in the test suite, so that a file a fuzzing run once
// found is fed to exactly the code it broke. Each entry point goes through the path the
// program itself takes (the loader reads files, so the input is written to a temporary file
// first) and then checks what must hold for any input, not only that nothing crashed.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

enum class TFuzzTarget { Bmp, Gif, Png, Jpeg, Tiff, Help, Settings, Tags, Heif, Webp, Raw };

// Every target, in the order `./kelvo fuzz` runs them.
std::span<const TFuzzTarget> FuzzTargets();
// The target's short name ("bmp", "help", ...): its folder under fuzz/corpus/ and the end of
// its executable's name.
QString FuzzTargetName(TFuzzTarget target);
std::optional<TFuzzTarget> FuzzTargetNamed(const QString& name);

// Feeds one input to the target's parser. Empty when the input was handled as it must be;
// otherwise what went wrong (a broken invariant, an exception that is not the program's error).
QString RunFuzzInput(TFuzzTarget target, std::span<const std::uint8_t> input);

// The seed files of a target in the public suites under corpusDir: files with the target's
// endings, and every file in the folders of fuzz-found files that carry no ending. Files larger
// than kMaxFuzzInput are left out, as a fuzzing run would truncate them anyway.
inline constexpr std::int64_t kMaxFuzzInput = 64 * 1024;
QStringList FuzzSeedFiles(TFuzzTarget target, const QString& corpusDir);
