#include "RichTextTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <QtEndian>
#include <gtest/gtest.h>

namespace RichTextTools {

namespace {

constexpr int ToolTimeoutMs = 120'000;

QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

std::optional<QString> writeTemporary(const QTemporaryDir& dir, const QString& name,
                                      const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return std::nullopt;
    return path;
}

} // namespace

bool installed(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

std::optional<QByteArray> run(const QString& program, const QStringList& args,
                              const QByteArray& input) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted()) {
        ADD_FAILURE() << program.toStdString() << " did not start";
        return std::nullopt;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

std::optional<QList<QByteArray>> libreOfficeConvert(const QStringList& files, const QString& filter,
                                                    const QString& extension,
                                                    const QStringList& extraArgs) {
    QTemporaryDir work;
    if (!work.isValid())
        return std::nullopt;
    const QString outDir = work.filePath("out");
    QStringList args = {"-env:UserInstallation=file://" + work.filePath("profile"), "--headless",
                        "--norestore", "--nolockcheck"};
    args << extraArgs << "--convert-to" << filter << "--outdir" << outDir << files;
    if (!run("soffice", args))
        return std::nullopt;
    QList<QByteArray> results;
    for (const QString& file : files) {
        QFile result(QDir(outDir).filePath(QFileInfo(file).completeBaseName() + "." + extension));
        if (!result.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "LibreOffice wrote no " << result.fileName().toStdString();
            return std::nullopt;
        }
        results.append(result.readAll());
    }
    return results;
}

std::optional<QString> libreOfficeText(const QByteArray& rtf) {
    QTemporaryDir dir;
    const std::optional<QString> path = writeTemporary(dir, "document.rtf", rtf);
    if (!path)
        return std::nullopt;
    const auto text = libreOfficeConvert({*path}, "txt:Text (encoded):UTF8", "txt");
    if (!text)
        return std::nullopt;
    QString result = QString::fromUtf8(text->first());
    if (result.startsWith(QChar(0xFEFF)))
        result.remove(0, 1);
    return result;
}

std::optional<QByteArray> libreOfficeFlatOdf(const QByteArray& rtf) {
    QTemporaryDir dir;
    const std::optional<QString> path = writeTemporary(dir, "document.rtf", rtf);
    if (!path)
        return std::nullopt;
    const auto odf = libreOfficeConvert({*path}, "fodt", "fodt");
    if (!odf)
        return std::nullopt;
    return odf->first();
}

std::optional<LibreOfficeLook> libreOfficeLook(const QByteArray& flatOdf, const QString& phrase) {
    QHash<QString, QString> styles;
    QString styleName;
    QStringList paragraphs, spans, links;
    QXmlStreamReader xml(flatOdf);
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.qualifiedName();
        if (xml.isStartElement()) {
            const QXmlStreamAttributes attributes = xml.attributes();
            if (name == u"style:style") {
                styleName = attributes.value("style:name").toString();
            } else if (name == u"style:paragraph-properties" || name == u"style:text-properties") {
                for (const QXmlStreamAttribute& a : attributes)
                    styles[styleName] +=
                        a.qualifiedName().toString() + "=\"" + a.value().toString() + "\" ";
            } else if (name == u"text:p" || name == u"text:h") {
                paragraphs.append(attributes.value("text:style-name").toString());
            } else if (name == u"text:span") {
                spans.append(attributes.value("text:style-name").toString());
            } else if (name == u"text:a") {
                links.append(attributes.value("xlink:href").toString());
            }
        } else if (xml.isEndElement()) {
            if (name == u"text:p" || name == u"text:h")
                paragraphs.removeLast();
            else if (name == u"text:span")
                spans.removeLast();
            else if (name == u"text:a")
                links.removeLast();
        } else if (xml.isCharacters() && !paragraphs.isEmpty() && xml.text().contains(phrase)) {
            return LibreOfficeLook{styles.value(paragraphs.last()),
                                   spans.isEmpty() ? QString() : styles.value(spans.last()),
                                   links.isEmpty() ? QString() : links.last()};
        }
    }
    return std::nullopt;
}

std::optional<QString> unrtfText(const QByteArray& rtf) {
    QTemporaryDir dir;
    const std::optional<QString> path = writeTemporary(dir, "document.rtf", rtf);
    if (!path)
        return std::nullopt;
    const std::optional<QByteArray> out = run("unrtf", {"--text", *path});
    if (!out)
        return std::nullopt;
    const QString text = QString::fromUtf8(*out);
    const qsizetype body = text.indexOf("-----------------\n");
    return body < 0 ? text : text.mid(body + 18);
}

std::optional<QString> unrtfHtmlText(const QByteArray& rtf) {
    QTemporaryDir dir;
    const std::optional<QString> path = writeTemporary(dir, "document.rtf", rtf);
    if (!path)
        return std::nullopt;
    const std::optional<QByteArray> out = run("unrtf", {"--html", *path});
    if (!out)
        return std::nullopt;
    QTextDocument document;
    document.setHtml(QString::fromUtf8(*out));
    return document.toPlainText();
}

std::optional<QByteArray> iconvEncode(const QString& text, const QString& codePage) {
    return run("iconv", {"-f", "UTF-8", "-t", codePage}, text.toUtf8());
}

QStringList words(const QString& text) {
    QString cleaned = text;
    cleaned.remove(QChar(0xFFFC));
    static const QRegularExpression space(QStringLiteral("[\\s\\x{2028}\\x{2029}]+"));
    return cleaned.split(space, Qt::SkipEmptyParts);
}

QByteArray fileValue(const QByteArray& contents, bool pageAligned) {
    QByteArray value = u32(1);
    if (pageAligned) {
        const int padding = 4096 - 20;
        value += u32(0x80000000u) + u32(quint32(contents.size())) + u32(padding) +
                 QByteArray(padding, '\0');
    } else {
        value += u32(quint32(contents.size()));
    }
    return value + contents;
}

QByteArray stringValue(const QByteArray& text) {
    return u32(4) + u32(quint32(text.size())) + text;
}

QByteArray flatFolder(const QList<FlatEntry>& entries, bool withHeader) {
    QByteArray out;
    if (withHeader)
        out += QByteArray("rtfd", 4) + u32(0);
    out += u32(3) + u32(quint32(entries.size()));
    for (const FlatEntry& entry : entries)
        out += u32(quint32(entry.name.size())) + entry.name;
    for (const FlatEntry& entry : entries)
        out += u32(quint32(entry.value.size()));
    for (const FlatEntry& entry : entries)
        out += entry.value;
    return out;
}

std::optional<QList<std::pair<QString, QByteArray>>> flatFiles(const QByteArray& bytes) {
    qsizetype at = 0;
    auto next = [&](quint32& value) {
        if (at + 4 > bytes.size())
            return false;
        value = qFromLittleEndian<quint32>(bytes.constData() + at);
        at += 4;
        return true;
    };
    auto take = [&](quint32 length, QByteArray& into) {
        if (at + qsizetype(length) > bytes.size())
            return false;
        into = bytes.mid(at, length);
        at += length;
        return true;
    };
    quint32 version = 0, tag = 0, count = 0;
    if (!bytes.startsWith(QByteArray("rtfd", 4)))
        return std::nullopt;
    at = 4;
    if (!next(version) || version != 0 || !next(tag) || tag != 3 || !next(count))
        return std::nullopt;
    QList<std::pair<QString, QByteArray>> files;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        QByteArray name;
        if (!next(length) || !take(length, name))
            return std::nullopt;
        files.append({QString::fromUtf8(name), {}});
    }
    QList<quint32> sizes;
    for (quint32 i = 0; i < count; ++i) {
        quint32 size = 0;
        if (!next(size))
            return std::nullopt;
        sizes.append(size);
    }
    for (quint32 i = 0; i < count; ++i) {
        quint32 valueTag = 0, length = 0;
        if (!next(valueTag))
            return std::nullopt;
        if (valueTag == 3) { // a folder inside: kept whole, tag included
            at -= 4;
            if (!take(sizes[i], files[i].second))
                return std::nullopt;
            continue;
        }
        if (valueTag != 1 || !next(length) || sizes[i] != 8 + length ||
            !take(length, files[i].second))
            return std::nullopt;
    }
    if (at != bytes.size())
        return std::nullopt;
    return files;
}

} // namespace RichTextTools
