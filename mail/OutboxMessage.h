#pragma once
// One message file of the Outbox as it goes to the mail system: its
// recipients from To, Cc and Bcc, and its data with the Bcc field left out,
// everything else byte for byte. Only the header is held; the body is read
// from the file as it is sent, so a message of any size costs little memory.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class OutboxMessage
{
public:
    // RFC 5322's limit for a line, without its CR LF.
    static constexpr int MaxLineOctets = 998;
    // A header larger than this is not one the program wrote.
    static constexpr qint64 MaxHeaderBytes = 4 << 20;

    // Reads the header; empty with *problem saying what is wrong when the
    // file is not a message that can be sent as it stands.
    static std::optional<OutboxMessage> open(const QString &path, QString *problem);

    OutboxMessage(OutboxMessage &&) noexcept;
    OutboxMessage &operator=(OutboxMessage &&) noexcept;
    ~OutboxMessage();

    QString path() const { return m_path; }
    qint64 size() const { return m_size; }
    QByteArray messageId() const { return m_messageId; }
    QString subject() const { return m_subject; }
    // To, Cc and Bcc addresses, each once (letter case ignored), in order.
    const QList<QByteArray> &recipients() const { return m_recipients; }

    // Starts the data over; lone LF line ends become CR LF when asked.
    bool rewind(bool crlf);
    // The next bytes of the data; 0 at its end, -1 when the file fails.
    qint64 read(char *buf, qint64 size);

    // The addresses of an address-list field's value (RFC 5322: names,
    // comments, quoted strings, groups).
    static QList<QByteArray> addresses(const QByteArray &value);

private:
    OutboxMessage() = default;
    qint64 readRaw(char *buf, qint64 size);

    QString m_path;
    qint64 m_size = 0;
    QByteArray m_header; // without Bcc, up to and with the blank line
    qint64 m_bodyOffset = 0;
    QByteArray m_messageId;
    QString m_subject;
    QList<QByteArray> m_recipients;

    std::unique_ptr<QFile> m_file;
    bool m_crlf = false;
    qint64 m_headerSent = 0;
    bool m_lastWasCr = false;
    QByteArray m_carry; // converted bytes that did not fit the last read
};
