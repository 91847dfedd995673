// Sending the Outbox over loopback SMTP: the whole sender (reading each
// file, the journal, the per-recipient replies, the move to "Sent Items",
// the log) beside libcurl alone making the same transactions from memory,
// both in the same run against the same sink. The sink answers in C++ on a
// thread of its own, so neither side waits on a slow server; with
// --aiosmtpd the test suite's Python server is the sink instead.
#include "bench/BenchSupport.h"

#include "commands/OutboxSender.h"
#include "core/LineList.h"
#include "core/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

constexpr int PerMessage = 500;

// An SMTP server that says yes to everything and keeps nothing.
class Sink
{
public:
    Sink()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listen, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~Sink()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        ::close(m_listen);
        m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0)
                return;
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            converse(fd);
            ::close(fd);
        }
    }

    static void say(int fd, const char *text) { (void)!::write(fd, text, std::strlen(text)); }

    static void converse(int fd)
    {
        say(fd, "220 sink\r\n");
        std::string buffer;
        bool inData = false;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return;
            buffer.append(chunk, size_t(n));
            size_t at = 0;
            for (;;) {
                if (inData) {
                    const size_t end = buffer.find("\r\n.\r\n", at > 2 ? at - 2 : 0);
                    if (end == std::string::npos) {
                        // Keep the last bytes: the end mark may straddle reads.
                        at = buffer.size() > 4 ? buffer.size() - 4 : 0;
                        break;
                    }
                    at = end + 5;
                    inData = false;
                    say(fd, "250 queued\r\n");
                    continue;
                }
                const size_t eol = buffer.find("\r\n", at);
                if (eol == std::string::npos)
                    break;
                const std::string_view line(buffer.data() + at, eol - at);
                at = eol + 2;
                if (line.starts_with("DATA")) {
                    say(fd, "354 go on\r\n");
                    inData = true;
                    // The data begins with its first line, right after this one.
                    buffer.erase(0, at);
                    buffer.insert(0, "\r\n");
                    at = 0;
                } else if (line.starts_with("QUIT")) {
                    say(fd, "221 bye\r\n");
                    return;
                } else if (line.starts_with("EHLO")) {
                    say(fd, "250-sink\r\n250 8BITMIME\r\n");
                } else {
                    say(fd, "250 ok\r\n");
                }
            }
            buffer.erase(0, at);
        }
    }

    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// The test suite's aiosmtpd server, plain and without login.
class PythonSink
{
public:
    PythonSink()
    {
        m_process.setProgram(QStringLiteral("/usr/bin/python3"));
        m_process.setArguments({QStringLiteral(QUILLMAR_SMTP_SERVER_SCRIPT), QStringLiteral("--record"), m_dir.path(),
                                QStringLiteral("--mode"), QStringLiteral("plain")});
        m_process.start();
        while (m_process.waitForReadyRead(20000)) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                m_port = quint16(line.mid(5).toUInt());
                break;
            }
        }
    }
    ~PythonSink()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

bool usePython = false;

quint16 sinkPort()
{
    if (usePython) {
        static PythonSink python;
        return python.port();
    }
    static Sink sink;
    return sink.port();
}

QByteArray address(int n)
{
    return "member" + QByteArray::number(n) + "@example.net";
}

// A message as the mailing writes it: the owner in To, its share of the list
// in Bcc (folded), a short text.
QByteArray messageFile(int index)
{
    QByteArray m = "Date: Tue, 12 Mar 2024 09:15:00 +0100\nFrom: Owner <owner@example.org>\nSubject: Issue 42\n"
                   "To: owner@example.org\nBcc: ";
    for (int i = 0; i < PerMessage; ++i) {
        m += address(index * PerMessage + i);
        m += i + 1 == PerMessage ? "\n" : (i % 20 == 19 ? ",\n " : ", ");
    }
    m += "Message-ID: <" + QByteArray::number(index)
         + ".bench@example.org>\nList-Id: <owner.example.org>\n"
           "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 7bit\n\n";
    for (int i = 0; i < 40; ++i)
        m += "This is the news of the month, one line of it after another, as lists send it.\n";
    return m;
}

// The data as SMTP carries it: without Bcc, CR LF line ends.
QByteArray wireData(const QByteArray &file)
{
    QByteArray out;
    bool inBcc = false;
    for (const QByteArray &line : file.split('\n')) {
        inBcc = line.startsWith("Bcc:") || (inBcc && line.startsWith(' '));
        if (!inBcc)
            out += line + "\r\n";
    }
    out.chop(2);
    return out;
}

struct Outbox
{
    QTemporaryDir dir;
    QString store() const { return dir.path() + QStringLiteral("/Maildir"); }

