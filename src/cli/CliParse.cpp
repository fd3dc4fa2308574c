#include "cli/CliOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <optional>

#include "base/KelvoError.h"
#include "cli/CliProgram.h"

int ParseInteger(const QString& text, const char* what, int minimum, int maximum) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || text.trimmed().isEmpty())
        throw KelvoError(QStringLiteral("Invalid %1 '%2': a whole number is needed")
                             .arg(QLatin1String(what), text));
    if (value < minimum || value > maximum)
        throw KelvoError(QStringLiteral("Invalid %1 '%2': it must lie between %3 and %4")
                             .arg(QLatin1String(what), text)
                             .arg(minimum)
                             .arg(maximum));
    return value;
}

std::vector<int> ParseIntegerList(const QString& text, const char* what, int count) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        throw KelvoError(
            QStringLiteral("Invalid %1 '%2': %3 whole numbers separated by commas are needed")
                .arg(QLatin1String(what), text)
                .arg(count));
    std::vector<int> values;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok, 10);
        if (!ok)
            throw KelvoError(
                QStringLiteral("Invalid %1 '%2': %3 whole numbers separated by commas are needed")
                    .arg(QLatin1String(what), text)
                    .arg(count));
        values.push_back(value);
    }
    return values;
}

// ---- the command line ----

namespace {

bool HasSpelling(const TCliOption& option, const QString& spelling) {
    const QStringList names = QString::fromLatin1(option.Name).split(QStringLiteral(", "));
    return names.contains(spelling);
}

QString NotTogether(const QString& first, const QString& second) {
    return QStringLiteral("%1 and %2 cannot be given together: a run makes one result")
        .arg(first, second);
}

// The options in the order given, into one job; the inputs are gathered in Inputs.
TCliJob ReadLine(const QStringList& arguments) {
    TCliJob job;
    bool onlyInputsFollow = false;  // after "--", a leading '-' is part of a file name
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!onlyInputsFollow && argument == QLatin1String("--")) {
            onlyInputsFollow = true;
            continue;
        }
        // "-" alone is standard input, as every tool of the kind reads it.
        if (onlyInputsFollow || argument == kStreamName || !argument.startsWith(QLatin1Char('-'))) {
            job.Inputs.append(argument);
            continue;
        }
        QString name = argument;
        std::optional<QString> value;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (argument.startsWith(QLatin1String("--")) && equals > 2) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        const TCliOption* option = FindOption(name);
        if (!option) throw KelvoError(QStringLiteral("Unknown option '%1'").arg(name));
        if (option->Flag) {
            if (value) throw KelvoError(QStringLiteral("Option %1 takes no value").arg(name));
            option->Flag(job);
            continue;
        }
        if (!value) {
            if (++i >= arguments.size())
                throw KelvoError(QStringLiteral("Option %1 needs a value").arg(name));
            value = arguments[i];
        }
        option->Setting(job, *value);
    }
    if (!job.Inputs.isEmpty()) job.Input = job.Inputs.first();
    return job;
}

void CheckInputs(const TCliJob& job) {
    if (job.Inputs.isEmpty()) throw KelvoError(QStringLiteral("No input file given"));
    if (job.Inputs.count(kStreamName) > 1)
        throw KelvoError(QStringLiteral("Standard input (-) can be read only once"));
    const bool jsonInfo = job.Json && job.ReportOption == QLatin1String("--info");
    if (job.Inputs.size() > 1 && job.OutDir.isEmpty() && !jsonInfo)
        throw KelvoError(
            QStringLiteral("Only one input file may be given without --out-dir, not also '%1'")
                .arg(job.Inputs[1]));
}

void CheckOutDir(const TCliJob& job) {
    if (job.Inputs.contains(kStreamName))
        throw KelvoError(
            QStringLiteral("Standard input (-) has no name to be written under in --out-dir"));
    if (!QFileInfo(job.OutDir).isDir())
        throw TFileFailure(job.OutDir, KelvoError(QStringLiteral("No such folder")));
    // Two inputs of one name from different folders would overwrite each other's result.
    QHash<QString, QString> targets;
    for (const QString& input : job.Inputs) {
        const QString target = OutDirTarget(job, input);
        const auto earlier = targets.constFind(target);
        if (earlier != targets.cend())
            throw KelvoError(QStringLiteral("'%1' and '%2' would both be written to '%3'")
                                 .arg(*earlier, input, target));
        targets.insert(target, input);
    }
}

