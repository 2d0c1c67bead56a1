#pragma once
// A text assembled piece by piece without a string per piece: the compiled display formats append
// a cell's text here, and the caller reads it as a view before clearing the buffer for the next
// cell. The first characters live inside the object, so a short text never touches the heap, and
// a cleared buffer keeps its room.
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

class TOrvel_TextBuffer {
public:
    void Clear() { FData.clear(); }
    qsizetype Size() const { return FData.size(); }
    bool IsEmpty() const { return FData.isEmpty(); }

    void Append(char16_t c) { FData.append(c); }
    void Append(QChar c) { FData.append(c.unicode()); }
    void Append(QStringView text) {
        FData.append(reinterpret_cast<const char16_t *>(text.utf16()), text.size());
    }
    // ASCII bytes (digits, signs) as characters.
    void AppendAscii(const char *text, qsizetype size) {
        const qsizetype at = FData.size();
        FData.resize(at + size);
        char16_t *to = FData.data() + at;
        for (qsizetype i = 0; i < size; ++i)
            to[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    void AppendRepeated(char16_t c, qsizetype count) {
        for (qsizetype i = 0; i < count; ++i)
            FData.append(c);
    }
    // Drops what was appended after `size` characters.
    void Truncate(qsizetype size) { FData.resize(size); }
    // The characters from `from` on, with the blanks at both ends removed.
    void TrimFrom(qsizetype from);

    QStringView View() const { return QStringView(FData.constData(), FData.size()); }
    QString ToString() const { return View().toString(); }

private:
    QVarLengthArray<char16_t, 128> FData;
};

inline void TOrvel_TextBuffer::TrimFrom(qsizetype from) {
    const QStringView all = View().mid(from);
    const QStringView trimmed = all.trimmed();
    if (trimmed.size() == all.size())
        return;
    const qsizetype lead = trimmed.isEmpty() ? 0 : trimmed.utf16() - all.utf16();
    for (qsizetype i = 0; i < trimmed.size(); ++i)
        FData[from + i] = FData[from + lead + i];
    FData.resize(from + trimmed.size());
}
