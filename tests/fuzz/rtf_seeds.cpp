// Writes the seed corpora of the two rich-text fuzzers into the folders named on the command line:
// small RTF documents that between them use every part of the grammar the reader knows, and
// flattened RTFD folders in each form a writer may choose, plus what our own writer makes of them.
#include "platform/richtext/RichText.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QtEndian>
#include <cstdio>
#include <utility>

namespace {

// A 1x1 PNG, so pictures have real leading bytes.
const QByteArray Png = QByteArray::fromHex(
    "89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c4890000000d49444154789c6300"
    "010000050001"
    "0d0a2db40000000049454e44ae426082");

QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray file(const QByteArray& contents, bool pageAligned = false) {
    if (pageAligned)
        return u32(1) + u32(0x80000000u) + u32(quint32(contents.size())) + u32(16) +
               QByteArray(16, '\0') + contents;
    return u32(1) + u32(quint32(contents.size())) + contents;
}

QByteArray folder(const QList<std::pair<QByteArray, QByteArray>>& entries, bool header = true) {
    QByteArray out = header ? QByteArray("rtfd", 4) + u32(0) : QByteArray();
    out += u32(3) + u32(quint32(entries.size()));
    for (const auto& [name, value] : entries)
        out += u32(quint32(name.size())) + name;
    for (const auto& [name, value] : entries)
        out += u32(quint32(value.size()));
    for (const auto& [name, value] : entries)
        out += value;
    return out;
}

QList<std::pair<const char*, QByteArray>> rtfSeeds() {
    const QByteArray styled =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times;}{\\f1\\fmodern"
        "\\fprq1 Courier;}{\\f2\\fnil\\fcharset128 \\'82\\'6c\\'82\\'72;}}{\\colortbl;\\red255"
        "\\green0\\blue0;\\red0\\green0\\blue255;}{\\stylesheet{\\s0 Normal;}}{\\info{\\title t}}"
        "\\pard\\qc\\sb120\\sa240\\sl360\\slmult1\\li720\\ri360\\fi-360\\tx720\\tqr\\tx4000 "
        "{\\f1\\fs32\\b\\i\\ul\\strike\\cf1\\cb2 styled}{\\uldb\\striked1\\super up}{\\sub "
        "down}\\plain plain\\par\\pard\\qj\\rtlpar {\\f2 \\'93\\'fa\\'96\\'7b}\\line x\\tab "
        "y\\page z\\par}";
    const QByteArray unicode =
        "{\\rtf1\\ansi\\uc1 a\\u233\\'e9 {\\uc2\\u26085\\'93\\'fa}{\\uc0\\u8364 }"
        "\\u-10179?\\u-8704? \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote"
        "\\~\\-\\_\\\\\\{\\} end}";
    const QByteArray structure =
        "{\\rtf1{\\field{\\*\\fldinst{HYPERLINK \"https://e.org/\" \\\\l \"a\"}}{\\fldrslt{\\ul "
        "link}}}{\\listtext\\pard\\plain \\'95\\tab}item\\par\\trowd\\cellx1000\\intbl a\\cell "
        "b\\cell\\row{\\*\\unknown x}{\\v hidden}\\v0 {\\*\\blob\\bin3 {}}}{\\header h}"
        "{\\footnote f}{\\*\\shppict{\\pict\\pngblip\\picwgoal20\\pichgoal20 " +
        Png.toHex() +
        "}}{\\nonshppict{\\pict\\wmetafile8 0102}}{\\pict\\jpegblip\\bin4 "
        "\xFF\xD8\xFF\xD9}}";
    const QByteArray codePages =
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fnil\\fcharset204 A;}{\\f1\\fnil\\fcharset134 "
        "B;}{\\f2\\fnil\\fcharset129 C;}{\\f3\\fnil\\fcharset136 D;}{\\f4\\fnil\\cpg932 E;}}"
        "\\f0 \\'cf\\'f0\\'e8 \\f1 \\'d6\\'d0 \\f2 \\'c7\\'d1 \\f3 \\'a4\\'a4 \\f4 \\'83A\\'83\\'5c"
        "\\mac \\'8e \\pc \\'82}";
    const QByteArray attachment =
        "{\\rtf1 a{{\\NeXTGraphic p.png \\width20 \\height20 \\appleattachmentpadding0 "
        "\\appleembedtype0 \\appleaqc\n}\xAC}b}";

    const RichText rich = *RichText::fromRTF(styled);
    RichText joined = rich;
    joined.append(RichText::fromPlainText(QStringLiteral("plain\r\nline\ttab {\\}") +
                                          QChar(0x2028) + QChar(1) +
                                          QString::fromUcs4(U"\U0001F600")));
    joined.append(*RichText::fromRTF(structure));
    return {
        {"minimal", "{\\rtf1 hello}"},
        {"styled", styled},
        {"unicode", unicode},
        {"structure", structure},
        {"code-pages", codePages},
        {"attachment", attachment},
        {"unclosed", "{\\rtf1 {\\b open {\\i groups"},
        {"written", joined.RTF()},
    };
}

QList<std::pair<const char*, QByteArray>> rtfdSeeds() {
    const QByteArray text =
        "{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}\\f0 a{{\\NeXTGraphic p.png \\width20 "
        "\\height20 \\appleattachmentpadding0 \\appleembedtype0 \\appleaqc\n}\xAC} "
        "b{{\\NeXTGraphic "
        "q.png \\width0 \\height0 \\noorient}\\'ac} c{{\\NeXTGraphic p.png}\\uc0\\u8203 }\\par}";
    const QByteArray plain =
        folder({{"TXT.rtf", file(text)}, {"p.png", file(Png)}, {"q.png", file("not a picture")}});
    const QByteArray other =
        folder({{"q.png", file(Png, true)},
                {"TXT.rtf", file(text, true)},
                {".", file(QByteArray(32, '\1'))},
                {"__@UTF8PreferredName@__", u32(4) + u32(6) + "x.rtfd"},
                {"loose.txt", file("loose")},
                {"Inner.rtfd", folder({{"TXT.rtf", file("{\\rtf1 inner}")}}, false)},
                {"dropped", u32(0)},
                {"p.png", file(Png)}},
               false);
    RichText joined = *RichText::fromRTFD(plain);
    joined.append(*RichText::fromRTFD(other));
    return {
        {"plain-form", plain},
        {"bare-padded", other},
        {"written", joined.RTFD()},
    };
}

bool writeAll(const QString& dirName, const QList<std::pair<const char*, QByteArray>>& seeds) {
    QDir dir(dirName);
    for (const auto& [name, bytes] : seeds) {
        QFile out(dir.filePath(QString::fromLatin1(name)));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out.fileName()));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s RTF-FOLDER RTFD-FOLDER\n", argv[0]);
        return 2;
    }
    return writeAll(QString::fromLocal8Bit(argv[1]), rtfSeeds()) &&
                   writeAll(QString::fromLocal8Bit(argv[2]), rtfdSeeds())
               ? 0
               : 1;
}
