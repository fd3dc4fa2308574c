#include "app/RtfDocument.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <vector>

#include "base/WholeFile.h"

namespace {

// Word nests groups a dozen deep; anything far beyond that is damage, and its content is dropped
// rather than letting a hostile file grow the state stack without bound.
constexpr int kMaxGroupDepth = 128;
// Control words longer than this are not RTF; the rest of the letters are consumed and ignored.
constexpr int kMaxWordLength = 32;
// 1440 twips per inch against 96 pixels per inch.
constexpr int kTwipsPerPixel = 15;

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QChar FromCp1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return QChar(kCp1252High[byte - 0x80]);
    return QChar(byte);
}

enum class Destination { Text, Skip, ListMarker };
enum class Alignment { Left, Center, Right, Justify };

struct CharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int halfPoints = 0;  // 0: the view's own size
    bool operator==(const CharFormat&) const = default;
};

struct ParaFormat {
    int leftIndent = 0;  // twips, as all four below
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    Alignment alignment = Alignment::Left;
};

struct GroupState {
    CharFormat chars;
    ParaFormat para;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;
};

struct Run {
    CharFormat format;
    QString text;  // '\t' for tabs, '\n' for line breaks
};

struct Paragraph {
    std::vector<Run> runs;
    QString marker;  // text of a {\pntext} / {\listtext} group
    bool hasMarkerGroup = false;
    ParaFormat format;
};

enum class ListKind { Bullet, Decimal, LowerAlpha, UpperAlpha };

struct ListMarker {
    ListKind kind = ListKind::Bullet;
    int start = 1;
};

bool IsBulletMarker(const QString& marker) {
    static const QString bullets =
        QStringLiteral(u"\u2022\u00B7\u25CF\u25E6\u25AA\u25A0\u2013\uF0B7-*o");
    return marker.size() == 1 && bullets.contains(marker[0]);
}

// A marker as a word processor writes it before the tab: a bullet sign, "3." or "c)".
bool ClassifyMarker(const QString& marker, ListMarker& result) {
    const QString m = marker.trimmed();
    if (m.isEmpty()) return false;
    if (IsBulletMarker(m)) {
        result = {ListKind::Bullet, 1};
        return true;
    }
    if (m.size() < 2 || (m.back() != u'.' && m.back() != u')')) return false;
    const QString body = m.left(m.size() - 1);
    bool isNumber = false;
    const int number = body.toInt(&isNumber);
    if (isNumber && body.size() <= 3 && number >= 0) {
        result = {ListKind::Decimal, number};
        return true;
    }
    if (body.size() == 1 && body[0] >= u'a' && body[0] <= u'z') {
        result = {ListKind::LowerAlpha, body[0].unicode() - u'a' + 1};
        return true;
    }
    if (body.size() == 1 && body[0] >= u'A' && body[0] <= u'Z') {
        result = {ListKind::UpperAlpha, body[0].unicode() - u'A' + 1};
        return true;
    }
    return false;
}

int Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

