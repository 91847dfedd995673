#pragma once
// The registry export text format ("Windows Registry Editor Version 5.00")
// held in memory: keys in file order, each with its values in file order.
// Values keep the lines they were read from, so a rewrite leaves every value
// it did not change exactly as it was.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace platform::regformat {

// Value types as Windows numbers them.
enum : quint32 {
    TypeString = 1,
    TypeExpandString = 2,
    TypeBinary = 3,
    TypeDword = 4,
};

struct Value
{
    QString name; // as stored; empty for the default value "@"
    quint32 type = TypeString;
    QByteArray data; // as Windows holds it: strings are UTF-16LE with a NUL
    QStringList lines;
};

class Key
{
public:
    explicit Key(QString path)
        : m_path(std::move(path))
    {
    }

    const QString &path() const { return m_path; }
    const QList<Value> &values() const;
    const Value *find(const QString &name) const;

    // Replaces a value in place (keeping the stored spelling of its name) or
    // appends it.
    void setString(const QString &name, const QString &text);
    void setDword(const QString &name, quint32 value);
    void set(Value value);
    bool remove(const QString &name);

private:
    // A removed value stays in the list, unreachable by name, until the list
    // is next read whole: an export may delete thousands of values.
    void compact() const;

    QString m_path;
    mutable QList<Value> m_values;
    mutable QHash<QString, qsizetype> m_byName;
    mutable qsizetype m_removed = 0;
};

class Document
{
public:
    const QList<Key> &keys() const;
    Key *find(const QString &path);
    const Key *find(const QString &path) const;
    // True also for a key that only has subkeys written out, and for the root.
    bool keyExists(const QString &path) const;
    Key &ensure(const QString &path);
    void removeTree(const QString &path);

private:
    void compact() const;

    mutable QList<Key> m_keys;
    // Sorted, so that a key's subkeys are one range.
    mutable QMap<QString, qsizetype> m_byPath;
    mutable qsizetype m_removed = 0;
};

// False (with the reason, naming the line) when the bytes are not a
// well-formed export; the document is then incomplete.
bool parse(const QByteArray &bytes, Document &out, QString *error);
// UTF-8 without a byte-order mark, lines ending in CR LF; UTF-16LE with a
// byte-order mark when some text holds a lone surrogate, which only UTF-16
// keeps as it was read.
QByteArray serialize(const Document &doc);

QString decodeString(const QByteArray &data);
bool isValidKeyName(const QString &name);

} // namespace platform::regformat
