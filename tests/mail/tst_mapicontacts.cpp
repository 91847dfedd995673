// The vCard reading and the contacts cache behind the library's name
// resolution.
#include "platform/mapi/Contacts.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

using mapistandin::Contact;
using mapistandin::contactReadCount;
using mapistandin::contactsOf;
using mapistandin::parseVCards;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Times a minute old, as contacts kept for a while have.
void age(const QString &folder)
{
    const struct utimbuf old
    {
        ::time(nullptr) - 60, ::time(nullptr) - 60
    };
    for (const char *sub : {"", "/new", "/cur"}) {
        const QString path = folder + QLatin1String(sub);
        ::utime(QFile::encodeName(path).constData(), &old);
        for (const QString &name : QDir(path).entryList(QDir::Files))
            ::utime(QFile::encodeName(path + QLatin1Char('/') + name).constData(), &old);
    }
}

struct Times
{
    struct timespec times[2];
};

Times timesOf(const QString &path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return {{st.st_atim, st.st_mtim}};
}

void setTimes(const QString &path, const Times &t)
{
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), t.times, 0);
}

enum class Change { InPlace, ReplacedByRename, Renamed, Moved, Removed };

} // namespace

class TestMapiContacts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void vCardVariants()
    {
        const QVector<Contact> cards = parseVCards(
            // vCard 3: folded line, group prefix, escapes, preferred address second.
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:M\xc3\xbcller\\, Hans\r\n  Peter\r\nNICKNAME:hp,hans\\, der Gro\xc3\x9f"
            "e\r\nitem1.EMAIL;TYPE=INTERNET:first@example.org\r\nEMAIL;TYPE=INTERNET,PREF:pref@example.org\r\n"
            "END:VCARD\r\n"
            // vCard 2.1: quoted-printable with a soft break, an 8-bit charset, no FN.
            "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Gar=E7on;Fran=\n=E7ois\n"
            "EMAIL;INTERNET:fr@example.org\nEND:VCARD\n"
            // No address: nothing to resolve to.
            "BEGIN:VCARD\nFN:Nobody\nEND:VCARD\n"
            // Not UTF-8 and unlabelled: windows-1252.
            "BEGIN:VCARD\nFN:Ren\xe9\nEMAIL:rene@example.org\nEND:VCARD\n");
        QCOMPARE(cards.size(), 3);
        QCOMPARE(cards[0].displayName, QString::fromUtf8("Müller, Hans Peter"));
        QCOMPARE(cards[0].nicknames, QStringList({QStringLiteral("hp"), QString::fromUtf8("hans, der Große")}));
        QCOMPARE(cards[0].email, QStringLiteral("pref@example.org"));
        QCOMPARE(cards[1].displayName, QString::fromUtf8("François Garçon"));
        QCOMPARE(cards[2].displayName, QString::fromUtf8("René"));
    }

    void indexFindsByNameIgnoringCase()
    {
        mapistandin::ContactIndex index;
        index.add({QStringLiteral("Ann Lee"), {QStringLiteral("annie")}, QStringLiteral("a1@x.org")});
        index.add({QString::fromUtf8("ÅSA"), {QStringLiteral("Ann Lee")}, QStringLiteral("a2@x.org")});
        QCOMPARE(index.find(QStringLiteral(" ann lee ")).size(), 2);
        QCOMPARE(index.find(QString::fromUtf8("åsa")).size(), 1);
        QCOMPARE(index.find(QStringLiteral("ann")).size(), 0);
        QCOMPARE(index.addressesForDisplayName(QStringLiteral("Ann Lee")), 1); // a nickname is no display name
    }

    // Every change is seen, though folder times stay as they were and an
    // edit in place keeps the file's size and times.
    void cacheSeesEveryChange_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email"); // empty: not found
        const QByteArray b = "BEGIN:VCARD\nFN:B\nEMAIL:b@x.org\nEND:VCARD\n";
        QTest::newRow("address edited in place")
            << int(Change::InPlace) << QByteArray("BEGIN:VCARD\nFN:A\nEMAIL:c@x.org\nEND:VCARD\n") << "A"
            << "c@x.org";
        QTest::newRow("contact renamed in place") << int(Change::InPlace) << b << "B"
                                                  << "b@x.org";
        QTest::newRow("file replaced by a rename") << int(Change::ReplacedByRename) << b << "B"
                                                   << "b@x.org";
        QTest::newRow("file renamed") << int(Change::Renamed) << QByteArray() << "A"
                                      << "a@x.org";
        QTest::newRow("file moved to cur") << int(Change::Moved) << QByteArray() << "A"
                                           << "a@x.org";
        QTest::newRow("file removed") << int(Change::Removed) << QByteArray() << "A"
                                      << "";
    }

    void cacheSeesEveryChange()
    {
        QFETCH(int, change);
        QFETCH(QByteArray, after);
        QFETCH(QString, name);
        QFETCH(QString, email);
        TestEnv env;
        const QString folder = env.home() + QStringLiteral("/.Contacts");
        const QString file = folder + QStringLiteral("/new/a.vcf");
        writeFile(file, "BEGIN:VCARD\nFN:A\nEMAIL:a@x.org\nEND:VCARD\n");
        QDir().mkpath(folder + QStringLiteral("/cur"));
        age(folder);
        const Times fileTimes = timesOf(file), fresh = timesOf(folder + QStringLiteral("/new")),
                    current = timesOf(folder + QStringLiteral("/cur"));
        QCOMPARE(contactsOf(env.home())->find(QStringLiteral("A")).size(), 1);

        switch (Change(change)) {
        case Change::InPlace: {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite)); // no truncation: the inode and size stay
            QCOMPARE(f.write(after), after.size());
            f.close();
            setTimes(file, fileTimes);
            break;
        }
        case Change::ReplacedByRename:
            writeFile(folder + QStringLiteral("/new/a.tmp"), after);
            setTimes(folder + QStringLiteral("/new/a.tmp"), fileTimes);
            QVERIFY(::rename(QFile::encodeName(folder + QStringLiteral("/new/a.tmp")).constData(),
                             QFile::encodeName(file).constData())
                    == 0);
            break;
        case Change::Renamed:
            QVERIFY(QFile::rename(file, folder + QStringLiteral("/new/b.vcf")));
            break;
        case Change::Moved:
            QVERIFY(QFile::rename(file, folder + QStringLiteral("/cur/a.vcf:2,S")));
            break;
        case Change::Removed:
            QVERIFY(QFile::remove(file));
            break;
        }
        setTimes(folder + QStringLiteral("/new"), fresh);
        setTimes(folder + QStringLiteral("/cur"), current);

        const QVector<const Contact *> found = contactsOf(env.home())->find(name);
        QCOMPARE(found.size(), email.isEmpty() ? 0 : 1);
        if (!email.isEmpty())
            QCOMPARE(found.first()->email, email);
        QCOMPARE(contactsOf(env.home())->size(), change == int(Change::Removed) ? 0 : 1);
    }

    void cacheRereadsOnlyAfterChanges()
    {
        TestEnv env;
        const QString store = env.home();
        const QString folder = store + QStringLiteral("/.Contacts");
        writeFile(folder + QStringLiteral("/cur/a.vcf"), "BEGIN:VCARD\nFN:A\nEMAIL:a@x.org\nEND:VCARD\n");
        QDir().mkpath(folder + QStringLiteral("/new"));
        struct stat tick;
        QCOMPARE(::stat(QFile::encodeName(folder + QStringLiteral("/cur")).constData(), &tick), 0);
        QCOMPARE(contactsOf(store)->size(), 1);
        // A second card within the same tick of a coarse file-system clock.
        writeFile(folder + QStringLiteral("/cur/b.vcf"), "BEGIN:VCARD\nFN:B\nEMAIL:b@x.org\nEND:VCARD\n");
        const struct timespec times[2] = {tick.st_atim, tick.st_mtim};
        ::utimensat(AT_FDCWD, QFile::encodeName(folder + QStringLiteral("/cur")).constData(), times, 0);
        QCOMPARE(contactsOf(store)->size(), 2);

        age(folder);
        const int before = contactReadCount();
        for (int i = 0; i < 100; ++i)
            QCOMPARE(contactsOf(store)->size(), 2);
        QCOMPARE(contactReadCount(), before + 1);

        QVERIFY(QFile::rename(folder + QStringLiteral("/cur/b.vcf"), folder + QStringLiteral("/new/b.vcf")));
        QFile::remove(folder + QStringLiteral("/cur/a.vcf"));
        QCOMPARE(contactsOf(store)->size(), 1);
        QCOMPARE(contactsOf(store)->find(QStringLiteral("b")).size(), 1);

        QDir(folder).removeRecursively();
        QCOMPARE(contactsOf(store)->size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMapiContacts)
#include "tst_mapicontacts.moc"
