#pragma once
// A header block read as fields: names compared ignoring case, folded values
// joined. What the failure-notice rules ask of a notice's own headers and of
// the headers of the message it returns.
#include <QList>
#include <QString>
#include <QStringList>

class HeaderFields
{
public:
    HeaderFields() = default;
    explicit HeaderFields(const QString &block);

    bool has(QLatin1StringView name) const;
    // The first field of that name, unfolded and trimmed; empty when missing.
    QString value(QLatin1StringView name) const;
    QStringList values(QLatin1StringView name) const;
    // Calls f with each value of that name, as values() lists them, without
    // copying them.
    template<typename F> void forEachValue(QLatin1StringView name, F f) const
    {
        for (const Field &field : m_fields) {
            if (named(field, name))
                f(field.folded >= 0 ? QStringView(m_folded.at(field.folded)) : field.line);
        }
    }
    bool isEmpty() const { return m_fields.isEmpty(); }

private:
    // Most fields are one line: their name and value stay views into the
    // block, and only a folded value is joined into a string of its own.
    struct Field
    {
        QStringView name; // trimmed, letter case as written
        QStringView line; // the value on the field's first line, trimmed
        qsizetype folded = -1; // the whole value's place in m_folded, if folded
    };
    static bool named(const Field &field, QLatin1StringView lower);
    QString valueOf(const Field &field) const;

    QString m_block;
    QList<Field> m_fields;
    QStringList m_folded;
};

// The bare addresses of a field's value ("A <a@x>, b@y" gives a@x, b@y),
// lower-cased; a value of "<>" gives one empty address.
QStringList fieldAddresses(QStringView value);
