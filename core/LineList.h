#pragma once
// The log and the error list: lines that the entry operations append to
// during a run and that are written back when the main window closes.
#include <QObject>
#include <QStringList>

class LineList : public QObject
{
    Q_OBJECT
public:
    explicit LineList(QStringList initial = {}, QObject *parent = nullptr);

    const QStringList &lines() const { return m_lines; }
    int size() const { return int(m_lines.size()); }
    QString last() const { return m_lines.isEmpty() ? QString() : m_lines.constLast(); }

    void append(const QString &line);
    void setLines(const QStringList &lines);
    void removeAt(int index);
    void clear();

    // The three lines a log starts with on a first start.
    static QStringList logHeader();

Q_SIGNALS:
    void appended(const QString &line);
    void reset();

private:
    QStringList m_lines;
};
