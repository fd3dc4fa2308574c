// --help: the options under their headings, each with its value and one line of meaning, the
// meanings in one column.

#include <QString>
#include <QStringList>
#include <vector>

#include "cli/CliProgram.h"

namespace {

const struct {
    TCliGroup Group;
    const char* Heading;
} kHeadings[] = {
    {TCliGroup::InputOutput, "Input and output"}, {TCliGroup::Geometry, "Geometry"},
    {TCliGroup::Tone, "Tone and colour"},         {TCliGroup::HotSpot, "Hot spot"},
    {TCliGroup::Information, "Information"},      {TCliGroup::Batch, "Batch"},
};

struct TRow {
    QString Option;  // spellings and value: "-o, --output FILE"
    QString Meaning;
};

// The rows of the program itself rather than of a subsystem.
const struct {
    TCliGroup Group;
    const char* Option;
    const char* Meaning;
} kOwnRows[] = {
    {TCliGroup::InputOutput, "--", "ends the options: inputs may then start with '-'"},
    {TCliGroup::Information, "-h, --help", "print this list and exit"},
    {TCliGroup::Information, "--version", "print the program's version and exit"},
};

constexpr int kOptionWidth = 24;  // a longer option puts its meaning on the next line
constexpr int kMeaningColumn = 2 + kOptionWidth + 2;
constexpr int kLineWidth = 79;

TRow RowOf(const TCliOption& option) {
    TRow row{QString::fromLatin1(option.Name), QString::fromUtf8(option.Help)};
    const qsizetype colon = row.Meaning.indexOf(QStringLiteral(": "));
    if (option.Setting && colon > 0) {
        row.Option += QLatin1Char(' ') + row.Meaning.left(colon);
        row.Meaning = row.Meaning.mid(colon + 2);
    }
    return row;
}

std::vector<TRow> RowsOf(TCliGroup group) {
    std::vector<TRow> rows;
    for (const TCliTable& table : CliTables())
        for (const TCliOption& option : table.Options)
            if ((option.Group == TCliGroup::OfTable ? table.Group : option.Group) == group)
                rows.push_back(RowOf(option));
    for (const auto& own : kOwnRows)
        if (own.Group == group)
            rows.push_back({QLatin1String(own.Option), QLatin1String(own.Meaning)});
    return rows;
}

// The meaning's words over as many lines as it takes, each but the first indented to the column.
QString Wrapped(const QString& meaning) {
    QString text;
    int column = kMeaningColumn;
    for (const QString& word : meaning.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > kMeaningColumn && column + 1 + word.size() > kLineWidth) {
            text += QLatin1Char('\n') + QString(kMeaningColumn, QLatin1Char(' '));
            column = kMeaningColumn;
        } else if (column > kMeaningColumn) {
            text += QLatin1Char(' ');
            ++column;
        }
        text += word;
        column += int(word.size());
    }
    return text;
}

}  // namespace

void PrintUsage(std::FILE* stream) {
    QString text = QStringLiteral(
        "usage: kelvoimage-cli INPUT [OPTION...] -o OUTPUT\n"
        "       kelvoimage-cli INPUT [OPTION...] --info | --histogram | --print-pdf OUT.pdf\n"
        "       kelvoimage-cli [OPTION...] --out-dir DIR INPUT...\n"
        "       kelvoimage-cli --info --json INPUT...\n"
        "The operations run in the order given; an INPUT or OUTPUT of - is standard\n"
        "input or output.\n");
    for (const auto& heading : kHeadings) {
        text += QLatin1Char('\n') + QLatin1String(heading.Heading) + QStringLiteral(":\n");
        for (const TRow& row : RowsOf(heading.Group)) {
            text += QStringLiteral("  ") + row.Option;
            if (row.Option.size() > kOptionWidth)
                text += QLatin1Char('\n') + QString(kMeaningColumn, QLatin1Char(' '));
            else
                text += QString(kOptionWidth + 2 - row.Option.size(), QLatin1Char(' '));
            text += Wrapped(row.Meaning) + QLatin1Char('\n');
        }
    }
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}
