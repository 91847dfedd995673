#include "platform/richtext/RtfReader.h"

#include "platform/richtext/RtfDocument.h"
#include "platform/richtext/RtfKeywords.h"
#include "platform/richtext/RtfState.h"

#include <QFile>
#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <string_view>
#include <vector>

namespace platform::richtext {

namespace {

// Deeper groups share their parent's state, so nesting costs no memory.
constexpr std::size_t kMaxDepth = 1024;
// Font and colour tables beyond this are garbage; they cannot grow memory.
constexpr qsizetype kMaxTableEntries = 4096;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
bool plainTextByte(char c)
{
    return c != '\\' && c != '{' && c != '}' && static_cast<unsigned char>(c) >= 0x20;
}

// One pass over the input; every step consumes at least one byte.
class Reader
{
public:
    Reader(const char *begin, const char *end, QTextDocument *doc)
        : m_p(begin)
        , m_end(end)
        , m_out(doc, m_tables)
    {
        m_stack.emplace_back();
    }

    void run()
    {
        while (m_p < m_end && !m_done && !m_out.full()) {
            switch (*m_p) {
            case '{':
                ++m_p;
                m_skip = 0;
                push();
                break;
            case '}':
                ++m_p;
                m_skip = 0;
                pop();
                break;
            case '\\':
                if (++m_p < m_end) {
                    if (isLetter(*m_p))
                        controlWord();
                    else
                        controlSymbol(*m_p++);
                }
                break;
            case '\r':
            case '\n':
                ++m_p;
                break;
            default:
                text();
            }
        }
        m_out.finish(st().para);
    }

private:
    State &st() { return m_stack.back(); }

    void push()
    {
        if (m_stack.size() < kMaxDepth)
            m_stack.push_back(m_stack.back());
        else
            ++m_overflow;
    }

    void pop()
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (m_stack.size() == 1) {
            m_done = true; // the document's own group closed
            return;
        }
        const Dest was = st().dest;
        m_stack.pop_back();
        if (was == Dest::FontTable && st().dest != Dest::FontTable)
            commitFont();
    }

    void text()
    {
        if (st().dest == Dest::Text && m_skip == 0 && !st().chars.hidden) {
            const char *start = m_p;
            const char *stop = m_p + std::min<std::ptrdiff_t>(m_end - m_p, m_out.roomInBlock());
            while (m_p < stop && plainTextByte(*m_p))
                ++m_p;
            if (m_p > start) {
                m_out.bytes(QByteArrayView(start, m_p - start), st().chars);
                return;
            }
        }
        byte(*m_p++);
    }

    void byte(char b)
    {
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        switch (st().dest) {
        case Dest::Text:
            if (b == '\t')
                m_out.unit(u'\t', st().chars);
            else if (static_cast<unsigned char>(b) >= 0x20)
                m_out.bytes(QByteArrayView(&b, 1), st().chars);
            break;
        case Dest::FontTable:
            if (b == ';')
                commitFont();
            else if (m_fontName.size() < 256 && static_cast<unsigned char>(b) >= 0x20)
                m_fontName.append(b);
            break;
        case Dest::ColorTable:
            if (b == ';')
                commitColor();
            break;
        case Dest::Skip:
            break;
        }
    }

    void unit(char16_t u)
    {
        if (st().dest == Dest::Text)
            m_out.unit(u, st().chars);
    }