    void fill(int messages) const
    {
        QDir(store() + QStringLiteral("/.Sent Items")).removeRecursively();
        for (const char *sub : {"/.Outbox/new", "/.Outbox/cur", "/.Outbox/tmp"})
            QDir().mkpath(store() + QLatin1String(sub));
        for (int i = 0; i < messages; ++i) {
            QFile f(store() + QStringLiteral("/.Outbox/new/%1.M1P1.bench").arg(i, 6, 10, QLatin1Char('0')));
            f.open(QIODevice::WriteOnly);
            f.write(messageFile(i));
        }
    }
};

// libcurl alone: the same envelopes and data, read from memory; with
// verp, one transaction per recipient, its own return address each.
void rawTransactions(int messages, bool verp)
{
    CURL *h = curl_easy_init();
    const QByteArray url = "smtp://127.0.0.1:" + QByteArray::number(sinkPort());
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    struct Source
    {
        QByteArray data;
        qsizetype at = 0;
    } source;
    curl_easy_setopt(
        h, CURLOPT_READFUNCTION, +[](char *buf, size_t size, size_t count, void *p) -> size_t {
            auto *s = static_cast<Source *>(p);
            const qsizetype n = std::min<qsizetype>(qsizetype(size * count), s->data.size() - s->at);
            std::memcpy(buf, s->data.constData() + s->at, size_t(n));
            s->at += n;
            return size_t(n);
        });
    curl_easy_setopt(h, CURLOPT_READDATA, &source);
    for (int m = 0; m < messages; ++m) {
        source.data = wireData(messageFile(m));
        QList<QByteArray> recipients{"owner@example.org"};
        for (int i = 0; i < PerMessage; ++i)
            recipients.append(address(m * PerMessage + i));
        const auto send = [&](const QByteArray &from, const QList<QByteArray> &to) {
            curl_slist *list = nullptr;
            for (const QByteArray &r : to)
                list = curl_slist_append(list, ('<' + r + '>').constData());
            const QByteArray sender = '<' + from + '>';
            curl_easy_setopt(h, CURLOPT_MAIL_FROM, sender.constData());
            curl_easy_setopt(h, CURLOPT_MAIL_RCPT, list);
            source.at = 0;
            if (curl_easy_perform(h) != CURLE_OK)
                std::abort();
            curl_slist_free_all(list);
        };
        if (!verp) {
            send("owner@example.org", recipients);
            continue;
        }
        for (const QByteArray &r : std::as_const(recipients)) {
            const qsizetype at = r.indexOf('@');
            send("owner+" + r.left(at) + '=' + r.mid(at + 1) + "@example.org", {r});
        }
    }
    curl_easy_cleanup(h);
}

void programSend(const Outbox &outbox, bool verp)
{
    Settings s;
    s.SendMethod = QStringLiteral("SMTP");
    s.SmtpServer = QStringLiteral("127.0.0.1");
    s.SmtpPort = sinkPort();
    s.SmtpSecurity = QStringLiteral("None");
    s.SmtpVerp = verp;
    LineList log;
    OutboxSender sender(s, outbox.store(), QStringLiteral("owner@example.org"), outbox.dir.path() + QLatin1Char('/'),
                        log, nullptr);
    const OutboxSender::Result r = sender.run();
    if (r.left != 0 || !r.failure.isEmpty())
        std::abort();
}

void run(benchmark::State &state, int messages, bool verp)
{
    Outbox outbox;
    double sendSeconds = 0, rawSeconds = 0;
    bench::PeakMeter meter;
    for (auto _ : state) {
        state.PauseTiming();
        outbox.fill(messages);
        state.ResumeTiming();
        auto start = bench::Clock::now();
        programSend(outbox, verp);
        sendSeconds += bench::secondsSince(start);
        // The peak is the sender's: the floor holds one message at a time too.
        meter.report(state);
        start = bench::Clock::now();
        rawTransactions(messages, verp);
        rawSeconds += bench::secondsSince(start);
    }
    state.counters["x_raw"] = rawSeconds > 0 ? sendSeconds / rawSeconds : 0;
    state.counters["send_s"] = benchmark::Counter(sendSeconds, benchmark::Counter::kAvgIterations);
    state.counters["raw_s"] = benchmark::Counter(rawSeconds, benchmark::Counter::kAvgIterations);
}

// 500 recipients a message: 50 messages, and 200 (100,000 addresses).
void BM_SendOutbox(benchmark::State &state)
{
    run(state, int(state.range(0)), false);
}
BENCHMARK(BM_SendOutbox)->Arg(50)->Arg(200)->Unit(benchmark::kSecond)->Iterations(1);

// A return address for each recipient: 20 messages of 500, 10,020
// transactions (the owner's copy too).
void BM_SendOutboxVerp(benchmark::State &state)
{
    run(state, int(state.range(0)), true);
}
BENCHMARK(BM_SendOutboxVerp)->Arg(20)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--aiosmtpd") == 0) {
            usePython = true;
            std::memmove(argv + i, argv + i + 1, sizeof(char *) * size_t(argc - i));
            --argc;
            break;
        }
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
