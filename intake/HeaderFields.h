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
    bool isEmpty() const { return m_fields.isEmpty(); }

private:
    QList<std::pair<QString, QString>> m_fields; // lower-case name, value
};

// The bare addresses of a field's value ("A <a@x>, b@y" gives a@x, b@y),
// lower-cased; a value of "<>" gives one empty address.
QStringList fieldAddresses(const QString &value);
