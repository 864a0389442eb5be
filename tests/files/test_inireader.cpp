// The INI reader of the parameter files: line ends, comments, quotes, lists, '@' forms, typed
// values refused and limits. A file rewritten at the same length is read as it is now: see the
// settings load in test_files.
#include "files/inisnapshot.h"

#include <QtTest>

class TestIniReader : public QObject
{
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected"); // null: the key reads as missing
        const QString missing;
        QTest::newRow("plain") << QByteArray("[G]\nk=1\n") << "1";
        QTest::newRow("CRLF, no final end") << QByteArray("[G]\r\nx=0\r\nk=2") << "2";
        QTest::newRow("lone CR") << QByteArray("[G]\rx=0\rk=3\r") << "3";
        QTest::newRow("blanks trimmed") << QByteArray("  [ G ]  \n  k  =  v w  \n") << "v w";
        QTest::newRow("empty value") << QByteArray("[G]\nk=\n") << "";
        QTest::newRow("comment line") << QByteArray("[G]\n  ;k=1\n") << missing;
        QTest::newRow("trailing comment") << QByteArray("[G]\nk=5 ; old 4\n") << "5";
        QTest::newRow("quoted ; and ,") << QByteArray("[G]\nk= \"a;b, c \"\n") << "a;b, c ";
        QTest::newRow("unquoted list") << QByteArray("[G]\nk=a,b ,  c\n") << "a, b, c";
        QTest::newRow("later key wins") << QByteArray("[G]\nk=1\nk=2\n") << "2";
        QTest::newRow("other group") << QByteArray("[G]\nk=1\n[H]\nk=2\n") << "1";
        QTest::newRow("no '=' skipped") << QByteArray("[G]\njunk\n=9\nk=4\n") << "4";
        QTest::newRow("@ByteArray") << QByteArray("[G]\nk=@ByteArray(abc)\n") << "abc";
        QTest::newRow("@String") << QByteArray("[G]\nk=@String(7)\n") << "7";
        QTest::newRow("@@") << QByteArray("[G]\nk=@@x\n") << "@x";
        QTest::newRow("@Variant hides")
            << QByteArray("[G]\nk=1\nk=@Variant(AAAAf/////)\n") << missing;
        QTest::newRow("@Invalid") << QByteArray("[G]\nk=@Invalid()\n") << missing;
        QTest::newRow("backslash line") << QByteArray("[G]\nk=1\nk=a\\x41\n") << "1";
        QTest::newRow("over 4 MB")
            << QByteArray("[G]\nk=1\n").append(4 * 1024 * 1024, ' ') << missing;
    }
    void values()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString got = IniSnapshot::fromBytes(bytes).value("G", "k");
        QCOMPARE(got, expected);
        QCOMPARE(got.isNull(), expected.isNull());
    }
};

QTEST_GUILESS_MAIN(TestIniReader)
#include "test_inireader.moc"
