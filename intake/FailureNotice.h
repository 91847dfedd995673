#pragma once
// Tells a mail system's notice of a failed delivery from everything else in
// the list folder, and finds whom it reports. Auto-replies, delay warnings
// and abuse complaints are told apart, never counted as failures.
#include <QString>
#include <QStringList>

struct NoticeInput
{
    QString subject;
    QStringList lines; // the body's lines
    QString headers; // the notice's own header block
    QString deliveryStatus; // a report's fields, or the text in their place
    QString returnedHeaders; // of the message it returns
    bool failurePhrase = false; // the subject holds a failure phrase
};

struct Notice
{
    enum class Kind {
        None, // no notice of a mail system
        Failure, // a failed delivery: count each address
        Delay, // delivery still being tried
        AutoReply, // an out-of-office or other automatic answer
        Complaint, // a recipient reported the mail as spam
    };
    Kind kind = Kind::None;
    // Of a failure, the failed addresses, each once; of a complaint, the
    // complaining recipient. Empty when none could be found.
    QStringList addresses;
};

class FailureNotice
{
public:
    // The list owner's addresses: never counted, and the base of the
    // return addresses that name their recipient (owner+user=domain@host).
    explicit FailureNotice(const QStringList &ownAddresses);

    Notice read(const NoticeInput &input) const;

    // The recipient a return address of the owner's names; empty if none.
    QString recipientOfReturnAddress(const QString &address) const;

private:
    QStringList m_own; // lower-case
};