QString EscapeText(const QString& text) {
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype k = 0; k < text.size(); ++k) {
        const QChar c = text[k];
        if (c.isHighSurrogate() && k + 1 < text.size() && text[k + 1].isLowSurrogate()) {
            out += c;
            out += text[++k];
            continue;
        }
        if (c.isSurrogate()) {
            out += QChar(0xFFFD);
            continue;
        }
        switch (c.unicode()) {
            case u'<':
                out += QStringLiteral("&lt;");
                break;
            case u'>':
                out += QStringLiteral("&gt;");
                break;
            case u'&':
                out += QStringLiteral("&amp;");
                break;
            case u'"':
                out += QStringLiteral("&quot;");
                break;
            case u'\n':
                out += QStringLiteral("<br />");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString RunHtml(const Run& run) {
    QString open, close;
    if (run.format.halfPoints > 0) {
        open += QStringLiteral("<span style=\"font-size:%1pt\">")
                    .arg(QString::number(run.format.halfPoints / 2.0));
        close.prepend(QStringLiteral("</span>"));
    }
    const std::pair<bool, const char*> tags[] = {{run.format.bold, "b"},
                                                 {run.format.italic, "i"},
                                                 {run.format.underline, "u"},
                                                 {run.format.strike, "s"}};
    for (const auto& [on, tag] : tags) {
        if (!on) continue;
        open += QStringLiteral("<%1>").arg(QLatin1String(tag));
        close.prepend(QStringLiteral("</%1>").arg(QLatin1String(tag)));
    }
    return open + EscapeText(run.text) + close;
}

QString AlignAttribute(Alignment alignment) {
    switch (alignment) {
        case Alignment::Center:
            return QStringLiteral(" align=\"center\"");
        case Alignment::Right:
            return QStringLiteral(" align=\"right\"");
        case Alignment::Justify:
            return QStringLiteral(" align=\"justify\"");
        case Alignment::Left:
            break;
    }
    return {};
}

// Builds the HTML body paragraph by paragraph, keeping the lists that are open.
class HtmlWriter {
  public:
    void Add(Paragraph& paragraph) {
        ListMarker marker;
        if (TakeMarker(paragraph, marker))
            AddListItem(paragraph, marker);
        else
            AddPlainParagraph(paragraph);
    }

    QString Finish() {
        CloseListsDeeperThan(-1);
        return QStringLiteral("<html><body>") + FBody + QStringLiteral("</body></html>");
    }

  private:
    struct ListLevel {
        int indent;
        ListKind kind;
        bool itemOpen;
    };

    static bool TakeMarker(Paragraph& paragraph, ListMarker& marker) {
        if (paragraph.hasMarkerGroup) {
            // A marker group always makes a list item; an unknown marker is shown as a bullet.
            if (!ClassifyMarker(paragraph.marker, marker)) marker = {ListKind::Bullet, 1};
            return true;
        }
        // "\bullet\tab text" or "1.\tab text" written straight into the paragraph.
        if (paragraph.runs.empty()) return false;
        QString& text = paragraph.runs.front().text;
        const qsizetype tab = text.indexOf(u'\t');
        if (tab < 0 || tab > 6 || !ClassifyMarker(text.left(tab), marker)) return false;
        qsizetype rest = tab + 1;
        while (rest < text.size() && text[rest] == u' ')
            ++rest;
        text.remove(0, rest);
        return true;
    }

    static QString BlockStyle(const ParaFormat& format, bool withIndent) {
        QString style = QStringLiteral("margin-top:%1px; margin-bottom:%2px;")
                            .arg(Pixels(format.spaceBefore))
                            .arg(Pixels(format.spaceAfter));
        if (withIndent) {
            if (format.leftIndent != 0)
                style += QStringLiteral(" margin-left:%1px;").arg(Pixels(format.leftIndent));
            if (format.firstIndent != 0)
                style += QStringLiteral(" text-indent:%1px;").arg(Pixels(format.firstIndent));
        }
        return style + QStringLiteral(" white-space:pre-wrap;");
    }

    static QString Content(const Paragraph& paragraph) {
        QString html;
        for (const Run& run : paragraph.runs)
            html += RunHtml(run);
        return html;
    }

    static bool IsEmpty(const Paragraph& paragraph) {
        return std::all_of(paragraph.runs.begin(), paragraph.runs.end(),
                           [](const Run& run) { return run.text.isEmpty(); });
    }

    void AddPlainParagraph(const Paragraph& paragraph) {
        CloseListsDeeperThan(-1);
        if (IsEmpty(paragraph)) {
            FBody += QStringLiteral("<p style=\"-qt-paragraph-type:empty; %1\"%2><br /></p>")
                         .arg(BlockStyle(paragraph.format, true),
                              AlignAttribute(paragraph.format.alignment));
            return;
        }
        FBody += QStringLiteral("<p style=\"%1\"%2>%3</p>")
                     .arg(BlockStyle(paragraph.format, true),
                          AlignAttribute(paragraph.format.alignment), Content(paragraph));
    }

    void AddListItem(const Paragraph& paragraph, const ListMarker& marker) {
        const int indent = paragraph.format.leftIndent;
        CloseListsDeeperThan(indent);
        if (!FLists.empty() && FLists.back().indent == indent && FLists.back().kind != marker.kind)
            CloseTopList();
        if (FLists.empty() || FLists.back().indent < indent) OpenList(indent, marker);
        ListLevel& list = FLists.back();
        if (list.itemOpen) FBody += QStringLiteral("</li>");
        FBody += QStringLiteral("<li style=\"%1\"%2>%3")
                     .arg(BlockStyle(paragraph.format, false),
                          AlignAttribute(paragraph.format.alignment), Content(paragraph));
        list.itemOpen = true;
    }

    void OpenList(int indent, const ListMarker& marker) {
        const bool ordered = marker.kind != ListKind::Bullet;
        QString attributes;
        if (marker.kind == ListKind::LowerAlpha) attributes += QStringLiteral(" type=\"a\"");
        if (marker.kind == ListKind::UpperAlpha) attributes += QStringLiteral(" type=\"A\"");
        if (ordered && marker.start != 1)
            attributes += QStringLiteral(" start=\"%1\"").arg(marker.start);
        FBody += QStringLiteral(
                     "<%1%2 style=\"margin-top:0px; margin-bottom:0px; "
                     "-qt-list-indent:%3;\">")
                     .arg(ordered ? QStringLiteral("ol") : QStringLiteral("ul"), attributes)
                     .arg(FLists.size() + 1);
        FLists.push_back({indent, marker.kind, false});
    }

    void CloseTopList() {
        const ListLevel& list = FLists.back();
        if (list.itemOpen) FBody += QStringLiteral("</li>");
        FBody += list.kind == ListKind::Bullet ? QStringLiteral("</ul>") : QStringLiteral("</ol>");
        FLists.pop_back();
    }

    void CloseListsDeeperThan(int indent) {
        while (!FLists.empty() && FLists.back().indent > indent)
            CloseTopList();
    }

    QString FBody;
    std::vector<ListLevel> FLists;
};

class RtfReader {
  public:
    explicit RtfReader(const QByteArray& rtf) : FData(rtf) { FStack.emplace_back(); }

    QString Convert() {
        while (FPos < FData.size()) {
            const char c = FData[FPos++];
            switch (c) {
                case '{':
                    OpenGroup();
                    break;
                case '}':
                    CloseGroup();
                    break;
                case '\\':
                    ReadControl();
                    break;
                case '\r':
                case '\n':
                    break;
                case '\t':
                    AddText(QStringLiteral("\t"));
                    break;
                default:
                    if (static_cast<unsigned char>(c) >= 0x20)
                        AddText(QString(FromCp1252(static_cast<unsigned char>(c))));
            }
        }
        // A file cut short still shows what it had.
        if (!IsBlankParagraph()) EndParagraph();
        return FWriter.Finish();
    }

  private:
    GroupState& State() { return FStack.back(); }

    bool Skipping() const {
        return FOverflowDepth > 0 || FStack.back().destination == Destination::Skip;
    }

    bool IsBlankParagraph() const {
        return !FParagraph.hasMarkerGroup &&
               std::all_of(FParagraph.runs.begin(), FParagraph.runs.end(),
                           [](const Run& run) { return run.text.isEmpty(); });
    }

    void OpenGroup() {
        FPendingSkip = 0;
        if (FOverflowDepth > 0 || static_cast<int>(FStack.size()) > kMaxGroupDepth) {
            ++FOverflowDepth;
            return;
        }
        FStack.push_back(FStack.back());
    }

    void CloseGroup() {
        FPendingSkip = 0;
        if (FOverflowDepth > 0)
            --FOverflowDepth;
        else if (FStack.size() > 1)  // a stray "}" closes nothing
            FStack.pop_back();
    }

    void ReadControl() {
        if (FPos >= FData.size()) return;
        const char c = FData[FPos];
        if (!IsLetter(c)) {
            ++FPos;
            ControlSymbol(c);
            return;
        }
        QByteArray word;
        while (FPos < FData.size() && IsLetter(FData[FPos])) {
            if (word.size() < kMaxWordLength) word += FData[FPos];
            ++FPos;
        }
        bool hasParameter = false;
        bool negative = false;
        long long parameter = 0;
        if (FPos + 1 < FData.size() && FData[FPos] == '-' && IsDigit(FData[FPos + 1])) {
            negative = true;
            ++FPos;
        }
        while (FPos < FData.size() && IsDigit(FData[FPos])) {
            hasParameter = true;
            parameter = std::min(parameter * 10 + (FData[FPos] - '0'), 1000000000LL);
            ++FPos;
        }
        if (FPos < FData.size() && FData[FPos] == ' ') ++FPos;
        ControlWord(word, hasParameter, static_cast<int>(negative ? -parameter : parameter));
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

    static int HexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void ControlSymbol(char c) {
        switch (c) {
            case '\\':
            case '{':
            case '}':
                AddText(QString(QChar::fromLatin1(c)));
                break;
            case '\'': {
                if (FPos + 1 >= FData.size()) {
                    FPos = FData.size();
                    return;
                }
                const int high = HexValue(FData[FPos]), low = HexValue(FData[FPos + 1]);
                if (high < 0 || low < 0) return;
                FPos += 2;
                AddText(QString(FromCp1252(static_cast<unsigned char>(high * 16 + low))));
                break;
            }
            case '~':
                AddText(QString(QChar(0x00A0)));
                break;
            case '_':
                AddText(QStringLiteral("-"));
                break;
            case '*':
                State().destination = Destination::Skip;
                break;
            case '\r':
            case '\n':
                ControlWord("par", false, 0);
                break;
            default:
                break;  // \- optional hyphen, \| and \: formula and index marks
        }
    }

    void ControlWord(const QByteArray& word, bool hasParameter, int parameter) {
        if (word == "bin") {
            // Binary data is not RTF syntax; step over it whatever group it is in.
            if (hasParameter && parameter > 0)
                FPos += std::min<qsizetype>(parameter, FData.size() - FPos);
            return;
        }
        if (Skipping()) return;
        if (FPendingSkip > 0) {  // the fallback after \u counts control words as characters
            --FPendingSkip;
            return;
        }
        static const QList<QByteArray> kSkippedDestinations = {"fonttbl",    "colortbl",
                                                               "stylesheet", "info",
                                                               "pict",       "object",
                                                               "header",     "headerl",
                                                               "headerr",    "headerf",
                                                               "footer",     "footerl",
                                                               "footerr",    "footerf",
                                                               "footnote",   "fldinst",
                                                               "listtable",  "listoverridetable",
                                                               "rsidtbl",    "generator",
                                                               "themedata",  "latentstyles",
                                                               "datastore",  "pn",
                                                               "pntxta",     "pntxtb",
                                                               "pnseclvl",   "revtbl",
                                                               "filetbl",    "xmlnstbl",
                                                               "comment",    "xe",
                                                               "tc",         "template",
                                                               "userprops",  "nonshppict",
                                                               "shppict",    "objdata",
                                                               "mmathPr",    "colorschememapping"};
        const bool on = !hasParameter || parameter != 0;
        GroupState& state = State();
        if (kSkippedDestinations.contains(word)) {
            state.destination = Destination::Skip;
        } else if (word == "pntext" || word == "listtext") {
            state.destination = Destination::ListMarker;
            FParagraph.hasMarkerGroup = true;
        } else if (word == "par" || word == "sect" || word == "page" || word == "row") {
            if (state.destination == Destination::Text) EndParagraph();
        } else if (word == "line") {
            AddText(QStringLiteral("\n"));
        } else if (word == "tab" || word == "cell") {
            AddText(QStringLiteral("\t"));
        } else if (word == "pard") {
            state.para = ParaFormat{};
        } else if (word == "plain") {
            state.chars = CharFormat{};
        } else if (word == "b") {
            state.chars.bold = on;
        } else if (word == "i") {
            state.chars.italic = on;
        } else if (word == "strike") {
            state.chars.strike = on;
        } else if (word == "v") {
            state.chars.hidden = on;
        } else if (word == "ulnone") {
            state.chars.underline = false;
        } else if (word.startsWith("ul") && word != "ulc") {
            state.chars.underline = on;  // \ul and its styles \uld, \uldb, \ulw, ...
        } else if (word == "fs") {
            state.chars.halfPoints = hasParameter ? std::clamp(parameter, 0, 3276) : 0;
        } else if (word == "li") {
            state.para.leftIndent = std::clamp(parameter, 0, 31680);
        } else if (word == "fi") {
            state.para.firstIndent = std::clamp(parameter, -31680, 31680);
        } else if (word == "sb") {
            state.para.spaceBefore = std::clamp(parameter, 0, 31680);
        } else if (word == "sa") {
            state.para.spaceAfter = std::clamp(parameter, 0, 31680);
        } else if (word == "ql") {
            state.para.alignment = Alignment::Left;
        } else if (word == "qc") {
            state.para.alignment = Alignment::Center;
        } else if (word == "qr") {
            state.para.alignment = Alignment::Right;
        } else if (word == "qj") {
            state.para.alignment = Alignment::Justify;
        } else if (word == "uc") {
            state.unicodeSkip = std::clamp(parameter, 0, 16);
        } else if (word == "u" && hasParameter) {
            int code = std::clamp(parameter, -32768, 65535);
            if (code < 0) code += 65536;
            AddText(QString(QChar(static_cast<char16_t>(code))));
            FPendingSkip = state.unicodeSkip;
        } else {
            static const std::pair<const char*, char16_t> kSpecials[] = {
                {"bullet", 0x2022},    {"emdash", 0x2014},  {"endash", 0x2013},
                {"lquote", 0x2018},    {"rquote", 0x2019},  {"ldblquote", 0x201C},
                {"rdblquote", 0x201D}, {"emspace", 0x2003}, {"enspace", 0x2002},
                {"qmspace", 0x2005}};
            for (const auto& [name, code] : kSpecials)
                if (word == name) AddText(QString(QChar(code)));
        }
    }

    void AddText(const QString& text) {
        if (Skipping()) return;
        if (FPendingSkip > 0) {
            --FPendingSkip;
            return;
        }
        const GroupState& state = FStack.back();
        if (state.destination == Destination::ListMarker) {
            FParagraph.marker += text;
            return;
        }
        if (state.chars.hidden) return;
        if (FParagraph.runs.empty() || !(FParagraph.runs.back().format == state.chars))
            FParagraph.runs.push_back({state.chars, QString()});
        FParagraph.runs.back().text += text;
    }

    void EndParagraph() {
        // A paragraph takes the paragraph formatting in force at its end mark.
        FParagraph.format = FStack.back().para;
        FWriter.Add(FParagraph);
        FParagraph = Paragraph{};
    }

    const QByteArray& FData;
    qsizetype FPos = 0;
    std::vector<GroupState> FStack;
    int FOverflowDepth = 0;
    int FPendingSkip = 0;
    Paragraph FParagraph;
    HtmlWriter FWriter;
};

bool LooksLikeRtf(const QByteArray& data) {
    qsizetype start = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < data.size() && QChar::isSpace(static_cast<unsigned char>(data[start])))
        ++start;
    return data.mid(start, 5) == "{\\rtf";
}

QString PlainTextHtml(const QByteArray& data) {
    QString html = QStringLiteral("<html><body>");
    if (!data.isEmpty()) {
        const QStringList lines = QString::fromUtf8(data).split(u'\n');
        for (QString line : lines) {
            if (line.endsWith(u'\r')) line.chop(1);
            html += line.isEmpty() ? QStringLiteral(
                                         "<p style=\"-qt-paragraph-type:empty; margin-top:0px; "
                                         "margin-bottom:0px;\"><br /></p>")
                                   : QStringLiteral(
                                         "<p style=\"margin-top:0px; margin-bottom:0px; "
                                         "white-space:pre-wrap;\">%1</p>")
                                         .arg(EscapeText(line));
        }
    }
    return html + QStringLiteral("</body></html>");
}

}  // namespace

QString RtfToHtml(const QByteArray& rtf) {
    if (!LooksLikeRtf(rtf)) return PlainTextHtml(rtf);
    return RtfReader(rtf).Convert();
}

QByteArray ReadRichTextFile(const QString& fileName) {
    return ReadWholeFile(fileName);
}
