#pragma once
// How kelvoimage-cli runs a command line: the option tables, the parse and its checks, the runs
// over the files and the messages. main.cpp ties them together.

#include <QString>
#include <QtGlobal>
#include <QStringList>
#include <cstdio>
#include <span>

#include "cli/CliOptions.h"
#include "image/ImageSaver.h"

// A subsystem's rows and the --help heading they stand under.
struct TCliTable {
    TCliGroup Group;
    std::span<const TCliOption> Options;
};
// Every table, in main.cpp.
std::span<const TCliTable> CliTables();

// The row one of whose spellings is `spelling`; null for none.
const TCliOption* FindOption(const QString& spelling);

// Reads the whole line into one job, Input being the first input, and refuses what cannot run
// or would leave something undone: unknown options, values out of range, two outputs, a report
// beside an output or another report, several inputs without --out-dir, ... Throws KelvoError.
TCliJob ParseArguments(const QStringList& arguments);

// The type the job writes: --format's, else the output name's ending (.jpg, .jpeg, .jpe, .png,
// .gif, .bmp, any letter case); None for anything else.
TSaveFileType OutputTypeOf(const TCliJob& job);
// Why a job writes nothing: its output's ending names no type.
QString NoOutputTypeMessage(const QString& fileName);

// Where the i-th input of a batch is written: DIR/<its name>, the ending --format's when given.
QString OutDirTarget(const TCliJob& line, const QString& input);

// The names messages use for the standard streams.
inline const QString kStandardInputName = QStringLiteral("(standard input)");
inline const QString kStandardOutputName = QStringLiteral("(standard output)");
inline const QString kStreamName = QStringLiteral("-");

// Runs every input of the line and prints what it must; the exit status (0, or 1 when any file
// failed).
int RunCommandLine(const QStringList& arguments, const TCliJob& line);

// --help's text.
void PrintUsage(std::FILE* stream);

// Every line on standard error goes through these, so that lines from several files never mix
// and the progress line is cleared first: "kelvoimage-cli: FILE: message" (without "FILE: "
// when the message concerns no file) and "kelvoimage-cli: warning: FILE: text".
void SayError(const QString& fileName, const QString& message);
void SayWarning(const QString& fileName, const QString& text);
// Qt's messages, in the same form (a QtMessageHandler).
void SayQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text);
// The progress of a batch, redrawn in place on standard error when it is a terminal.
void ShowProgress(int done, int total, const QString& current, double secondsLeft);
void EndProgress();
