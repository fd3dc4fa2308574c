#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <cerrno>
#include <filesystem>
#include <random>

#include "app/RtfDocument.h"
#include "base/KelvoError.h"

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The converter's output as the help window will see it.
struct Rendered {
    explicit Rendered(const QByteArray& rtf) { document.setHtml(RtfToHtml(rtf)); }
    // toPlainText() would turn no-break spaces into spaces.
    QString Plain() const {
        QString text = document.toRawText();
        text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
        return text;
    }

    QTextBlock Block(const QString& text) const {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            if (block.text() == text) return block;
        ADD_FAILURE() << "no paragraph reads \"" << text.toStdString() << "\" in\n"
                      << Plain().toStdString();
        return {};
    }

    // The character format at the first occurrence of `text`.
    QTextCharFormat FormatOf(const QString& text) const {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().text().contains(text)) return it.fragment().charFormat();
        ADD_FAILURE() << "\"" << text.toStdString() << "\" is not in\n" << Plain().toStdString();
        return {};
    }

    QTextDocument document;
};

QByteArray Rtf(const char* body) {
    return QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}") + body +
           "}";
}

std::filesystem::path ProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

}  // namespace

TEST(RtfDocument, TextAndCharacters) {
    const struct {
        const char* rtf;
        const char16_t* plain;
    } cases[] = {
        {"Hello world\\par", u"Hello world"},
        {"One\\par Two\\par", u"One\nTwo"},
        {"Line\\line break\\par", u"Line\nbreak"},
        {"last paragraph without a mark", u"last paragraph without a mark"},
        {"back\\\\slash \\{braces\\}\\par", u"back\\slash {braces}"},
        {"caf\\'e9 \\'93quoted\\'94 \\'80\\par", u"caf\u00e9 \u201cquoted\u201d \u20ac"},
        {"\\u8364?\\u-3913? \\u233\\'e9 x\\par", u"\u20ac\uf0b7 \u00e9 x"},
        {"\\uc2\\u8364\\'80\\'80 \\uc0\\u8364 y\\par", u"\u20ac \u20acy"},
        {"{\\uc2\\u8364 ab}c\\par", u"\u20acc"},
        {"a\\~b\\_c\\-d\\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\par",
         u"a\u00a0b-cd\u2014\u2013\u2018\u2019\u201c\u201d"},
        {"<b>&amp; \"markup\" stays text</b>\\par", u"<b>&amp; \"markup\" stays text</b>"},
        {"two  spaces\\tab tab\\par", u"two  spaces\ttab"},
        {"raw \xe9 byte\\par", u"raw \u00e9 byte"},
        {"{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
         "{\\info{\\title Title}{\\author Me}}{\\*\\generator Writer 1.0;}"
         "{\\*\\unknowndest hidden}shown\\par",
         u"shown"},
        {"{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}\\par", u"link"},
        {"vis{\\v hidden}ible\\par", u"visible"},
        {"{\\pict\\wmetafile8 0102030405}after picture\\par", u"after picture"},
        {"{\\*\\blob\\bin5 }}}}}}after binary\\par", u"after binary"},
        {"cr\r\nlf\\\r\nnext\\par", u"crlf\nnext"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rtf);
        EXPECT_EQ(Rendered(Rtf(c.rtf)).Plain(), QString::fromUtf16(c.plain));
    }
}

