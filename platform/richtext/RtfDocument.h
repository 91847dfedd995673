#pragma once
// The writing half of the rich-text reader: runs of text with their
// character and paragraph properties, turned into a QTextDocument.
#include "platform/richtext/RtfText.h"

#include <QColor>
#include <QHash>
#include <QTextCursor>

#include <vector>

class QTextDocument;

namespace platform::richtext {

struct CharProps
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    signed char vertical = 0; // -1 subscript, 1 superscript
    int size = 24; // half-points
    int font = -1;
    int fg = -1; // index into the colour table
    int bg = -1;
    bool operator==(const CharProps &) const = default;
};

struct ParaProps
{
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0; // twips, as the file gives them
    int right = 0;
    int indent = 0;
    int before = 0;
    int after = 0;
    int heading = 0;
};

struct Font
{
    QString name;
    int codePage = 0; // 0: the document's
    SymbolFont symbols = SymbolFont::None;
};

// The document-wide tables the parser fills while it reads.
struct RtfTables
{
    int codePage = 1252;
    int defaultFont = -1;
    QHash<int, Font> fonts;
    std::vector<QColor> colors;
};

class RtfDocumentWriter
{
public:
    RtfDocumentWriter(QTextDocument *doc, const RtfTables &tables);

    void bytes(QByteArrayView text, const CharProps &props);
    void unit(char16_t u, const CharProps &props);
    void paragraph(const ParaProps &props);
    void finish(const ParaProps &last);

    // After a document grew beyond what a screen can show, nothing more is added.
    bool full() const { return m_truncated; }
    bool blockHasText() const { return m_blockChars > 0; }
    // How many more bytes the current paragraph takes before it is broken.
    qsizetype roomInBlock() const;

private:
    void startRun(const CharProps &props);
    void decodeRunBytes();
    void flushRun();
    void added(qsizetype count);
    void truncate();
    QTextCharFormat charFormat(const CharProps &p) const;
    const Font *font(int index) const;

    const RtfTables &m_tables;
    QTextCursor m_cursor;
    ByteDecoder m_decoder;
    CharProps m_runProps;
    QByteArray m_runBytes;
    QString m_runText;
    qsizetype m_blockChars = 0;
    int m_blocks = 0;
    int m_runs = 0;
    bool m_truncated = false;
};

} // namespace platform::richtext
