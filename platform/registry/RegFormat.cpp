#include "platform/registry/RegFormat.h"

#include "platform/registry/RegText.h"

namespace platform::regformat {

using namespace text;

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");
const QString kOldHeader = QStringLiteral("REGEDIT4");
const QString kEol = QStringLiteral("\r\n");

} // namespace

const Value *Key::find(const QString &name) const
{
    const auto it = m_byName.constFind(fold(name));
    return it == m_byName.cend() ? nullptr : &m_values[*it];
}

void Key::set(Value value)
{
    const QString f = fold(value.name);
    const auto it = m_byName.constFind(f);
    if (it != m_byName.cend()) {
        m_values[*it] = std::move(value);
        return;
    }
    m_byName.insert(f, m_values.size());
    m_values.append(std::move(value));
}

void Key::setString(const QString &name, const QString &text)
{
    const Value *old = find(name);
    Value v;
    v.name = old ? old->name : name;
    v.type = TypeString;
    v.data = utf16z(text);
    if (needsHex(text))
        v.lines = hexLines(nameField(v.name) + QStringLiteral("=hex(1):"), v.data);
    else
        v.lines = QStringList{nameField(v.name) + QLatin1Char('=') + escapeQuoted(text)};
    set(std::move(v));
}

void Key::setDword(const QString &name, quint32 value)
{
    const Value *old = find(name);
    Value v;
    v.name = old ? old->name : name;
    v.type = TypeDword;
    v.data = dwordBytes(value);
    v.lines = QStringList{nameField(v.name) + QStringLiteral("=dword:")
                          + QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0'))};
    set(std::move(v));
}

bool Key::remove(const QString &name)
{
    const auto it = m_byName.constFind(fold(name));
    if (it == m_byName.cend())
        return false;
    m_byName.erase(it);
    ++m_removed;
    return true;
}

void Key::compact() const
{
    if (m_removed == 0)
        return;
    QList<Value> kept;
    kept.reserve(m_values.size() - m_removed);
    for (qsizetype i = 0; i < m_values.size(); ++i) {
        const auto it = m_byName.find(fold(m_values[i].name));
        if (it != m_byName.end() && *it == i) {
            *it = kept.size();
            kept.append(std::move(m_values[i]));
        }
    }
    m_values = std::move(kept);
    m_removed = 0;
}

const QList<Value> &Key::values() const
{
    compact();
    return m_values;
}

const QList<Key> &Document::keys() const
{
    compact();
    return m_keys;
}

void Document::compact() const
{
    if (m_removed == 0)
        return;
    QList<Key> kept;
    kept.reserve(m_keys.size() - m_removed);
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        const auto it = m_byPath.find(fold(m_keys[i].path()));
        if (it != m_byPath.end() && *it == i) {
            *it = kept.size();
            kept.append(std::move(m_keys[i]));
        }
    }
    m_keys = std::move(kept);
    m_removed = 0;
}

Key *Document::find(const QString &path)
{
    const auto it = m_byPath.constFind(fold(path));
    return it == m_byPath.cend() ? nullptr : &m_keys[*it];
}

const Key *Document::find(const QString &path) const
{
    const auto it = m_byPath.constFind(fold(path));
    return it == m_byPath.cend() ? nullptr : &m_keys[*it];
}

bool Document::keyExists(const QString &path) const
{
    if (!path.contains(QLatin1Char('\\')) || find(path))
        return true;
    const QString prefix = fold(path) + QLatin1Char('\\');
    const auto it = m_byPath.lowerBound(prefix);
    return it != m_byPath.cend() && it.key().startsWith(prefix);
}

Key &Document::ensure(const QString &path)
{
    if (Key *k = find(path))
        return *k;
    m_byPath.insert(fold(path), m_keys.size());
    m_keys.append(Key(path));
    return m_keys.back();
}

void Document::removeTree(const QString &path)
{
    const QString f = fold(path);
    if (m_byPath.remove(f) > 0)
        ++m_removed;
    const QString prefix = f + QLatin1Char('\\');
    for (auto it = m_byPath.lowerBound(prefix); it != m_byPath.end() && it.key().startsWith(prefix);) {
        it = m_byPath.erase(it);
        ++m_removed;
    }
}

