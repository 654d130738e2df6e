#include "formats/richtext/RichText.h"

#include "Fixtures.h"
#include "TestPictures.h"

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

#define REQUIRE_TOOL(program)                                                                      \
    if (QStandardPaths::findExecutable(program).isEmpty())                                         \
    GTEST_SKIP() << program << " is not installed (make deps installs it)"

RichText read(const QByteArray& bytes, bool rtfd = false) {
    std::optional<RichText> text = rtfd ? RichText::fromRTFD(bytes) : RichText::fromRTF(bytes);
    EXPECT_TRUE(text) << "unreadable: " << bytes.left(300).toStdString();
    return text.value_or(RichText());
}

// The document as a headless LibreOffice, with a profile of its own so tests running side by side
// do not share one, writes it again as RTF, read by our reader.
RichText throughLibreOffice(const QByteArray& rtf) {
    QTemporaryDir work;
    QFile input(work.filePath("in.rtf"));
    EXPECT_TRUE(input.open(QIODevice::WriteOnly) && input.write(rtf) == rtf.size());
    input.close();
    QProcess office;
    office.start("soffice", {"-env:UserInstallation=file://" + work.filePath("profile"),
                             "--headless", "--norestore", "--nolockcheck", "--convert-to", "rtf",
                             "--outdir", work.filePath("out"), input.fileName()});
    EXPECT_TRUE(office.waitForFinished(120'000) && office.exitStatus() == QProcess::NormalExit &&
                office.exitCode() == 0)
        << office.errorString().toStdString() << office.readAllStandardError().toStdString();
    // What LibreOffice failed to write is unreadable, and read() says so.
    return read(readFile(work.filePath("out/in.rtf")));
}

// A flattened RTFD folder written from the format notes, independent of ours: each entry a name
// and its tagged value bytes.
QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray fileValue(const QByteArray& contents, bool pageAligned = false) {
    const int padding = 4096 - 20;
    return u32(1) +
           (pageAligned ? u32(0x80000000u) + u32(quint32(contents.size())) + u32(padding) +
                              QByteArray(padding, '\0')
                        : u32(quint32(contents.size()))) +
           contents;
}

using FlatEntry = std::pair<QByteArray, QByteArray>; // a name and its value

QByteArray flatFolder(const QList<FlatEntry>& entries, bool withHeader = true) {
    QByteArray out = withHeader ? QByteArray("rtfd", 4) + u32(0) : QByteArray();
    out += u32(3) + u32(quint32(entries.size()));
    for (const auto& [name, value] : entries)
        out += u32(quint32(name.size())) + name;
    for (const auto& [name, value] : entries)
        out += u32(quint32(value.size()));
    for (const auto& [name, value] : entries)
        out += value;
    return out;
}

// The look of a character and of its paragraph, as one line to compare.
std::string look(const RichText& text, qsizetype at) {
    const RichText::CharStyle c = text.charStyleAt(at);
    const RichText::ParagraphStyle p = text.paragraphStyleAt(at);
    const auto hex = [](std::optional<quint32> rgb) {
        return rgb ? QString::number(*rgb, 16).toStdString() : std::string("-");
    };
    return QString::asprintf(
               "%s %gpt b%d i%d u%d s%d v%d fg%s bg%s link[%s] | "
               "align%d rtl%d sb%d sa%d sl%d/%d li%d ri%d fi%d",
               qUtf8Printable(c.family), c.pointSize, c.bold, c.italic, int(c.underline),
               int(c.strike), int(c.script), hex(c.foreground).c_str(), hex(c.background).c_str(),
               qUtf8Printable(c.link), int(p.alignment), p.rightToLeft, p.spaceBefore, p.spaceAfter,
               p.lineSpacing, p.lineSpacingMultiple, p.leftIndent, p.rightIndent, p.firstLineIndent)
        .toStdString();
}

// Every character of the part looks, at its place in the whole, as it did in the part.
void expectSameLook(const RichText& whole, qsizetype offset, const RichText& part) {
    const QString text = part.plainText();
    ASSERT_EQ(whole.plainText().mid(offset, text.size()), text);
    for (qsizetype i = 0; i < text.size(); ++i)
        ASSERT_EQ(look(whole, offset + i), look(part, i))
            << "character " << i << " of \"" << text.left(40).toStdString() << "\"";
}

QByteArray png(QColor color, QSize size = QSize(4, 2)) {
    return TestPictures::encoded(TestPictures::filled(size, color), "png");
}

QByteArray wrap(const QByteArray& body) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}" + body + "}";
}

