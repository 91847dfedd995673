// quillmar-outboxsend: one run of the Outbox sender without windows, for the
// kill test. Writes its process id to PIDFILE first, then sends the Outbox
// of STORE through the SMTP server on 127.0.0.1:PORT (no encryption, no
// login), with the journal in PROGRAMDIR; "verp" sends each recipient its
// own transaction.
//
//   quillmar-outboxsend STORE PROGRAMDIR PORT PIDFILE verp|once
// Exit code: 0 the Outbox was sent and is empty, 3 something stayed (the
// reason printed), 2 wrong arguments.
#include "commands/OutboxSender.h"
#include "core/LineList.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        return 2;
    QFile pid(args.at(4));
    if (!pid.open(QIODevice::WriteOnly) || pid.write(QByteArray::number(QCoreApplication::applicationPid())) < 0)
        return 2;
    pid.close();
    Settings settings;
    settings.SendMethod = QStringLiteral("SMTP");
    settings.SmtpServer = QStringLiteral("127.0.0.1");
    settings.SmtpPort = args.at(3).toInt();
    settings.SmtpSecurity = QStringLiteral("None");
    settings.SmtpVerp = args.at(5) == QLatin1String("verp");
    LineList log;
    OutboxSender sender(settings, args.at(1), QStringLiteral("owner@example.org"), args.at(2), log, nullptr);
    const OutboxSender::Result r = sender.run();
    if (r.left == 0 && r.failure.isEmpty())
        return 0;
    std::fprintf(stderr, "%d left: %s\n", r.left, qPrintable(r.failure));
    return 3;
}
