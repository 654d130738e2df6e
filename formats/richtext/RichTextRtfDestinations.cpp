// What the RTF reader builds as it reads: the text with its runs of character formats and its
// paragraphs, the formats interned, the font and colour table entries, pictures and attachments
// as their groups end, and at the end the document with only the fonts and colours its text uses.

#include "formats/richtext/RichTextRtfReader.h"

#include <utility>

namespace richtext {

void RtfReader::noteTextAdded() {
    _openParagraph = paragraphIndex();
}

int RtfReader::formatIndex() {
    State& st = state();
    if (st.formatIndex >= 0)
        return st.formatIndex;
    // Documents switch between a handful of formats; a small cache in front of the table
    // answers most lookups with one comparison.
    const size_t hash = qHash(st.format);
    int& cached = _formatCache[hash % FormatCacheSize];
    if (cached >= 0 && _doc.charFormats[size_t(cached)] == st.format) {
        st.formatIndex = cached;
        return cached;
    }
    const auto it = _formatIndexes.constFind(st.format);
    if (it != _formatIndexes.constEnd()) {
        st.formatIndex = it.value();
    } else {
        st.formatIndex = int(_doc.charFormats.size());
        _doc.charFormats.push_back(st.format);
        _formatIndexes.insert(st.format, st.formatIndex);
    }
    cached = st.formatIndex;
    return st.formatIndex;
}

int RtfReader::paragraphIndex() {
    State& st = state();
    if (st.paragraphIndex < 0) {
        const auto it = _paragraphIndexes.constFind(st.paragraph);
        if (it != _paragraphIndexes.constEnd()) {
            st.paragraphIndex = it.value();
        } else {
            st.paragraphIndex = int(_doc.paraFormats.size());
            _doc.paraFormats.push_back(st.paragraph);
            _paragraphIndexes.insert(st.paragraph, st.paragraphIndex);
        }
    }
    return st.paragraphIndex;
}

void RtfReader::appendText(const QString& text) {
    if (state().hidden || text.isEmpty())
        return;
    const int format = formatIndex();
    _doc.text += text;
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
}

void RtfReader::appendLatin1(const char* bytes, qsizetype size) {
    _placeholderDepth = -1;
    if (state().hidden)
        return;
    const int format = formatIndex();
    _doc.text.append(QLatin1StringView(bytes, size));
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
}

bool RtfReader::appendCharacter(char16_t ch) {
    if (state().hidden && ch != '\n')
        return false;
    const int format = formatIndex();
    _doc.text += QChar(ch);
    if (_doc.runs.empty() || _doc.runs.back().format != format)
        _doc.runs.push_back({int(_doc.text.size()), format});
    else
        _doc.runs.back().end = int(_doc.text.size());
    noteTextAdded();
    return true;
}

void RtfReader::endParagraph() {
    appendCharacter('\n');
    _doc.paragraphs.push_back({int(_doc.text.size()), paragraphIndex()});
    _openParagraph = -1;
}

void RtfReader::endRow() {
    // The row's last cell ends the paragraph rather than leaving a tab behind.
    if (_lastCellEnd == _doc.text.size() && _lastCellEnd > 0) {
        _doc.text.chop(1);
        Span& last = _doc.runs.back();
        last.end -= 1;
        const int previousEnd = _doc.runs.size() > 1 ? _doc.runs.rbegin()[1].end : 0;
        if (last.end == previousEnd)
            _doc.runs.pop_back();
    }
    endParagraph();
}

void RtfReader::endDestination(const State& closed) {
    const Dest parent = state().dest;
    switch (closed.dest) {
    case Dest::FontTable:
        commitFont();
        break;
    case Dest::ColorTable:
        if (parent != Dest::ColorTable && _colorSet)
            commitColor();
        break;
    case Dest::Picture:
        if (parent != Dest::Picture)
            finishPicture();
        break;
    case Dest::AttachmentName:
        if (parent != Dest::AttachmentName)
            finishAttachment();
        break;
    default:
        break;
    }
}

void RtfReader::commitFont() {
    if (!_fontEntryOpen)
        return;
    flush();
    _fontEntryOpen = false;
    // Control characters and semicolons cannot stand in a font table, so no writer can have
    // meant them.
    QString name;
    for (const QChar ch : std::as_const(_fontName)) {
        if (ch.unicode() >= 0x20 && ch.unicode() != 0x7F && ch != u';')
            name += ch;
    }
    name = name.trimmed();
    _fontName.clear();
    _fontEntry.font.name = name;
    if (_fontEntry.font.charset < 0)
        _fontEntry.font.charset = 0;
    // The first entry of a number counts, as later ones usually repeat it in another script.
    _fonts.try_emplace(_fontNumberOfEntry, _fontEntry);
    ++_fontsVersion;
}

void RtfReader::commitColor() {
    if (_colors.size() < 100'000) {
        if (_colorSet)
            _colors.push_back(0xFF000000u | _color);
        else
            _colors.push_back(std::nullopt);
    }
    _colorSet = false;
    _color = 0;
}

void RtfReader::finishPicture() {
    const PictureData picture = std::exchange(_picture, PictureData());
    if (picture.blip == 0 || picture.data.isEmpty())
        return;
    const bool png = picture.blip == PngBlip && picture.data.startsWith("\x89PNG");
    const bool jpeg = picture.blip == JpegBlip && picture.data.startsWith("\xFF\xD8");
    if (!png && !jpeg)
        return;
    const QString name =
        _namer.take(png ? QStringLiteral("image.png") : QStringLiteral("image.jpg"));
    addAttachment(name, picture.data, int(qint64(picture.goalWidth) * picture.scaleX / 100),
                  int(qint64(picture.goalHeight) * picture.scaleY / 100), false);
}

void RtfReader::finishAttachment() {
    flush();
    _placeholderDepth = depth();
    const QString wanted = _attachmentName.trimmed();
    if (!_folder || wanted.isEmpty())
        return;
    if (_folderIndexes.isEmpty()) {
        for (size_t i = 0; i < _folder->size(); ++i)
            _folderIndexes.insert((*_folder)[i].name, int(i));
    }
    const auto found = _folderIndexes.constFind(wanted);
    if (found == _folderIndexes.constEnd())
        return;
    const FolderEntry* entry = &(*_folder)[size_t(found.value())];
    QString name = _attachmentNames.value(entry->name);
    if (name.isEmpty()) {
        name = _namer.take(entry->name);
        _attachmentNames.insert(entry->name, name);
    }
    _referenced.insert(entry->name);
    addAttachment(name, entry->contents, _attachmentSize[0], _attachmentSize[1], entry->folder);
}

void RtfReader::addAttachment(const QString& name, const QByteArray& contents, int width,
                              int height, bool folder) {
    if (state().dest != Dest::Text || !appendCharacter(AttachmentCharacter))
        return;
    _doc.attachments.push_back({int(_doc.text.size() - 1), name, contents, width, height, folder});
}

void RtfReader::finish() {
    if (_openParagraph >= 0)
        _doc.paragraphs.push_back({int(_doc.text.size()), _openParagraph});

    // Only the fonts and colours that some text uses join the document's tables.
    std::unordered_map<int, int> fontIndexes;
    auto fontIndex = [&](int number) {
        auto it = _fonts.find(number);
        if (it == _fonts.end()) {
            number = _defaultFont;
            it = _fonts.find(number);
            if (it == _fonts.end())
                return -1;
        }
        const auto known = fontIndexes.find(number);
        if (known != fontIndexes.end())
            return known->second;
        const int index = int(_doc.fonts.size());
        _doc.fonts.push_back(it->second.font);
        fontIndexes.emplace(number, index);
        return index;
    };
    QHash<quint32, int> colorIndexes;
    auto colorIndex = [&](int number) {
        if (number <= 0 || size_t(number) >= _colors.size() || !_colors[size_t(number)])
            return -1;
        const quint32 rgb = *_colors[size_t(number)];
        const auto known = colorIndexes.constFind(rgb);
        if (known != colorIndexes.constEnd())
            return known.value();
        const int index = int(_doc.colors.size());
        _doc.colors.push_back(rgb);
        colorIndexes.insert(rgb, index);
        return index;
    };
    for (CharFormat& format : _doc.charFormats) {
        format.font = fontIndex(format.font >= 0 ? format.font : _defaultFont);
        format.foreground = colorIndex(format.foreground);
        format.background = colorIndex(format.background);
    }

    // Formats that differed only in the document's own numbering are now equal.
    std::vector<Span>& runs = _doc.runs;
    size_t kept = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (kept > 0 && _doc.charFormats[size_t(runs[kept - 1].format)] ==
                            _doc.charFormats[size_t(runs[i].format)])
            runs[kept - 1].end = runs[i].end;
        else
            runs[kept++] = runs[i];
    }
    runs.resize(kept);

    // A lone surrogate cannot be written back out; it becomes U+FFFD in place, so no offset moves.
    char16_t* text = reinterpret_cast<char16_t*>(_doc.text.data());
    const qsizetype length = _doc.text.size();
    for (qsizetype i = 0; i < length; ++i) {
        if ((text[i] & 0xF800) != 0xD800)
            continue;
        if (text[i] < 0xDC00 && i + 1 < length && (text[i + 1] & 0xFC00) == 0xDC00)
            ++i;
        else
            text[i] = 0xFFFD;
    }
    if (_doc.text.capacity() > length + length / 4 + 64)
        _doc.text.squeeze();

    if (_folder) {
        for (const FolderEntry& entry : *_folder) {
            if (_referenced.contains(entry.name) ||
                entry.name.compare(u"TXT.rtf", Qt::CaseInsensitive) == 0 || entry.name == u"." ||
                entry.name.startsWith(u"__@"))
                continue;
            _doc.looseFiles.push_back({_namer.take(entry.name), entry.contents, entry.folder});
        }
    }
}

} // namespace richtext