// Each font is in the table once, however many parts used it. (A reference outside the tables
// would change the look that reading the document back compares.)
void expectFontsOnce(const QByteArray& rtf) {
    static const QRegularExpression fontEntry(QStringLiteral("\\{\\\\f\\d+\\\\[^ ]* ([^;]*);\\}"));
    QStringList names;
    for (const auto& match :
         fontEntry.globalMatch(QString::fromLatin1(rtf.left(rtf.indexOf("{\\colortbl")))))
        names << match.captured(1);
    ASSERT_GT(names.size(), 1);
    EXPECT_EQ(names.removeDuplicates(), 0) << "a font twice: " << names.join(", ").toStdString();
}

} // namespace

TEST(RichText, ReaderFollowsTheRtfGrammarRefusesWhatIsNotRtfAndSurvivesDamage) {
    const QJsonObject cases = QJsonDocument::fromJson(fixture("rtf/grammar.json")).object();
    ASSERT_FALSE(cases.isEmpty());
    for (auto sample = cases.begin(); sample != cases.end(); ++sample)
        EXPECT_EQ(read(wrap(sample.key().toUtf8())).plainText(), sample.value().toString())
            << sample.key().toStdString();

    const RichText link = read(wrap("{\\field{\\*\\fldinst{HYPERLINK \"https://e.org/x\" \\\\o "
                                    "\"tip\"}}{\\fldrslt{\\ul link}}} after"));
    EXPECT_EQ(link.plainText(), "link after");
    EXPECT_EQ(link.charStyleAt(0).link, "https://e.org/x");
    EXPECT_EQ(link.charStyleAt(0).underline, RichText::Underline::Single);
    EXPECT_EQ(link.charStyleAt(5).link, QString());

    const RichText formatted = read(fixture(QStringLiteral("rtf/formatted.rtf")));
    EXPECT_EQ(formatted.plainText(), "abcd\ne\nf");
    const QStringList looks = QString::fromUtf8(fixture(QStringLiteral("rtf/formatted.looks")))
                                  .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(looks.size(), formatted.plainText().size());
    for (qsizetype i = 0; i < looks.size(); ++i)
        EXPECT_EQ(look(formatted, i), looks[i].toStdString()) << "character " << i;

    const QJsonObject damaged = QJsonDocument::fromJson(fixture("rtf/damaged.json")).object();
    ASSERT_FALSE(damaged.isEmpty());
    for (auto sample = damaged.begin(); sample != damaged.end(); ++sample) {
        const std::optional<RichText> text = RichText::fromRTF(sample.key().toUtf8());
        EXPECT_EQ(text ? text->plainText().toStdString() : "refused",
                  sample.value().toString(QStringLiteral("refused")).toStdString())
            << sample.key().toStdString();
    }
    EXPECT_FALSE(RichText::fromRTF("{\\rtf1 " + QByteArray(5000, '{') + "deep}"));
    EXPECT_EQ(read("{\\rtf1 " + QByteArray(900, '{') + "deep}").plainText(), "deep");
    EXPECT_EQ(read("{\\rtf1 a{\\*\\x " + QByteArray(100000, '{') + "}b}").plainText(), "a");
    EXPECT_EQ(read("{\\rtf1 \\" + QByteArray(100, 'x') +
                   "99999999999999999 y\\fs-5 "
                   "\\uc999999999 \\u70000 abc\\f-1 z}")
                  .plainText(),
              "y" + QString(QChar(70000 & 0xFFFF)));

    RichText withFiles =
        read(flatFolder({{"TXT.rtf",
                          fileValue("{\\rtf1 a{{\\NeXTGraphic p.png \\width1 \\height1}\xAC}b}")},
                         {"p.png", fileValue(png(Qt::red), true)}}),
             true);
    EXPECT_EQ(withFiles.attachments().size(), 1);
    const QByteArray rtfd = withFiles.RTFD();
    EXPECT_TRUE(RichText::fromRTFD(rtfd));
    for (qsizetype n = 0; n < rtfd.size(); ++n)
        EXPECT_FALSE(RichText::fromRTFD(rtfd.left(n))) << n;
    EXPECT_FALSE(RichText::fromRTFD(flatFolder({{"other.rtf", fileValue("{\\rtf1 x}")}})));
    EXPECT_FALSE(RichText::fromRTFD(flatFolder({{"TXT.rtf", fileValue("not rtf")}})));
    EXPECT_FALSE(RichText::fromRTFD("{\\rtf1 an RTF document is not a folder}"));
}

