// kelvoimage-cli: the core operations applied to files, for scripts and benchmarks.
//
//     kelvoimage-cli INPUT [OPERATION...] [--quality N] -o OUTPUT
//     kelvoimage-cli [OPERATION...] --out-dir DIR INPUT...
//     kelvoimage-cli [OPERATION...] -o OUTPUT -- -INPUT-STARTING-WITH-A-DASH
//     kelvoimage-cli --help | --version
//
// Operations run in the order given. Every failure, running out of memory included, prints
// "kelvoimage-cli: FILE: message" on standard error and exits with 1; in a batch the other
// files are still done.

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <new>

#include "base/KelvoError.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"

namespace {

// Every subsystem's rows, each table under its --help heading.
const TCliTable kOptionTables[] = {
    {TCliGroup::InputOutput, OutputOptions()}, {TCliGroup::InputOutput, MetadataOptions()},
    {TCliGroup::Geometry, TransformOptions()}, {TCliGroup::Geometry, RotationOptions()},
    {TCliGroup::Tone, ToneOptions()},          {TCliGroup::HotSpot, HotspotOptions()},
    {TCliGroup::Information, InfoOptions()},   {TCliGroup::Batch, BatchOptions()},
};

// The name as the user typed it, for a message: bytes that are not plain ASCII as \xHH.
QString EscapedBytes(const QByteArray& bytes) {
    QString shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("\\x") +
                     QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return shown;
}

// The arguments without the program's name. File names are taken from the raw bytes; a name
// that does not survive the way back to bytes (not valid UTF-8) would make the tool read or
// write some other file, so it is refused.
QStringList DecodeArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        QString argument = QFile::decodeName(raw);
        if (QFile::encodeName(argument) != raw)
            throw KelvoError(QStringLiteral("Cannot use the name '%1': it is not valid UTF-8")
                                 .arg(EscapedBytes(raw)));
        arguments.append(std::move(argument));
    }
    return arguments;
}

int Main(int argc, char** argv) {
    qInstallMessageHandler(SayQtMessage);
    const QStringList arguments = DecodeArguments(argc, argv);
    // Answered before the application exists: its event dispatcher and locale set-up are a good
    // part of a start that does nothing else.
    if (arguments.size() == 1 &&
        (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h"))) {
        PrintUsage(stdout);
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == QLatin1String("--version")) {
        std::puts("kelvoimage-cli " KELVO_VERSION);
        return 0;
    }
    // A core application: the tool needs no display, window system or session bus.
    QCoreApplication application(argc, argv);
    return RunCommandLine(arguments, ParseArguments(arguments));
}

}  // namespace

std::span<const TCliTable> CliTables() {
    return kOptionTables;
}

int main(int argc, char** argv) {
    // A script must get a message and exit code 1 for every failure, never an abort.
    try {
        return Main(argc, argv);
    } catch (const TFileFailure& error) {
        SayError(error.FileName(), error.Message());
    } catch (const KelvoError& error) {
        SayError(QString(), error.Message());
        if (argc < 2) PrintUsage(stderr);
    } catch (const std::bad_alloc&) {
        std::fputs("kelvoimage-cli: Out of memory.\n", stderr);  // no allocation on this path
    } catch (const std::exception& error) {
        SayError(QString(), QString::fromLocal8Bit(error.what()));
    } catch (...) {
        SayError(QString(), QStringLiteral("Unknown error"));
    }
    return 1;
}