bool isValidKeyName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString decodeString(const QByteArray &data)
{
    const qsizetype n = data.size() / 2;
    QString s(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        s[i] = QChar(char16_t(uchar(data[2 * i]) | (uchar(data[2 * i + 1]) << 8)));
    if (!s.isEmpty() && s.back() == QChar(0))
        s.chop(1);
    return s;
}

bool parse(const QByteArray &bytes, Document &out, QString *error)
{
    out = Document();
    QString text;
    if (!decodeText(bytes, text)) {
        *error = QStringLiteral("not UTF-8 or UTF-16 text");
        return false;
    }

    QList<QStringView> lines;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).mid(start, end - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }

    bool headerSeen = false;
    Key *current = nullptr;
    bool inDeletedKey = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype firstLine = i;
        auto fail = [&](const char *why) {
            *error = QStringLiteral("line %1: %2").arg(firstLine + 1).arg(QLatin1String(why));
            return false;
        };
        const QStringView line = trimBlanks(lines[i]);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (!headerSeen) {
            if (line != kHeader && line != kOldHeader)
                return fail("not a registry export (header missing)");
            headerSeen = true;
            continue;
        }

        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail("unterminated key name");
            QStringView path = line.mid(1, line.size() - 2);
            const bool deletion = path.startsWith(QLatin1Char('-'));
            if (deletion)
                path = path.mid(1);
            const QString p = path.toString();
            for (const QString &part : p.split(QLatin1Char('\\'))) {
                if (!isValidKeyName(part))
                    return fail("invalid key name");
            }
            if (deletion) {
                out.removeTree(p);
                current = nullptr;
            } else {
                current = &out.ensure(p);
            }
            inDeletedKey = deletion;
            continue;
        }

        if (!line.startsWith(QLatin1Char('"')) && !line.startsWith(QLatin1Char('@')))
            return fail("unexpected text");
        if (!current && !inDeletedKey)
            return fail("value outside any key");

        Value v;
        qsizetype pos = 0;
        if (line[0] == QLatin1Char('@'))
            pos = 1;
        else if (!parseQuoted(line, pos, v.name))
            return fail("unterminated value name");
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != QLatin1Char('='))
            return fail("'=' expected after the value name");
        const QStringView data = trimBlanks(line.mid(pos + 1));
        bool deleteValue = false;

        if (data.startsWith(QLatin1Char('"'))) {
            qsizetype p = 0;
            QString s;
            if (!parseQuoted(data, p, s))
                return fail("unterminated string");
            if (p != data.size())
                return fail("text after the closing quote");
            v.type = TypeString;
            v.data = utf16z(s);
        } else if (data == QLatin1String("-")) {
            deleteValue = true;
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            quint32 d = 0;
            if (!parseHex32(trimBlanks(data.mid(6)), d))
                return fail("invalid dword");
            v.type = TypeDword;
            v.data = dwordBytes(d);
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            qsizetype p = 3;
            v.type = TypeBinary;
            if (p < data.size() && data[p] == QLatin1Char('(')) {
                const qsizetype close = data.indexOf(QLatin1Char(')'), p);
                if (close < 0 || !parseHex32(data.mid(p + 1, close - p - 1), v.type))
                    return fail("invalid value type");
                p = close + 1;
            }
            if (p >= data.size() || data[p] != QLatin1Char(':'))
                return fail("':' expected after the value type");
            QString hex = data.mid(p + 1).toString();
            while (hex.endsWith(QLatin1Char('\\'))) {
                hex.chop(1);
                if (++i >= lines.size() || trimBlanks(lines[i]).isEmpty())
                    return fail("hex data is cut off");
                hex += trimBlanks(lines[i]);
            }
            if (!parseHexBytes(hex, v.data))
                return fail("invalid hex data");
        } else {
            return fail("unknown value type");
        }

        if (inDeletedKey)
            continue;
        if (deleteValue) {
            current->remove(v.name);
            continue;
        }
        for (qsizetype l = firstLine; l <= i; ++l)
            v.lines.append(lines[l].toString());
        current->set(std::move(v));
    }
    return true;
}

QByteArray serialize(const Document &doc)
{
    QString out = kHeader + kEol + kEol;
    for (const Key &key : doc.keys()) {
        out += QLatin1Char('[') + key.path() + QLatin1Char(']') + kEol;
        for (const Value &v : key.values()) {
            for (const QString &l : v.lines)
                out += l + kEol;
        }
        out += kEol;
    }
    if (!hasLoneSurrogate(out))
        return out.toUtf8();
    QByteArray utf16("\xff\xfe");
    utf16.reserve(2 + out.size() * 2);
    for (QChar c : std::as_const(out)) {
        utf16 += char(c.unicode() & 0xff);
        utf16 += char(c.unicode() >> 8);
    }
    return utf16;
}

} // namespace platform::regformat
