#pragma once
// The log and the error list: lines that the entry operations append to
// during a run and that are written back when the main window closes. A
// sink (the journal of core/WorkingFiles.h) receives each line as it is
// made, so the lines of a run that dies are not lost with it.
#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

class LineList : public QObject
{
    Q_OBJECT
public:
    // Receives the lines before they show; each call is one write.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // Lines that stand.
        virtual void added(const QStringList &lines) = 0;
        // Lines of a group whose change is about to be committed: they stand
        // if the change is stored, which settled() then tells.
        virtual void inDoubt(const QByteArray &tag, const QStringList &lines) = 0;
        virtual void settled(const QByteArray &tag, bool stored) = 0;
    };

    // Whether a group's line stands when the change it reports is undone.
    enum class Keep {
        WithChange, // a stored change, a rule's answer: dropped with the change
        Always, // the report of a failure to store: true either way
    };

    // Whether the change of a group with this tag was stored; empty when
    // that cannot be told now.
    using GroupCheck = std::function<std::optional<bool>(const QByteArray &tag)>;

    explicit LineList(QStringList initial = {}, QObject *parent = nullptr);

    const QStringList &lines() const { return m_lines; }
    int size() const { return int(m_lines.size()); }
    QString last() const { return m_lines.isEmpty() ? QString() : m_lines.constLast(); }

    // Both write a control character (a tab too) as \xHH: the lines are
    // text whatever an address or a comment held.
    void append(const QString &line, Keep keep = Keep::WithChange);
    void setLines(const QStringList &lines);
    void removeAt(int index);
    void clear();

    // Lines made while a group is open are held back, so that the lines of a
    // change that is undone never show: prepareGroup() hands them to the
    // sink just before the change is committed, endGroup() appends them
    // (stored) or only those kept Always (undone). Groups do not nest.
    void beginGroup(const QByteArray &tag);
    void prepareGroup();
    void endGroup(bool stored);
    bool inGroup() const { return m_group.has_value(); }

    // Not owned; null for none.
    void setSink(Sink *sink) { m_sink = sink; }
    Sink *sink() const { return m_sink; }
    void setGroupCheck(GroupCheck check) { m_groupCheck = std::move(check); }
    std::optional<bool> groupStored(const QByteArray &tag) const;

    // The three lines a log starts with on a first start.
    static QStringList logHeader();

Q_SIGNALS:
    void appended(const QString &line);
    void reset();

private:
    struct Group
    {
        QByteArray tag;
        QStringList lines;
        QList<bool> always;
        bool prepared = false;
    };

    void show(const QStringList &lines);

    QStringList m_lines;
    std::optional<Group> m_group;
    Sink *m_sink = nullptr;
    GroupCheck m_groupCheck;
};
