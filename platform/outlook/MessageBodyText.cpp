#include "platform/outlook/MessageText.h"

#include <QTextDocument>
#include <QUrl>
#include <QVariant>

#include <cctype>

namespace platform::outlook::mailtext {

namespace {

constexpr QStringView kCrLf = u"\r\n";

// A message must never make us read a local file or device (<img src="/dev/zero">).
class InertDocument : public QTextDocument
{
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

// The document keeps the source's blanks between blocks at the ends of lines.
QString withoutTrailingBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype blanksFrom = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t') {
            if (blanksFrom < 0)
                blanksFrom = i;
            continue;
        }
        if (blanksFrom >= 0 && c != u'\n')
            out += QStringView(text).sliced(blanksFrom, i - blanksFrom);
        blanksFrom = -1;
        out += c;
    }
    return out;
}

} // namespace

QByteArray htmlMetaCharset(QByteArrayView html)
{
    const QByteArray head = html.first(qMin<qsizetype>(html.size(), 4096)).toByteArray().toLower();
    qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return {};
    at += 8;
    while (at < head.size() && (head[at] == '"' || head[at] == '\'' || isBlank(head[at])))
        ++at;
    qsizetype end = at;
    while (end < head.size()
           && (std::isalnum(static_cast<uchar>(head[end])) || QByteArrayView("-_.:").contains(head[end])))
        ++end;
    return head.mid(at, end - at);
}

QString htmlToText(const QString &html)
{
    InertDocument document;
    document.setHtml(html);
    QString text = document.toPlainText();
    text.remove(QChar::ObjectReplacementCharacter); // where images were
    text.replace(QChar::Nbsp, u' ');
    return withoutTrailingBlanks(text);
}

QString toCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const QStringView view(text);
    if (!view.contains(u'\r')) {
        // The usual case, since the raw bytes were made LF-only before parsing.
        qsizetype from = 0;
        for (qsizetype at; (at = view.indexOf(u'\n', from)) >= 0; from = at + 1) {
            out += view.sliced(from, at - from);
            out += kCrLf;
        }
        out += view.sliced(from);
        return out;
    }
    const QChar *p = text.constData();
    const QChar *const end = p + text.size();
    const QChar *chunk = p;
    while (p < end) {
        const char16_t c = p->unicode();
        if (c != u'\r' && c != u'\n') {
            ++p;
            continue;
        }
        out.append(chunk, p - chunk);
        out += kCrLf;
        if (c == u'\r' && p + 1 < end && p[1] == u'\n')
            ++p;
        chunk = ++p;
    }
    out.append(chunk, end - chunk);
    return out;
}

} // namespace platform::outlook::mailtext