TEST(RichText, PlainTextAndEveryCodePageAreWrittenAndReadBackByEveryReader) {
    const QString visible = QString::fromUtf8(fixture(QStringLiteral("rtf/plain.txt")));
    ASSERT_TRUE(visible.contains(QChar(0x2029)));
    QString expected = visible;
    expected.replace("\r\n", "\n").replace('\r', '\n').replace(QChar(0x2029), '\n');
    const QByteArray rtf = RichText::fromPlainText(visible).RTF();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl")) << rtf.data();
    EXPECT_TRUE(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
    EXPECT_EQ(read(rtf).plainText(), expected);
    const QString controls = QStringLiteral("ctl") + QChar(1) + QChar(0x1F) + QChar(0x7F) +
                             QChar(0) + QStringLiteral("end");
    for (const QString& text : {controls, QString()})
        EXPECT_EQ(read(RichText::fromPlainText(text).RTF()).plainText(), text);

    // Each sample in its code page, named by the document and by the font's charset.
    const QJsonObject samples = QJsonDocument::fromJson(fixture("rtf/code-pages.json")).object();
    ASSERT_EQ(samples.size(), 6);
    RichText joined;
    QString joinedText;
    for (const QJsonValue& value : samples) {
        const QJsonObject sample = value.toObject();
        const QString text = sample["text"].toString(), fontName = sample["font"].toString();
        SCOPED_TRACE(text.toStdString());
        const RichText a = read(sample["byDocument"].toString().toLatin1());
        const RichText b = read(sample["byFont"].toString().toLatin1());
        EXPECT_EQ(a.plainText(), text + "\n");
        EXPECT_EQ(a.charStyleAt(0).family, fontName);
        EXPECT_EQ(b.plainText(), text + "é\n");
        EXPECT_EQ(b.charStyleAt(0).family, fontName);
        joined.append(a);
        joinedText += a.plainText();
    }

    const QByteArray joinedRtf = joined.RTF();
    EXPECT_EQ(read(joinedRtf).plainText(), joinedText);
    expectFontsOnce(joinedRtf);
    REQUIRE_TOOL("soffice");
    EXPECT_EQ(throughLibreOffice(rtf).plainText().replace(QChar(0x2028), '\n').trimmed(),
              expected.replace(QChar(0x2028), '\n').trimmed());
    EXPECT_EQ(throughLibreOffice(joinedRtf).plainText(), joinedText);
}

TEST(RichText, JoinedPartsFollowEachOtherAndKeepTheirLookWithMergedTables) {
    // The parts number the same fonts and colours differently, and all text attributes occur.
    const RichText first = read(fixture(QStringLiteral("rtf/every-look.rtf")));
    const RichText second = read(fixture(QStringLiteral("rtf/other-numbering.rtf")));
    const RichText plain = RichText::fromPlainText(
        QStringLiteral("plain part\nΕλληνικά Русский 中文 한국어 日本語\t« »\n"));
    const RichText fourth =
        read(flatFolder({{"TXT.rtf", fileValue(fixture("rtf/rtfd-part.rtf"))}}), true);
    const QList<RichText> parts = {first, second, plain, fourth, first};

    RichText joined;
    QList<qsizetype> offsets;
    for (const RichText& part : parts) {
        offsets << joined.plainText().size();
        joined.append(part);
    }
    for (qsizetype i = 0; i < parts.size(); ++i)
        expectSameLook(joined, offsets[i], parts[i]);

    const QByteArray rtf = joined.RTF();
    expectSameLook(read(rtf), 0, joined);
    expectFontsOnce(rtf);

    RichText adjoining = read(wrap("\\pard\\qc open"));
    adjoining.append(read(wrap("\\pard\\qr {\\b more}\\par\\pard\\qj next")));
    adjoining.append(RichText::fromPlainText("plain"));
    adjoining.append(adjoining);
    EXPECT_EQ(adjoining.plainText(), "openmore\nnextplainopenmore\nnextplain");
    // The unfinished paragraph of a part goes on with the next part's first paragraph and keeps
    // the look it started with.
    EXPECT_EQ(adjoining.paragraphStyleAt(5).alignment, RichText::Alignment::Center);
    EXPECT_EQ(adjoining.paragraphStyleAt(9).alignment, RichText::Alignment::Justified);
    EXPECT_EQ(adjoining.paragraphStyleAt(20).alignment, RichText::Alignment::Justified);
    EXPECT_TRUE(adjoining.charStyleAt(4).bold);
    EXPECT_EQ(read(adjoining.RTF()).plainText(), adjoining.plainText());

    REQUIRE_TOOL("soffice");
    // LibreOffice reads every look as ours does: what it writes back reads the same, apart from
    // the paragraph marks and the picture, which it gives its default font.
    const RichText seen = throughLibreOffice(rtf);
    ASSERT_EQ(seen.plainText(), joined.plainText());
    ASSERT_EQ(seen.attachments().size(), 1);
    EXPECT_EQ(QImage::fromData(seen.attachments().first().contents).size(), QSize(40, 20));
    for (qsizetype i = 0; i < joined.plainText().size(); ++i)
        if (joined.plainText().at(i) != u'\n' && joined.plainText().at(i) != QChar(0xFFFC)) {
            ASSERT_EQ(look(seen, i), look(joined, i)) << "character " << i;
        }
}

TEST(RichText, RtfdAttachmentsSurviveJoiningUnderUniqueNames) {
    const QByteArray red = png(Qt::red), blue = png(Qt::blue), green = png(Qt::green);
    const QByteArray notes = "plain notes\n";
    const QByteArray inner = flatFolder({{"TXT.rtf", fileValue("{\\rtf1 inner}")}}, false);
    // The TXT.rtf files as the attaching writer makes them.
    const QByteArray firstRtfd = flatFolder({
        {"TXT.rtf", fileValue(fixture(QStringLiteral("rtf/rtfd-first.rtf")))},
        {"Pasted Graphic.png", fileValue(red)},
        {"notes.txt", fileValue(notes)},
        {".", fileValue(QByteArray(32, '\x01'))},
        {"__@UTF8PreferredName@__", u32(4) + u32(10) + "First.rtfd"},
        {"unreferenced.bin", fileValue("loose")},
        {"Old.rtfd", inner},
    });
    // No container header, the page-aligned form, and the older ways of writing the reference.
    const RichText second = read(flatFolder({{"TXT.rtf", fileValue(fixture("rtf/rtfd-second.rtf"))},
                                             {"Pasted Graphic.png", fileValue(blue, true)},
                                             {"diagram.png", fileValue(green)}},
                                            false),
                                 true);
    const RichText picture = read("{\\rtf1\\ansi pic {\\pict\\pngblip\\picw4\\pich2\\picwgoal60"
                                  "\\pichgoal30 " +
                                  red.toHex() + "} after}");

    const RichText first = read(firstRtfd, true);
    const QString o(QChar(0xFFFC));
    EXPECT_EQ(first.plainText(), "First " + o + " again " + o + " notes " + o + "\n");
    EXPECT_EQ(second.plainText(), "Second " + o + " and " + o + " end\n");
    EXPECT_EQ(picture.plainText(), "pic " + o + " after");

    RichText joined = first;
    joined.append(RichText::fromPlainText("plain part\n"));
    joined.append(second);
    joined.append(picture);
    joined.append(second);

    const QStringList names =
        QStringLiteral("Pasted Graphic.png|Pasted Graphic.png|notes.txt|Pasted Graphic 2.png|"
                       "diagram.png|image.png|Pasted Graphic 3.png|diagram 2.png|"
                       "unreferenced.bin|Old.rtfd")
            .split(u'|');
    const QList<QByteArray> contents = {red, red,  notes, blue,    green,
                                        red, blue, green, "loose", inner};
    auto check = [&](const RichText& doc) {
        const QList<RichText::Attachment> attachments = doc.attachments();
        ASSERT_EQ(attachments.size(), names.size());
        for (qsizetype i = 0; i < names.size(); ++i) {
            const RichText::Attachment& a = attachments[i];
            EXPECT_EQ(a.name.toStdString(), names[i].toStdString());
            EXPECT_EQ(a.contents, contents[i]) << a.name.toStdString();
            EXPECT_TRUE(a.position < 0 || doc.plainText().at(a.position) == QChar(0xFFFC)) << i;
        }
        EXPECT_EQ(doc.plainText().count(o), 8);
    };
    check(joined);

    // The written folder is laid out as the format notes say, each file once in the plain form,
    // and TXT.rtf refers to every picture by its name.
    const QByteArray rtfd = joined.RTFD();
    const RichText back = read(rtfd, true);
    check(back);
    expectSameLook(back, 0, joined);
    QList<FlatEntry> files = {{"TXT.rtf", {}}};
    qsizetype otherValues = 0;
    for (qsizetype i = 1; i < names.size(); ++i) {
        files.append({names[i].toUtf8(), names[i] == u"Old.rtfd" ? inner : fileValue(contents[i])});
        otherValues += files.last().second.size();
    }
    const qsizetype textAt = flatFolder(files).size() - otherValues + 8;
    const QByteArray text = rtfd.mid(textAt, rtfd.size() - flatFolder(files).size() - 8);
    files.first().second = fileValue(text);
    EXPECT_EQ(rtfd, flatFolder(files));
    static const QRegularExpression reference("\\\\NeXTGraphic ([^\\\\]+) \\\\width");
    QStringList referenced;
    for (const auto& match : reference.globalMatch(QString::fromLatin1(text)))
        referenced << match.captured(1);
    EXPECT_EQ(referenced, QStringList(names).mid(0, 8));

    const QByteArray rtf = joined.RTF();
    EXPECT_EQ(rtf.count("\\pngblip"), 7);
    EXPECT_EQ(read(rtf).attachments().size(), 7);
}
