#pragma once
// This computer's sendmail command, the interface that the common mail
// servers and relays provide: `sendmail -i -f SENDER -- RECIPIENTS...`, the
// message on standard input. It answers for all recipients at once.
#include "platform/smtp/Transport.h"

namespace platform::smtp {

class SendmailTransport : public Transport
{
public:
    static QString defaultProgram();

    explicit SendmailTransport(QString program = defaultProgram(), int timeoutSeconds = 120);

    bool wantsCrLf() const override { return false; }
    QString serverName() const override { return m_program; }
    Submission submit(const QByteArray &sender, const QList<QByteArray> &recipients, const DataSource &data) override;

private:
    QString m_program;
    int m_timeoutSeconds;
};

} // namespace platform::smtp