    void controlWord()
    {
        const char *start = m_p;
        while (m_p < m_end && isLetter(*m_p))
            ++m_p;
        const std::string_view name(start, std::min<std::size_t>(m_p - start, 32));
        bool negative = false;
        if (m_p + 1 < m_end && *m_p == '-' && isDigit(m_p[1])) {
            negative = true;
            ++m_p;
        }
        bool hasParam = false;
        long long value = 0;
        while (m_p < m_end && isDigit(*m_p)) {
            hasParam = true;
            if (value <= INT_MAX) // saturates: further digits are read, not counted
                value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        if (m_p < m_end && *m_p == ' ')
            ++m_p;
        value = std::min<long long>(value, INT_MAX);
        word(name, hasParam, int(negative ? -value : value));
    }

    void controlSymbol(char c)
    {
        if (c == '\'') {
            const int high = m_p < m_end ? hexValue(*m_p) : -1;
            const int low = m_p + 1 < m_end ? hexValue(m_p[1]) : -1;
            if (high >= 0 && low >= 0) {
                m_p += 2;
                byte(char(high * 16 + low));
            }
            return;
        }
        if (c == '\\' || c == '{' || c == '}') {
            byte(c);
            return;
        }
        if (m_skip > 0) {
            --m_skip;
            return;
        }
        switch (c) {
        case '*':
            st().dest = Dest::Skip;
            break;
        case '~':
            unit(0x00A0);
            break;
        case '_':
            unit(0x2011);
            break;
        case '\r':
        case '\n':
            if (st().dest == Dest::Text)
                m_out.paragraph(st().para);
            break;
        default: // optional hyphen, index marks, unknown symbols
            break;
        }
    }

    void word(std::string_view name, bool hasParam, int param);
    void fontTableWord(Kw kind, int param);
    void textWord(const Keyword &k, bool hasParam, int param);
    void commitFont();
    void commitColor();

    const char *m_p;
    const char *m_end;
    std::vector<State> m_stack;
    std::size_t m_overflow = 0;
    bool m_done = false;
    int m_skip = 0; // fallback characters of a \uN still to drop

    RtfTables m_tables;
    int m_fontEntry = -1;
    int m_fontCharset = -1;
    int m_fontCodePage = 0;
    QByteArray m_fontName;
    int m_rgb[3] = {0, 0, 0};
    bool m_rgbSet = false;

    RtfDocumentWriter m_out;
};

void Reader::word(std::string_view name, bool hasParam, int param)
{
    const Keyword *k = findKeyword(name);
    if (k && k->kind == Kw::Bin) {
        // The data may hold any byte, braces too, wherever it stands.
        m_p += std::min<std::ptrdiff_t>(hasParam ? std::max(param, 0) : 0, m_end - m_p);
        if (m_skip > 0)
            --m_skip;
        return;
    }
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    if (!k)
        return;
    State &s = st();
    if (k->kind == Kw::SkipDest) {
        s.dest = Dest::Skip;
        return;
    }
    switch (s.dest) {
    case Dest::Skip:
        return;
    case Dest::FontTable:
        fontTableWord(k->kind, param);
        if (k->kind == Kw::U)
            m_skip = s.uc;
        return;
    case Dest::ColorTable:
        if (k->kind == Kw::Red || k->kind == Kw::Green || k->kind == Kw::Blue) {
            m_rgb[int(k->kind) - int(Kw::Red)] = std::clamp(param, 0, 255);
            m_rgbSet = true;
        }
        return;
    case Dest::Text:
        textWord(*k, hasParam, param);
        return;
    }
}

void Reader::fontTableWord(Kw kind, int param)
{
    if (kind == Kw::Font) {
        if (m_fontEntry >= 0 && !m_fontName.isEmpty())
            commitFont();
        m_fontEntry = param;
        m_fontCharset = -1;
        m_fontCodePage = 0;
        m_fontName.clear();
    } else if (kind == Kw::Charset) {
        m_fontCharset = param;
    } else if (kind == Kw::Cpg) {
        m_fontCodePage = param;
    }
}

void Reader::textWord(const Keyword &k, bool hasParam, int param)
{
    State &s = st();
    if (applyProperty(k, hasParam, param, s))
        return;
    switch (k.kind) {
    case Kw::Par:
        m_out.paragraph(s.para);
        break;
    case Kw::Char:
        unit(k.ch);
        break;
    case Kw::Cell:
        if (m_out.blockHasText())
            unit(u'\t');
        break;
    case Kw::Row:
        if (m_out.blockHasText())
            m_out.paragraph(s.para);
        break;
    case Kw::U: {
        const int value = param < 0 ? param + 65536 : param;
        if (value > 0)
            unit(value > 0xFFFF ? char16_t(0xFFFD) : char16_t(value));
        m_skip = s.uc;
        break;
    }
    case Kw::AnsiCpg:
        if (param > 0)
            m_tables.codePage = param;
        break;
    case Kw::Mac:
        m_tables.codePage = 10000;
        break;
    case Kw::Pc:
        m_tables.codePage = 437;
        break;
    case Kw::Pca:
        m_tables.codePage = 850;
        break;
    case Kw::DefaultFont:
        m_tables.defaultFont = param;
        break;
    case Kw::FontTable:
        s.dest = Dest::FontTable;
        break;
    case Kw::ColorTable:
        s.dest = Dest::ColorTable;
        break;
    default:
        break;
    }
}

void Reader::commitFont()
{
    QHash<int, Font> &fonts = m_tables.fonts;
    if (m_fontEntry >= 0 && (fonts.size() < kMaxTableEntries || fonts.contains(m_fontEntry))) {
        Font font;
        const int charsetPage = m_fontCharset >= 0 ? codePageOfCharset(m_fontCharset) : 0;
        font.codePage = m_fontCodePage > 0 ? m_fontCodePage : charsetPage;
        ByteDecoder decoder;
        font.name
            = decoder.decode(m_fontName, font.codePage ? font.codePage : m_tables.codePage, SymbolFont::None).trimmed();
        if (m_fontCharset == 2)
            font.symbols = font.name.contains(QLatin1String("Wingdings"), Qt::CaseInsensitive) ? SymbolFont::Wingdings
                                                                                               : SymbolFont::Symbol;
        fonts.insert(m_fontEntry, font);
    }
    m_fontEntry = -1;
    m_fontName.clear();
}

void Reader::commitColor()
{
    std::vector<QColor> &colors = m_tables.colors;
    if (qsizetype(colors.size()) < kMaxTableEntries)
        colors.push_back(m_rgbSet ? QColor(m_rgb[0], m_rgb[1], m_rgb[2]) : QColor());
    m_rgb[0] = m_rgb[1] = m_rgb[2] = 0;
    m_rgbSet = false;
}

QString tooLarge(const QString &path)
{
    return QStringLiteral("%1 is too large to show.").arg(path);
}

} // namespace

bool readRtf(const QByteArray &rtf, QTextDocument *doc, QString *error)
{
    const char *p = rtf.constData();
    const char *end = p + rtf.size();
    if (rtf.startsWith("\xEF\xBB\xBF"))
        p += 3;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
        ++p;
    if (end - p < 5 || QByteArrayView(p, 5) != QByteArrayView("{\\rtf")) {
        if (error)
            *error = QStringLiteral("The text is not in rich text format.");
        return false;
    }
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    {
        QTextCursor batch(doc);
        // One change for the document's layout, not one per paragraph.
        batch.beginEditBlock();
        Reader(p + 1, end, doc).run();
        batch.endEditBlock();
    }
    doc->setUndoRedoEnabled(undo);
    return true;
}

bool readRtfFile(const QString &path, QTextDocument *doc, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > maxRtfFileSize) {
        if (error)
            *error = tooLarge(path);
        return false;
    }
    // The size can change while the file is read.
    const QByteArray data = file.read(maxRtfFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    if (data.size() > maxRtfFileSize) {
        if (error)
            *error = tooLarge(path);
        return false;
    }
    return readRtf(data, doc, error);
}

} // namespace platform::richtext
