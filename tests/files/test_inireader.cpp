// The INI reader of the parameter files: line ends, comments, quotes, lists, '@' forms and
// limits. A rewrite of the same length is read anew: see the settings load in test_files.
#include "files/inisnapshot.h"

#include <QtTest>

class TestIniReader : public QObject
{
    Q_OBJECT
private slots:
    // G/k of each file, "-" where it reads as missing.
    void values()
    {
        QStringList read;
        for (const QByteArray& bytes : QList<QByteArray>{
                 "[G]\nk=1\n", "[G]\r\nx=0\r\nk=2", "[G]\rx=0\rk=3\r", // CR LF, lone CR
                 "  [ G ]  \n  k  =  v w  \n", "[G]\nk=\n", "[G]\n  ;k=1\n", "[G]\nk=5 ; old 4\n",
                 "[G]\nk= \"a;b, c \"\n", "[G]\nk=a,b ,  c\n", "[G]\nk=1\nk=2\n",
                 "[G]\nk=1\n[H]\nk=2\n", "[G]\njunk\n=9\nk=4\n", "[G]\nk=@ByteArray(abc)\n",
                 "[G]\nk=@String(7)\n", "[G]\nk=@@x\n", "[G]\nk=1\nk=@Variant(AAAAf/////)\n",
                 "[G]\nk=@Invalid()\n", "[G]\nk=1\nk=a\\x41\n",
                 QByteArray("[G]\nk=1\n").append(4 * 1024 * 1024, ' ')}) { // over 4 MB
            const QString value = IniSnapshot::fromBytes(bytes).value("G", "k");
            read += value.isNull() ? "-" : value;
        }
        QCOMPARE(read.join('|'), QString("1|2|3|v w||-|5|a;b, c |a, b, c|2|1|4|abc|7|@x|-|-|1|-"));
    }
};

QTEST_GUILESS_MAIN(TestIniReader)
#include "test_inireader.moc"
