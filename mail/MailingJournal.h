#pragma once
// The record of a mailing under way, "mailing.journal" beside the program,
// so that a mailing broken off (killed, a crash, a message that could not be
// placed, or stopped by the user) goes on after the last address placed
// instead of mailing everyone again. It holds the message, the category and
// how far the mailing got, and is replaced whole after each message placed,
// never after each address. A mailing that places every address removes it.
#include <QString>
#include <QStringList>

struct MailingRecord
{
    QString subject;
    QString text;
    QStringList attachments;
    QStringList to, cc; // the extra recipients of every message
    bool receipt = false;
    QString category; // empty: the whole list

    // How far it got: the last list address of the last message placed
    // (empty before the first) and the count of list addresses behind it.
    QString lastPlaced;
    qint64 placed = 0;

    bool operator==(const MailingRecord &) const = default;
};

class MailingJournal
{
public:
    static QString fileName() { return QStringLiteral("mailing.journal"); }

    explicit MailingJournal(const QString &programDir);

    QString path() const { return m_path; }
    bool exists() const;

    // A journal left by an earlier run; false with *error naming the file
    // and saying what is wrong with it.
    bool read(MailingRecord *out, QString *error) const;
    // Forgets a recorded mailing.
    bool remove(QString *error);

    // Records a mailing about to start, or to go on after its lastPlaced.
    // False with *error when it cannot be written: then nothing is sent.
    bool begin(const MailingRecord &mailing, QString *error);
    // A message was placed; the mailing goes on if the record cannot be
    // written, which end() tries again.
    void placed(const QString &lastAddress, qint64 placed);
    // A finished mailing removes the record, and so does one that placed
    // nothing; one broken off after placing some keeps it, so the next start
    // offers to resume it. What went wrong with the record, for the user;
    // empty when nothing did.
    QString end(bool finished);

    // The mailing as recorded so far.
    const MailingRecord &mailing() const { return m_mailing; }

private:
    bool write(QString *error);

    QString m_path;
    MailingRecord m_mailing;
    QByteArray m_message; // the parts that never change, made once
    QString m_failure; // why the last update could not be written
};
