#include "catalogue/LineRecord.h"

#include <QTest>

using catalogue::ServerListDocument;

class TestLineRecord : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void noRecordWithoutValue_data();
    void noRecordWithoutValue();
    void everyFilledLineOfAnAreaGetsARecord();
};

void TestLineRecord::fields_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("onlinerate");
    QTest::addColumn<QString>("l2tpstatus");

    const QString yes = QStringLiteral("支持");
    const QString no = QStringLiteral("不支持");
    QTest::newRow("flag 1") << "10.0.0.1,98%,1"
                            << "10.0.0.1"
                            << "98%" << yes;
    QTest::newRow("flag 0") << "10.0.0.1,98%,0"
                            << "10.0.0.1"
                            << "98%" << no;
    QTest::newRow("flag 2") << "10.0.0.1,98%,2"
                            << "10.0.0.1"
                            << "98%" << no;
    QTest::newRow("flag with a blank") << "10.0.0.1,98%, 1"
                                       << "10.0.0.1"
                                       << "98%" << yes;
    QTest::newRow("flag with sign") << "10.0.0.1,98%,+1"
                                    << "10.0.0.1"
                                    << "98%" << yes;
    QTest::newRow("flag with leading zero") << "10.0.0.1,98%,01"
                                            << "10.0.0.1"
                                            << "98%" << yes;
    QTest::newRow("flag -1") << "10.0.0.1,98%,-1"
                             << "10.0.0.1"
                             << "98%" << no;
    QTest::newRow("flag not a number") << "10.0.0.1,98%,x"
                                       << "10.0.0.1"
                                       << "98%" << no;
    QTest::newRow("flag with a fraction") << "10.0.0.1,98%,1.0"
                                          << "10.0.0.1"
                                          << "98%" << no;
    QTest::newRow("flag in hexadecimal") << "10.0.0.1,98%,0x1"
                                         << "10.0.0.1"
                                         << "98%" << no;
    QTest::newRow("flag too large") << "10.0.0.1,98%,4294967297"
                                    << "10.0.0.1"
                                    << "98%" << no;
    QTest::newRow("empty field moves the flag forward") << "10.0.0.2,,0"
                                                        << "10.0.0.2"
                                                        << "0" << no;
    QTest::newRow("host only") << "vpn.example.net"
                               << "vpn.example.net"
                               << "" << no;
    QTest::newRow("leading empty fields skipped") << ",,h,r,1"
                                                  << "h"
                                                  << "r" << yes;
    QTest::newRow("fields past the fifth dropped") << "h,95%,1,4,5,6,7"
                                                   << "h"
                                                   << "95%" << yes;
    QTest::newRow("free-text online rate") << "h,满载 ,1"
                                           << "h"
                                           << "满载 " << yes;
}

void TestLineRecord::fields()
{
    QFETCH(QString, value);
    QFETCH(QString, ip);
    QFETCH(QString, onlinerate);
    QFETCH(QString, l2tpstatus);

    const ServerListDocument document =
        ServerListDocument::parse(QStringLiteral("[Area A]\nLine 1=") + value);
    const std::optional<catalogue::ps> record =
        catalogue::makeLineRecord(document, QStringLiteral("Area A"), QStringLiteral("Line 1"));
    QVERIFY(record.has_value());
    QCOMPARE(record->ip, ip);
    QCOMPARE(record->name, QStringLiteral("Line 1"));
    QCOMPARE(record->delay, QStringLiteral("NA"));
    QCOMPARE(record->lostpacket, QString());
    QCOMPARE(record->sendtimes, QString());
    QCOMPARE(record->losttimes, 0);
    QCOMPARE(record->onlinerate, onlinerate);
    QCOMPARE(record->l2tpstatus, l2tpstatus);
}

void TestLineRecord::noRecordWithoutValue_data()
{
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty value") << "Area A"
                                 << "Line 2";
    QTest::newRow("blank value") << "Area A"
                                 << "Line 3";
    QTest::newRow("bare line") << "Area A"
                               << "";
    QTest::newRow("missing key") << "Area A"
                                 << "Line 4";
    QTest::newRow("missing area") << "Area B"
                                  << "Line 2";
}

void TestLineRecord::noRecordWithoutValue()
{
    QFETCH(QString, area);
    QFETCH(QString, key);

    const ServerListDocument document =
        ServerListDocument::parse(QStringLiteral("[Area A]\nLine 2=\nLine 3 =  \nbare\n"));
    QVERIFY(!catalogue::makeLineRecord(document, area, key).has_value());
}

void TestLineRecord::everyFilledLineOfAnAreaGetsARecord()
{
    const ServerListDocument document =
        ServerListDocument::parse(QStringLiteral("[华东电信]\n"
                                                 "上海1=127.0.1.1,98%,1\n"
                                                 "上海2=127.0.1.2,,0\n"
                                                 "上海3=\n"
                                                 "上海4=127.0.1.4,90%\n"
                                                 "上海5=127.0.1.5,80%,1\n"));

    QStringList rows;
    for (const QString &key : document.keys(QStringLiteral("华东电信"))) {
        if (const auto record =
                catalogue::makeLineRecord(document, QStringLiteral("华东电信"), key))
            rows.append(record->name + u' ' + record->ip + u' ' + record->l2tpstatus);
    }
    QCOMPARE(rows, (QStringList{"上海1 127.0.1.1 支持", "上海2 127.0.1.2 不支持",
                                "上海4 127.0.1.4 不支持", "上海5 127.0.1.5 支持"}));
}

QTEST_GUILESS_MAIN(TestLineRecord)
#include "tst_linerecord.moc"
