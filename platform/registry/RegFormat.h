#pragma once
// The registry export text format ("Windows Registry Editor Version 5.00")
// held in memory: keys in file order, each with its values in file order.
// Values keep the lines they were read from, so a rewrite leaves every value
// it did not change exactly as it was.
#include <QByteArray>
#include <QHash>
#include <QList>
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
    explicit Key(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    const QList<Value> &values() const { return m_values; }
    const Value *find(const QString &name) const;

    // Replaces a value in place (keeping the stored spelling of its name) or
    // appends it.
    void setString(const QString &name, const QString &text);
    void setDword(const QString &name, quint32 value);
    void set(Value value);
    bool remove(const QString &name);

private:
    QString m_path;
    QList<Value> m_values;
    QHash<QString, qsizetype> m_byName;
};

class Document
{
public:
    const QList<Key> &keys() const { return m_keys; }
    Key *find(const QString &path);
    const Key *find(const QString &path) const;
    // True also for a key that only has subkeys written out, and for the root.
    bool keyExists(const QString &path) const;
    Key &ensure(const QString &path);
    void removeTree(const QString &path);

private:
    QList<Key> m_keys;
    QHash<QString, qsizetype> m_byPath;
};

// False (with the reason, naming the line) when the bytes are not a
// well-formed export; the document is then incomplete.
bool parse(const QByteArray &bytes, Document &out, QString *error);
// UTF-8 without a byte-order mark, lines ending in CR LF.
QByteArray serialize(const Document &doc);

QString decodeString(const QByteArray &data);
bool isValidKeyName(const QString &name);

} // namespace platform::regformat
