#pragma once
// What a JPEG file says about how it was encoded (its quantisation tables and its sampling
// factors), and jpegtran run as the reference for lossless transforms.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace jpeg_tables {

// Calls visit(marker, payload) for each segment before the first scan.
template <class Visit>
void ForEachSegment(const QByteArray& bytes, Visit visit) {
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xFF) {
        const int marker = static_cast<unsigned char>(bytes[at + 1]);
        const qsizetype length = qsizetype(static_cast<unsigned char>(bytes[at + 2])) << 8 |
                                 static_cast<unsigned char>(bytes[at + 3]);
        if (length < 2 || at + 2 + length > bytes.size()) return;
        visit(marker, bytes.mid(at + 4, length - 2));
        if (marker == 0xDA) return;
        at += 2 + length;
    }
}

// Every DQT segment's payload, in file order: the file's quality, as tables.
inline QByteArray QuantisationTables(const QByteArray& bytes) {
    QByteArray tables;
    ForEachSegment(bytes, [&](int marker, const QByteArray& payload) {
        if (marker == 0xDB) tables += payload;
    });
    return tables;
}

// The tables of QuantisationTables with each 8 x 8 table transposed, as a lossless transform
// that swaps width and height writes them (8-bit tables; others are left as they are).
inline QByteArray TransposedQuantisationTables(const QByteArray& tables) {
    static const int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18,
                                    11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                                    13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43,
                                    36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
                                    38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    QByteArray transposed = tables;
    qsizetype at = 0;
    while (at + 65 <= tables.size() && (static_cast<unsigned char>(tables[at]) >> 4) == 0) {
        char natural[64];
        for (int i = 0; i < 64; ++i)
            natural[kZigzag[i]] = tables[at + 1 + i];
        for (int i = 0; i < 64; ++i) {
            const int row = kZigzag[i] / 8;
            const int column = kZigzag[i] % 8;
            transposed[at + 1 + i] = natural[column * 8 + row];
        }
        at += 65;
    }
    return transposed;
}

// Whether the file written holds the source's quantisation tables, as they are or transposed:
// the quality of a lossless transform, which an encoding at another quality never has.
inline bool SameQuality(const QByteArray& written, const QByteArray& source) {
    const QByteArray tables = QuantisationTables(written);
    const QByteArray original = QuantisationTables(source);
    return tables == original || tables == TransposedQuantisationTables(original);
}

// Each component's horizontal and vertical sampling factors from the frame header.
inline std::vector<std::pair<int, int>> SamplingFactors(const QByteArray& bytes) {
    std::vector<std::pair<int, int>> factors;
    ForEachSegment(bytes, [&](int marker, const QByteArray& payload) {
        if ((marker != 0xC0 && marker != 0xC1 && marker != 0xC2) || payload.size() < 6) return;
        const int components = static_cast<unsigned char>(payload[5]);
        for (int i = 0; i < components && 6 + 3 * i + 2 < payload.size(); ++i) {
            const int both = static_cast<unsigned char>(payload[6 + 3 * i + 1]);
            factors.emplace_back(both >> 4, both & 15);
        }
    });
    return factors;
}

inline bool JpegtranPresent() {
    return !QStandardPaths::findExecutable(QStringLiteral("jpegtran")).isEmpty();
}

// jpegtran -perfect with the transform's arguments ("-rotate", "90"), input to output.
inline bool Jpegtran(const QStringList& transform, const QString& input, const QString& output) {
    QProcess process;
    process.start(QStringLiteral("jpegtran"),
                  QStringList{QStringLiteral("-perfect")} + transform +
                      QStringList{QStringLiteral("-outfile"), output, input});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

}  // namespace jpeg_tables
