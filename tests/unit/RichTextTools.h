#pragma once

// The outside programs the rich-text tests check against (LibreOffice, unrtf, pandoc, iconv), and
// a flattened-RTFD builder and parser written from the format notes, independent of ours.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace RichTextTools {

bool installed(const QString& program);

// Standard output of a program that exited with 0; absent (with a test failure recorded) when it
// did not start, failed or took longer than two minutes.
std::optional<QByteArray> run(const QString& program, const QStringList& args,
                              const QByteArray& input = {}, const QString& folder = {});

// The document converted by a headless LibreOffice with a profile of its own, so tests running
// side by side do not share one. `filter` is what follows --convert-to ("rtf", "fodt", ...);
// `extension` names the result; `name` tells LibreOffice what the document is.
std::optional<QByteArray> libreOffice(const QByteArray& document, const QString& filter,
                                      const QString& extension, const QString& name = "d.rtf",
                                      const QStringList& extraArgs = {});
// What LibreOffice shows of a document, as text.
std::optional<QString> libreOfficeText(const QByteArray& document, const QString& name = "d.rtf");

// How LibreOffice formats a piece of text: the ODF attributes (name="value") of the automatic
// styles of the paragraph and of the span around it, and the link it is in.
struct LibreOfficeLook {
    QString paragraph;
    QString text;
    QString link;
};
// The look of the first run of text holding the phrase; absent when no run holds it.
std::optional<LibreOfficeLook> libreOfficeLook(const QByteArray& flatOdf, const QString& phrase);

// unrtf's text output (without its comment header; anything beyond ASCII is "?"), or its HTML
// output reduced to text, so that non-ASCII characters can be compared.
std::optional<QString> unrtf(const QByteArray& rtf, bool html = false);

// Words separated by white space, for comparing texts whose line breaking and spacing differ.
QStringList words(const QString& text);

// A flattened RTFD folder: each entry a name and its tagged value bytes.
struct FlatEntry {
    QByteArray name;
    QByteArray value;
};
QByteArray fileValue(const QByteArray& contents, bool pageAligned = false);
QByteArray stringValue(const QByteArray& text);
QByteArray flatFolder(const QList<FlatEntry>& entries, bool withHeader = true);
// The entries of a flattened folder whose files are in the plain form (folders inside are kept
// whole); absent when it is not one.
std::optional<QList<std::pair<QString, QByteArray>>> flatFiles(const QByteArray& bytes);

} // namespace RichTextTools
