#include "connection/ConnectionFormats.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <random>

using namespace connection;

class TestConnectionFormats : public QObject
{
    Q_OBJECT

private slots:
    void decodeBase64_data();
    void decodeBase64();
    void decodeTwice();

    void kilobytes_data();
    void kilobytes();
    void kilobytesMatchExtendedPrecision();

    void trafficLine_data();
    void trafficLine();

    void entryNameAndUniqueId_data();
    void entryNameAndUniqueId();
};

void TestConnectionFormats::decodeBase64_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("decoded");

    QTest::newRow("three bytes") << "QUJD"
                                 << "ABC";
    QTest::newRow("two pads") << "QQ=="
                              << "A";
    QTest::newRow("one pad") << "QQ="
                             << "A";
    QTest::newRow("no pad") << "QQ"
                            << "A";
    QTest::newRow("two of three") << "QUI="
                                  << "AB";
    QTest::newRow("lone last character ignored") << "QUJDQ"
                                                 << "ABC";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("bytes above 127 stay one character each") << "/w==" << QString(QChar(0xFF));
    QTest::newRow("foreign third character counts as -1")
        << "QQ*A" << QString::fromUtf16(u"A\u000F\u00C0");
    QTest::newRow("foreign fourth character is combined unmasked")
        << "QUJ*" << QString::fromUtf16(u"AB\uFFFF");
    QTest::newRow("only the last two positions are padding")
        << "Q=Q=" << QString::fromUtf16(u"C\u00F4");
}

void TestConnectionFormats::decodeBase64()
{
    QFETCH(QString, encoded);
    QFETCH(QString, decoded);
    QCOMPARE(DecodeBase64Text(encoded), decoded);
}

void TestConnectionFormats::decodeTwice()
{
    QCOMPARE(DecodeBase64Text(DecodeBase64Text("UVVKRA==")), QString("ABC"));
}

void TestConnectionFormats::kilobytes_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<quint64>("kilobytes");

    QTest::newRow("nothing") << quint64(0) << quint64(0);
    QTest::newRow("product just below a half rounds down") << quint64(1500) << quint64(1);
    QTest::newRow("exact half rounds to even") << quint64(2500) << quint64(2);
    QTest::newRow("just above a half") << quint64(1501) << quint64(2);
    QTest::newRow("largest 32-bit count") << quint64(4294967295) << quint64(4294967);
    QTest::newRow("beyond 4 GiB keeps growing") << quint64(5000000000) << quint64(5000000);
    QTest::newRow("largest 64-bit count")
        << std::numeric_limits<quint64>::max() << quint64(18446744073709552);
}

void TestConnectionFormats::kilobytes()
{
    QFETCH(quint64, bytes);
    QFETCH(quint64, kilobytes);
    QCOMPARE(Kilobytes(bytes), kilobytes);
}

// Where long double is the 80-bit extended type (x86 with GCC), its arithmetic is the
// reference the exact computation must agree with.
void TestConnectionFormats::kilobytesMatchExtendedPrecision()
{
    if (std::numeric_limits<long double>::digits != 64)
        QSKIP("long double is not the 80-bit extended type here");
    const long double thousandth = 0.001L;
    const auto reference = [thousandth](quint64 bytes) {
        return quint64(std::nearbyintl(static_cast<long double>(bytes) * thousandth));
    };
    std::mt19937_64 random(20261211);
    for (quint64 bytes = 0; bytes < 200000; ++bytes)
        QCOMPARE(Kilobytes(bytes), reference(bytes));
    for (int i = 0; i < 200000; ++i) {
        const quint64 bytes = random() >> (random() % 33);
        QCOMPARE(Kilobytes(bytes), reference(bytes));
    }
    for (quint64 k = 0; k < 100000; ++k) {
        const quint64 halfway = k * 1000 + 500; // the ties and their neighbours
        for (quint64 bytes : {halfway - 1, halfway, halfway + 1})
            QCOMPARE(Kilobytes(bytes), reference(bytes));
    }
}

void TestConnectionFormats::trafficLine_data()
{
    QTest::addColumn<quint64>("sent");
    QTest::addColumn<quint64>("received");
    QTest::addColumn<qint64>("onlineMs");
    QTest::addColumn<QString>("line");

    QTest::newRow("an hour and a bit")
        << quint64(1500) << quint64(2500) << qint64((3600 + 2 * 60 + 3) * 1000 + 999)
        << "已加速:1KB/2KB  在线时间:01:02:03";
    QTest::newRow("just started") << quint64(0) << quint64(0) << qint64(0)
                                  << "已加速:0KB/0KB  在线时间:00:00:00";
    QTest::newRow("hours start again after a day")
        << quint64(1000) << quint64(2000) << qint64(25 * 3600 * 1000)
        << "已加速:1KB/2KB  在线时间:01:00:00";
    QTest::newRow("last second of a day")
        << quint64(999499) << quint64(1000400) << qint64(86399 * 1000)
        << "已加速:999KB/1000KB  在线时间:23:59:59";
}

void TestConnectionFormats::trafficLine()
{
    QFETCH(quint64, sent);
    QFETCH(quint64, received);
    QFETCH(qint64, onlineMs);
    QFETCH(QString, line);
    QCOMPARE(TrafficLine(sent, received, onlineMs), line);
}

void TestConnectionFormats::entryNameAndUniqueId_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("entryName");

    QTest::newRow("leading zeros only where wanted")
        << QDateTime(QDate(2012, 3, 5), QTime(9, 7, 4, 5)) << "030597405";
    QTest::newRow("two-digit fields") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58, 123))
                                      << "12312359581"
                                         "23";
    QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 0))
                              << "0101000"
                                 "00";
}

void TestConnectionFormats::entryNameAndUniqueId()
{
    QFETCH(QDateTime, moment);
    QFETCH(QString, entryName);

    QCOMPARE(EntryName(moment), entryName);
    int next = 0;
    const QString id = UniqueId(moment, [&next] { return next++ % 10; });
    QCOMPARE(id, QString::number(moment.date().year()) + entryName + "01234567");
}

QTEST_GUILESS_MAIN(TestConnectionFormats)
#include "tst_connectionformats.moc"
