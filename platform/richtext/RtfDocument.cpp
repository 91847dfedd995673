#include "platform/richtext/RtfDocument.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace platform::richtext {

namespace {

// Each paragraph and each run costs the document a tree insertion, and a
// huge paragraph costs its layout: beyond these a file is no longer
// something to read on screen.
constexpr int kMaxBlocks = 100000;
constexpr int kMaxRuns = 200000;
constexpr qsizetype kMaxBlockChars = 65536;
constexpr int kMaxTwips = 31680; // 22 inches

qreal pixels(int twips)
{
    return std::clamp(twips, -kMaxTwips, kMaxTwips) / 15.0;
}

QTextBlockFormat blockFormat(const ParaProps &p)
{
    QTextBlockFormat f;
    f.setAlignment(p.align);
    f.setLeftMargin(std::max(0.0, pixels(p.left)));
    f.setRightMargin(std::max(0.0, pixels(p.right)));
    f.setTextIndent(pixels(p.indent));
    f.setTopMargin(std::max(0.0, pixels(p.before)));
    f.setBottomMargin(std::max(0.0, pixels(p.after)));
    if (p.heading > 0)
        f.setHeadingLevel(p.heading);
    return f;
}

} // namespace

RtfDocumentWriter::RtfDocumentWriter(QTextDocument *doc, const RtfTables &tables)
    : m_tables(tables)
    , m_cursor(doc)
{
}

qsizetype RtfDocumentWriter::roomInBlock() const
{
    return kMaxBlockChars - m_blockChars;
}

void RtfDocumentWriter::bytes(QByteArrayView text, const CharProps &props)
{
    if (m_truncated || props.hidden || text.isEmpty())
        return;
    startRun(props);
    m_runBytes.append(text);
    added(text.size());
}

void RtfDocumentWriter::unit(char16_t u, const CharProps &props)
{
    if (m_truncated || props.hidden)
        return;
    startRun(props);
    decodeRunBytes();
    m_runText.append(QChar(u));
    added(1);
}

void RtfDocumentWriter::paragraph(const ParaProps &props)
{
    flushRun();
    if (m_truncated)
        return;
    m_cursor.setBlockFormat(blockFormat(props));
    m_blockChars = 0;
    if (++m_blocks < kMaxBlocks)
        m_cursor.insertBlock();
    else
        truncate();
}

void RtfDocumentWriter::finish(const ParaProps &last)
{
    flushRun();
    if (m_truncated)
        return;
    // Writers end every paragraph with \par; the block after the last is empty.
    if (m_cursor.block().length() <= 1 && m_cursor.document()->blockCount() > 1)
        m_cursor.deletePreviousChar();
    else
        m_cursor.setBlockFormat(blockFormat(last));
}

void RtfDocumentWriter::added(qsizetype count)
{
    m_blockChars += count;
    if (m_blockChars >= kMaxBlockChars)
        paragraph(ParaProps());
}

void RtfDocumentWriter::truncate()
{
    m_cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    m_cursor.insertText(QStringLiteral("[The rest of this document is too long to show.]"));
    m_runBytes.clear();
    m_runText.clear();
    m_truncated = true;
}

void RtfDocumentWriter::startRun(const CharProps &props)
{
    if (props == m_runProps)
        return;
    flushRun();
    m_runProps = props;
}

void RtfDocumentWriter::decodeRunBytes()
{
    if (m_runBytes.isEmpty())
        return;
    int codePage = m_tables.codePage;
    SymbolFont symbols = SymbolFont::None;
    if (const Font *f = font(m_runProps.font)) {
        symbols = f->symbols;
        if (f->codePage != 0)
            codePage = f->codePage;
    }
    m_runText += m_decoder.decode(m_runBytes, codePage, symbols);
    m_runBytes.clear();
}

void RtfDocumentWriter::flushRun()
{
    decodeRunBytes();
    if (m_runText.isEmpty() || m_truncated)
        return;
    m_cursor.insertText(m_runText, charFormat(m_runProps));
    m_runText.clear();
    if (++m_runs >= kMaxRuns)
        truncate();
}

const Font *RtfDocumentWriter::font(int index) const
{
    const auto it = m_tables.fonts.constFind(index >= 0 ? index : m_tables.defaultFont);
    return it == m_tables.fonts.constEnd() ? nullptr : &*it;
}

QTextCharFormat RtfDocumentWriter::charFormat(const CharProps &p) const
{
    QTextCharFormat f;
    f.setFontWeight(p.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(p.italic);
    f.setFontUnderline(p.underline);
    f.setFontStrikeOut(p.strike);
    f.setFontPointSize(std::clamp(p.size, 2, 800) / 2.0);
    if (const Font *font = this->font(p.font); font && !font->name.isEmpty())
        f.setFontFamilies(QStringList{font->name});
    const auto color
        = [this](int i) { return i >= 0 && std::size_t(i) < m_tables.colors.size() ? m_tables.colors[i] : QColor(); };
    if (const QColor c = color(p.fg); c.isValid())
        f.setForeground(c);
    if (const QColor c = color(p.bg); c.isValid())
        f.setBackground(c);
    if (p.vertical != 0)
        f.setVerticalAlignment(p.vertical > 0 ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
    return f;
}

} // namespace platform::richtext