void CheckOutput(const TCliJob& job) {
    if (!job.OutDir.isEmpty()) return CheckOutDir(job);
    if (job.Output.isEmpty()) throw KelvoError(QStringLiteral("No output file given (-o OUTPUT)"));
    if (job.Output == kStreamName) {
        if (job.Format.isEmpty())
            throw KelvoError(QStringLiteral(
                "Writing to standard output (-o -) needs --format JPG, PNG, GIF or BMP"));
        return;
    }
    if (OutputTypeOf(job) == TSaveFileType::None) throw KelvoError(NoOutputTypeMessage(job.Output));
    if (!job.Format.isEmpty()) {
        TCliJob byName;
        byName.Output = job.Output;
        if (OutputTypeOf(byName) != OutputTypeOf(job))
            throw KelvoError(QStringLiteral("--format %1 disagrees with the ending of '%2'")
                                 .arg(job.Format, job.Output));
    }
}

}  // namespace

void SetReport(TCliJob& job, const char* option,
               std::function<void(const TCliJob& job, const TBitmap32& image)> report) {
    if (!job.ReportOption.isEmpty())
        throw KelvoError(NotTogether(job.ReportOption, QLatin1String(option)));
    job.ReportOption = QLatin1String(option);
    job.Report = std::move(report);
}

const TCliOption* FindOption(const QString& spelling) {
    for (const TCliTable& table : CliTables())
        for (const TCliOption& option : table.Options)
            if (HasSpelling(option, spelling)) return &option;
    return nullptr;
}

TCliJob ParseArguments(const QStringList& arguments) {
    TCliJob job = ReadLine(arguments);
    if (!job.ReportOption.isEmpty() && !job.OutputOption.isEmpty())
        throw KelvoError(NotTogether(job.ReportOption, job.OutputOption));
    if (job.Json && job.ReportOption != QLatin1String("--info"))
        throw KelvoError(QStringLiteral("--json goes with --info"));
    CheckInputs(job);
    if (!job.Report) CheckOutput(job);
    for (const auto& check : job.Checks)
        check(job);
    return job;
}

TSaveFileType OutputTypeOf(const TCliJob& job) {
    static const struct {
        QLatin1StringView Name;  // --format's value, and an ending with a dot before it
        TSaveFileType Type;
    } kTypes[] = {
        {QLatin1StringView("JPG"), TSaveFileType::Jpeg},
        {QLatin1StringView("JPEG"), TSaveFileType::Jpeg},
        {QLatin1StringView("JPE"), TSaveFileType::Jpeg},
        {QLatin1StringView("PNG"), TSaveFileType::Png},
        {QLatin1StringView("GIF"), TSaveFileType::Gif},
        {QLatin1StringView("BMP"), TSaveFileType::Bmp},
    };
    for (const auto& entry : kTypes) {
        if (!job.Format.isEmpty()) {
            if (job.Format == entry.Name) return entry.Type;
        } else if (job.Output.endsWith(QLatin1Char('.') + entry.Name, Qt::CaseInsensitive)) {
            return entry.Type;
        }
    }
    return TSaveFileType::None;
}

QString NoOutputTypeMessage(const QString& fileName) {
    return QStringLiteral(
               "Nothing written: '%1' does not end with .jpg, .jpeg, .jpe, .png, .gif or .bmp "
               "(--format names the type)")
        .arg(fileName);
}

QString OutDirTarget(const TCliJob& line, const QString& input) {
    QString name = QFileInfo(input).fileName();
    if (!line.Format.isEmpty()) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0) name.truncate(dot);
        name += QLatin1Char('.') + line.Format.toLower();
    }
    return QDir(line.OutDir).filePath(name);
}
