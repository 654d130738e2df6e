#include "RichTextTools.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <QtEndian>
#include <gtest/gtest.h>
#include <stdexcept>

namespace RichTextTools {

namespace {

QByteArray u32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

bool installed(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

std::optional<QByteArray> run(const QString& program, const QStringList& args,
                              const QByteArray& input, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, args);
    if (!process.waitForStarted()) {
        ADD_FAILURE() << program.toStdString() << " did not start";
        return std::nullopt;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120'000)) {
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

std::optional<QByteArray> libreOffice(const QByteArray& document, const QString& filter,
                                      const QString& extension, const QString& name,
                                      const QStringList& extraArgs) {
    QTemporaryDir work;
    QFile input(work.filePath(name));
    if (!input.open(QIODevice::WriteOnly) || input.write(document) != document.size())
        return std::nullopt;
    input.close();
    const QStringList args =
        QStringList{"-env:UserInstallation=file://" + work.filePath("profile"), "--headless",
                    "--norestore", "--nolockcheck"} +
        extraArgs +
        QStringList{"--convert-to", filter, "--outdir", work.filePath("out"), input.fileName()};
    if (!run("soffice", args))
        return std::nullopt;
    QFile result(work.filePath("out/" + QFileInfo(name).completeBaseName() + "." + extension));
    if (!result.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "LibreOffice wrote no " << result.fileName().toStdString();
        return std::nullopt;
    }
    return result.readAll();
}

std::optional<QString> libreOfficeText(const QByteArray& document, const QString& name) {
    const auto text = libreOffice(document, "txt:Text (encoded):UTF8", "txt", name);
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(*text).remove(QChar(0xFEFF));
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

std::optional<QString> unrtf(const QByteArray& rtf, bool html) {
    const QTemporaryDir folder; // where unrtf writes the pictures it meets
    const auto out = run("unrtf", {html ? "--html" : "--text"}, rtf, folder.path());
    if (!out)
        return std::nullopt;
    const QString text = QString::fromUtf8(*out);
    if (html) {
        QTextDocument document;
        document.setHtml(text);
        return document.toPlainText();
    }
    const qsizetype body = text.indexOf("-----------------\n");
    return body < 0 ? text : text.mid(body + 18);
}

QStringList words(const QString& text) {
    static const QRegularExpression space(QStringLiteral("[\\s\\x{2028}\\x{2029}]+"));
    return QString(text).remove(QChar(0xFFFC)).split(space, Qt::SkipEmptyParts);
}

QByteArray fileValue(const QByteArray& contents, bool pageAligned) {
    const int padding = 4096 - 20;
    return u32(1) +
           (pageAligned ? u32(0x80000000u) + u32(quint32(contents.size())) + u32(padding) +
                              QByteArray(padding, '\0')
                        : u32(quint32(contents.size()))) +
           contents;
}

QByteArray stringValue(const QByteArray& text) {
    return u32(4) + u32(quint32(text.size())) + text;
}

QByteArray flatFolder(const QList<FlatEntry>& entries, bool withHeader) {
    QByteArray out = withHeader ? QByteArray("rtfd", 4) + u32(0) : QByteArray();
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
    auto take = [&](qsizetype length) {
        if (length > bytes.size() - at)
            throw std::out_of_range("past the end");
        at += length;
        return bytes.mid(at - length, length);
    };
    auto next = [&] { return qFromLittleEndian<quint32>(take(4).constData()); };
    try {
        if (take(4) != "rtfd" || next() != 0 || next() != 3)
            return std::nullopt;
        const quint32 count = next();
        QList<std::pair<QString, QByteArray>> files;
        for (quint32 i = 0; i < count; ++i)
            files.append({QString::fromUtf8(take(next())), {}});
        QList<quint32> sizes;
        for (quint32 i = 0; i < count; ++i)
            sizes.append(next());
        for (quint32 i = 0; i < count; ++i) {
            const quint32 tag = next();
            if (tag == 3) { // a folder inside: kept whole, tag included
                at -= 4;
                files[i].second = take(sizes[i]);
                continue;
            }
            const quint32 length = next();
            files[i].second = take(length);
            if (tag != 1 || sizes[i] != 8 + length)
                return std::nullopt;
        }
        return at == bytes.size() ? std::optional(files) : std::nullopt;
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }
}

} // namespace RichTextTools
