#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace richtext {
struct Document;
}

// A rich-text document: text with character and paragraph formatting and attached files. It is
// read from RTF or flattened RTFD, joined with others part after part, and written back as RTF or
// flattened RTFD. Every part keeps its own look in the joined document.
class RichText {
public:
    enum class Underline : quint8 { None, Single, Double, Thick, Dotted, Dashed, Wave, Words };
    enum class Strike : quint8 { None, Single, Double };
    enum class Script : quint8 { Normal, Super, Sub };
    enum class Alignment : quint8 { Left, Center, Right, Justified };

    // The look of one character, resolved against the document's tables.
    struct CharStyle {
        QString family;
        qreal pointSize = 12;
        bool bold = false;
        bool italic = false;
        Underline underline = Underline::None;
        Strike strike = Strike::None;
        Script script = Script::Normal;
        // Opaque 0xAARRGGBB, as QRgb has it.
        std::optional<quint32> foreground;
        std::optional<quint32> background;
        QString link;
    };

    // The look of one paragraph; lengths in twips (a twentieth of a point), as RTF has them.
    struct ParagraphStyle {
        Alignment alignment = Alignment::Left;
        bool rightToLeft = false;
        int spaceBefore = 0;
        int spaceAfter = 0;
        int lineSpacing = 0;
        bool lineSpacingMultiple = false;
        int leftIndent = 0;
        int rightIndent = 0;
        int firstLineIndent = 0;
    };

    struct Attachment {
        QString name;
        QByteArray contents;
        int position = -1; // in plainText(), where U+FFFC stands for it; -1 when not in the text
    };

    RichText();
    RichText(const RichText& other);
    RichText(RichText&& other) noexcept;
    RichText& operator=(const RichText& other);
    RichText& operator=(RichText&& other) noexcept;
    ~RichText();

    // Text without attributes: the default font and paragraph. CR LF, CR, LF and U+2029 end a
    // paragraph; U+2028 breaks a line.
    static RichText fromPlainText(const QString& text);
    // Absent when the bytes are not readable RTF (not starting with "{\rtf", too deeply nested, a
    // binary run past the end).
    static std::optional<RichText> fromRTF(const QByteArray& rtf);
    // Absent when the bytes are not a readable flattened RTFD holding a readable TXT.rtf.
    static std::optional<RichText> fromRTFD(const QByteArray& flatRtfd);

    // The other document follows this one with nothing between them. Its fonts, colours and links
    // join this document's tables, and its attachments are renamed where their names are taken.
    void append(const RichText& other);

    // The whole document as RTF. Attached PNG and JPEG pictures are embedded; other attachments
    // cannot travel in RTF and are left out.
    QByteArray RTF() const;
    // The whole document as flattened RTFD: TXT.rtf and every attachment.
    QByteArray RTFD() const;

    // Paragraphs end with U+000A, line breaks are U+2028, page breaks U+000C and attachments
    // U+FFFC.
    QString plainText() const;
    CharStyle charStyleAt(qsizetype position) const;
    ParagraphStyle paragraphStyleAt(qsizetype position) const;
    QList<Attachment> attachments() const;

    // The family of the font that unformatted text is shown in.
    static QString defaultFamily();

private:
    explicit RichText(std::unique_ptr<richtext::Document> document);

    std::unique_ptr<richtext::Document> _document;
};