TEST(RtfDocument, CharacterFormatting) {
    const Rendered doc(Rtf(
        "PLAIN {\\b BOLD} \\b BON\\b0  BOFF {\\i ITAL}\\i ION\\i0  IOFF {\\ul UNDER}\\ul UON"
        "\\ulnone  UOFF {\\uldb DBL} {\\strike GONE} {\\fs36 BIG {\\fs16 SMALL}} {\\b\\i\\ul EVERY"
        "\\plain  RESET}\\par"));
    const struct {
        const char* text;
        bool bold, italic, underline, strike;
        double points;  // 0: the view's own size
    } cases[] = {
        {"PLAIN", false, false, false, false, 0}, {"BOLD", true, false, false, false, 0},
        {"BON", true, false, false, false, 0},    {"BOFF", false, false, false, false, 0},
        {"ITAL", false, true, false, false, 0},   {"ION", false, true, false, false, 0},
        {"IOFF", false, false, false, false, 0},  {"UNDER", false, false, true, false, 0},
        {"UON", false, false, true, false, 0},    {"UOFF", false, false, false, false, 0},
        {"DBL", false, false, true, false, 0},    {"GONE", false, false, false, true, 0},
        {"BIG", false, false, false, false, 18},  {"SMALL", false, false, false, false, 8},
        {"EVERY", true, true, true, false, 0},    {"RESET", false, false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QTextCharFormat format = doc.FormatOf(QString::fromLatin1(c.text));
        EXPECT_EQ(format.fontWeight() >= QFont::Bold, c.bold);
        EXPECT_EQ(format.fontItalic(), c.italic);
        EXPECT_EQ(format.fontUnderline(), c.underline);
        EXPECT_EQ(format.fontStrikeOut(), c.strike);
        EXPECT_DOUBLE_EQ(format.fontPointSize(), c.points);
    }
}

TEST(RtfDocument, ParagraphFormatting) {
    const Rendered doc(
        Rtf("\\pard\\qc Centred\\par \\qr Right\\par \\pard Left again\\par "
            "\\li720\\fi-360\\sb240\\sa120 Indented\\par \\pard Flush\\par"));
    EXPECT_TRUE(doc.Block("Centred").blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(doc.Block("Right").blockFormat().alignment() & Qt::AlignRight);
    EXPECT_FALSE(doc.Block("Left again").blockFormat().alignment() &
                 (Qt::AlignHCenter | Qt::AlignRight));
    const QTextBlockFormat indented = doc.Block("Indented").blockFormat();
    EXPECT_DOUBLE_EQ(indented.leftMargin(), 48);  // 720 twips at 96 pixels per inch
    EXPECT_DOUBLE_EQ(indented.textIndent(), -24);
    EXPECT_DOUBLE_EQ(indented.topMargin(), 16);
    EXPECT_DOUBLE_EQ(indented.bottomMargin(), 8);
    const QTextBlockFormat flush = doc.Block("Flush").blockFormat();
    EXPECT_DOUBLE_EQ(flush.leftMargin(), 0);
    EXPECT_DOUBLE_EQ(flush.topMargin(), 0);
    EXPECT_DOUBLE_EQ(flush.bottomMargin(), 0);
}

TEST(RtfDocument, ListsInTheirCommonSpellings) {
    const struct {
        const char* name;
        const char* rtf;
        QTextListFormat::Style style;
    } cases[] = {
        {"bullet and tab", "\\pard\\li360\\fi-360\\bullet\\tab First\\par\\bullet\\tab Second\\par",
         QTextListFormat::ListDisc},
        {"word pad bullets",
         "{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}"
         "\\fi-720\\li720 First\\par{\\pntext\\f1\\'B7\\tab}Second\\par",
         QTextListFormat::ListDisc},
        {"word pad numbers",
         "{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1\\pndec"
         "{\\pntxta.}}\\fi-360\\li720 First\\par{\\pntext\\f0 2.\\tab}Second\\par",
         QTextListFormat::ListDecimal},
        {"word list text",
         "{\\listtext\\pard\\plain\\f3 \\u-3913\\'b7\\tab}\\ls1\\li720\\fi-360 First\\par"
         "{\\listtext\\pard\\plain\\f3 \\u-3913\\'b7\\tab}\\ls1\\li720\\fi-360 Second\\par",
         QTextListFormat::ListDisc},
        {"typed numbers", "\\li360 1.\\tab First\\par 2.\\tab Second\\par",
         QTextListFormat::ListDecimal},
        {"typed letters", "\\li360 a)\\tab First\\par b)\\tab Second\\par",
         QTextListFormat::ListLowerAlpha},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered doc(Rtf((std::string(c.rtf) + "\\pard After\\par").c_str()));
        EXPECT_EQ(doc.Plain(), QStringLiteral("First\nSecond\nAfter"));
        const QTextList* first = doc.Block("First").textList();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, doc.Block("Second").textList()) << "the items form one list";
        EXPECT_EQ(first->format().style(), c.style);
        EXPECT_EQ(doc.Block("After").textList(), nullptr);
    }
}

TEST(RtfDocument, ListNestingFollowsTheIndent) {
    const Rendered doc(
        Rtf("\\pard\\li360\\fi-360\\bullet\\tab Outer\\par"
            "\\pard\\li720\\fi-360\\bullet\\tab Inner\\par"
            "\\pard\\li720\\fi-360 1.\\tab Numbered\\par"
            "\\pard\\li360\\fi-360\\bullet\\tab Outer again\\par"));
    const QTextList* outer = doc.Block("Outer").textList();
    const QTextList* inner = doc.Block("Inner").textList();
    const QTextList* numbered = doc.Block("Numbered").textList();
    ASSERT_TRUE(outer && inner && numbered);
    EXPECT_EQ(outer->format().indent(), 1);
    EXPECT_EQ(inner->format().indent(), 2);
    EXPECT_NE(inner, numbered) << "a change of marker starts a new list";
    EXPECT_EQ(numbered->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(doc.Block("Outer again").textList(), outer);
}

TEST(RtfDocument, TabInOrdinaryTextIsNoListMarker) {
    const Rendered doc(Rtf("Name\\tab Value\\par 2024.\\tab year\\par"));
    EXPECT_EQ(doc.Block("Name\tValue").textList(), nullptr);
    EXPECT_EQ(doc.Block("2024.\tyear").textList(), nullptr);
}

TEST(RtfDocument, EmptyParagraphsKeepTheirLines) {
    const Rendered doc(Rtf("Top\\par\\par\\par Bottom\\par"));
    EXPECT_EQ(doc.Plain(), QStringLiteral("Top\n\n\nBottom"));
}

TEST(RtfDocument, TextThatIsNotRtfIsShownAsIs) {
    const Rendered doc("Just <notes> & things\r\n\r\nsecond line");
    EXPECT_EQ(doc.Plain(), QStringLiteral("Just <notes> & things\n\nsecond line"));
}

TEST(RtfDocument, DamagedInputGivesBestEffortText) {
    const std::string deep(200000, '{');
    const std::string deepClose(200000, '}');
    const struct {
        const char* name;
        QByteArray rtf;
        const char16_t* plain;
    } cases[] = {
        {"empty", "", u""},
        {"header only", "{\\rtf1", u""},
        {"truncated group", "{\\rtf1 {\\b cut off", u"cut off"},
        {"truncated control word", "{\\rtf1 kept\\par\\", u"kept"},
        {"truncated hex", "{\\rtf1 a\\'", u"a"},
        {"half hex", "{\\rtf1 a\\'4", u"a"},
        {"bad hex", "{\\rtf1 a\\'zz b", u"azz b"},
        {"bare unicode", "{\\rtf1 a\\u b\\u- c", u"ab- c"},
        {"stray closing braces", "{\\rtf1 a}}}}}} b\\par}", u"a b"},
        {"huge parameters", "{\\rtf1\\fs99999999999999999999\\li-99999999999999 big\\par}", u"big"},
        {"binary longer than file", "{\\rtf1 a\\bin999999999 b}", u"a"},
        {"long control word", QByteArray("{\\rtf1 a\\") + QByteArray(5000, 'x') + " b\\par}",
         u"ab"},
        {"deep nesting",
         QByteArray("{\\rtf1 start ") + deep.c_str() + "lost" + deepClose.c_str() + " end\\par}",
         u"start  end"},
        {"marker group never closed", "{\\rtf1 {\\pntext\\'b7\\tab", u""},
        {"lone surrogates", "{\\rtf1 a\\u-10179?b\\u-8694?c\\par}", u"a\ufffdb\ufffdc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Rendered(c.rtf).Plain(), QString::fromUtf16(c.plain));
    }
}

TEST(RtfDocument, SurrogatePairsStayTogether) {
    EXPECT_EQ(Rendered(Rtf("\\u-10179?\\u-8694?\\par")).Plain(), QStringLiteral(u"\U0001F60A"));
}

TEST(RtfDocument, ArbitraryBytesNeverBreakTheConverter) {
    // Fixed seeds: the same inputs every run. Bytes are drawn mostly from RTF's own syntax so
    // that the parser's states, not just its text path, are exercised.
    const char alphabet[] = "{}\\\\\\'*bfsuciparlntx0129- \r\n\xe9\x93";
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> length(0, 400), pick(0, sizeof alphabet - 2);
        QByteArray rtf = "{\\rtf1 ";
        for (int k = length(random); k > 0; --k)
            rtf += alphabet[pick(random)];
        SCOPED_TRACE(rtf.toStdString());
        const QString html = RtfToHtml(rtf);
        EXPECT_TRUE(html.startsWith(QStringLiteral("<html><body>")));
        EXPECT_TRUE(html.endsWith(QStringLiteral("</body></html>")));
    }
}

TEST(RtfDocument, TheHelpFileExplainsEveryCommand) {
    const std::filesystem::path path = ProgramFolder() / "Kelvo Image Help.RTF";
    QFile file(QString::fromStdString(path.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the build puts the help file at " << path;
    const QByteArray rtf = file.readAll();
    for (const char c : rtf)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "keep it ASCII";

    const Rendered doc(rtf);
    const QString text = doc.Plain();
    // Every caption as the menu, the toolbar and the keyboard show it, access keys removed.
    const char16_t* captions[] = {
        u"Files", u"Open", u"ReOpen", u"Save", u"Save As", u"Save As Transparent GIF",
        u"Convert To", u"Save As Unique JPG", u"JPEG Quality", u"Pan Speed", u"Paste", u"Copy",
        u"Pell's Tools", u"Register File Types", u"Delete Confirm", u"Save Confirm",
        u"Show Pixel Values", u"Show Line Lengths", u"Movie", u"Movie Speed", u"Extended Info",
        u"Print an 8x10", u"X2", u"1/2", u"1/4", u"1:1", u"Fit", u"Rot", u"CCW", u"CW", u"Flip",
        u"Mirror", u"Rotate", u"Bright", u"Linear", u"Contrast Stretch", u"Brightness", u"Contrast",
        u"Make White", u"Make Black", u"Make Black/White", u"Make Grey", u"Subtract",
        u"Remove Color Cast", u"Remove Color Cast Again", u"HistoGram", u"Show Histogram",
        u"Make Black and White", u"Negative", u"IsoBrightness 32", u"IsoBrightness 64",
        u"IsoBrightness 128", u"Washout", u"Undo", u"HSR", u"?", u"Exit",
        // the toolbar
        u"Del", u"Start by Name", u"Start by Date", u"Prev", u"Next", u"Del + Next",
        u"Rename + Next", u"Save + Next",
        // the keys
        u"Up arrow", u"Down arrow", u"Left arrow", u"Right arrow", u"Escape", u"Enter", u"Space"};
    for (const char16_t* caption : captions) {
        const QString wanted = QString::fromUtf16(caption);
        EXPECT_TRUE(text.contains(wanted)) << "the help never mentions " << wanted.toStdString();
    }
    EXPECT_FALSE(text.contains(u'&')) << "access-key ampersands belong to menus, not to prose";
    EXPECT_FALSE(text.contains(u'\\')) << "an RTF control word leaked into the text";

    bool hasBold = false, hasList = false;
    for (QTextBlock block = doc.document.begin(); block.isValid(); block = block.next()) {
        hasList = hasList || block.textList() != nullptr;
        for (auto it = block.begin(); !it.atEnd(); ++it)
            hasBold = hasBold || it.fragment().charFormat().fontWeight() >= QFont::Bold;
    }
    EXPECT_TRUE(hasBold) << "menu names are set in bold";
    EXPECT_TRUE(hasList) << "commands are listed item by item";
}

TEST(RtfDocument, ReadingTheFileReportsThePlatformMessage) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kelvo_rtf_read_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "a folder.RTF");
    const QString present = QString::fromStdString((folder / "present.RTF").string());
    {
        QFile file(present);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("{\\rtf1 \0binary-safe}", 20));
    }
    EXPECT_EQ(ReadRichTextFile(present), QByteArray("{\\rtf1 \0binary-safe}", 20));

    const struct {
        const char* name;
        int error;
    } failures[] = {{"missing.RTF", ENOENT}, {"a folder.RTF", EISDIR}, {"", ENOENT}};
    for (const auto& f : failures) {
        SCOPED_TRACE(f.name);
        const QString path =
            *f.name ? QString::fromStdString((folder / f.name).string()) : QString();
        try {
            ReadRichTextFile(path);
            ADD_FAILURE() << "no error";
        } catch (const KelvoError& error) {
            EXPECT_EQ(error.Message(), CannotOpenFileMessage(path, f.error));
        }
    }
    std::filesystem::remove_all(folder);
}
