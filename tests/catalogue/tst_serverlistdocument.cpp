#include "catalogue/ServerListDocument.h"

#include <QRandomGenerator>
#include <QTest>

using catalogue::ServerListDocument;

class TestServerListDocument : public QObject
{
    Q_OBJECT

private slots:
    void structure_data();
    void structure();
    void value_data();
    void value();
    void emptyTextHasNoAreas();
    void binaryJunkNeverBreaksParsing();
    void largeDocument();
    void reservedRouteSections_data();
    void reservedRouteSections();
};

void TestServerListDocument::structure_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("sections");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("area with a line")
        << "[Area A]\nLine 1 = 10.0.0.1,98%,1" << QStringList{"Area A"} << "Area A"
        << QStringList{"Line 1"} << QStringList{"Line 1=10.0.0.1,98%,1"};
    QTest::newRow("blanks and control characters trimmed")
        << "\t [ Area A ] \x01\r\n  Line 1\t=\t10.0.0.1 \x1f\n"
        << QStringList{"Area A"} << "Area A" << QStringList{"Line 1"}
        << QStringList{"Line 1=10.0.0.1"};
    QTest::newRow("comments and empty lines skipped")
        << ";[Hidden]\n[A]\n\n; k1=1\n   ;k2=2\n \t \nk3=3\n"
        << QStringList{"A"} << "A" << QStringList{"k3"} << QStringList{"k3=3"};
    QTest::newRow("semicolon later in a line is text")
        << "[A]\nk=a;b" << QStringList{"A"} << "A" << QStringList{"k"} << QStringList{"k=a;b"};
    QTest::newRow("lines before the first section ignored")
        << "early=1\nword\n[A]\nk=v" << QStringList{"A"} << "A" << QStringList{"k"}
        << QStringList{"k=v"};
    QTest::newRow("key ends at the first equals sign")
        << "[A]\nk = a=b = c" << QStringList{"A"} << "A" << QStringList{"k"}
        << QStringList{"k=a=b = c"};
    QTest::newRow("line without equals sign has an empty key")
        << "[A]\njust a word\n=value\nk=" << QStringList{"A"} << "A" << QStringList{"", "", "k"}
        << QStringList{"=", "=value", "k="};
    QTest::newRow("header needs both brackets")
        << "[A]\n[B\nC]\n[D]x" << QStringList{"A"} << "A" << QStringList{"", "", ""}
        << QStringList{"=", "=", "="};
    QTest::newRow("header name trimmed, inner brackets kept")
        << "[ [A] ]\nk=v" << QStringList{"[A]"} << "[a]" << QStringList{"k"} << QStringList{"k=v"};
    QTest::newRow("empty section name")
        << "[]\nk=v\n[ ]" << QStringList{"", ""} << "" << QStringList{"k"} << QStringList{"k=v"};
    QTest::newRow("CR, LF and CR LF line ends")
        << "[A]\rk1=1\r\nk2=2\nk3=3\r\r\nk4=4" << QStringList{"A"} << "A"
        << QStringList{"k1", "k2", "k3", "k4"} << QStringList{"k1=1", "k2=2", "k3=3", "k4=4"};
    QTest::newRow("document order kept")
        << "[Z]\n[中]\n[A]\nz=1\nb=2\na=3" << QStringList{"Z", "中", "A"} << "A"
        << QStringList{"z", "b", "a"} << QStringList{"z=1", "b=2", "a=3"};
    QTest::newRow("duplicate section listed twice, first found")
        << "[A]\nk=1\n[B]\n[a]\nk=2\nm=3" << QStringList{"A", "B", "a"} << "a" << QStringList{"k"}
        << QStringList{"k=1"};
    QTest::newRow("duplicate keys both listed")
        << "[A]\nk=1\nK=2" << QStringList{"A"} << "A" << QStringList{"k", "K"}
        << QStringList{"k=1", "K=2"};
    QTest::newRow("section looked up ignoring Latin case")
        << "[Area A]\nk=v" << QStringList{"Area A"} << "AREA a" << QStringList{"k"}
        << QStringList{"k=v"};
    QTest::newRow("other letters keep their case")
        << "[Ärea]\nk=v" << QStringList{"Ärea"} << "ärea" << QStringList() << QStringList();
    QTest::newRow("missing section")
        << "[A]\nk=v" << QStringList{"A"} << "B" << QStringList() << QStringList();
}

void TestServerListDocument::structure()
{
    QFETCH(QString, text);
    QFETCH(QStringList, sections);
    QFETCH(QString, section);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, entries);

    const ServerListDocument document = ServerListDocument::parse(text);
    QCOMPARE(document.sectionNames(), sections);
    QCOMPARE(document.keys(section), keys);
    QCOMPARE(document.entries(section), entries);
}

void TestServerListDocument::value_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    // See the document in value().
    QTest::newRow("plain") << "Area A"
                           << "Line 1"
                           << "10.0.0.1,98%,1";
    QTest::newRow("Latin case ignored") << "area a"
                                        << "LINE 1"
                                        << "10.0.0.1,98%,1";
    QTest::newRow("first of duplicate keys") << "Area A"
                                             << "dup"
                                             << "first";
    QTest::newRow("first of duplicate sections") << "AREA A"
                                                 << "Line 9"
                                                 << "";
    QTest::newRow("empty value") << "Area A"
                                 << "Line 2"
                                 << "";
    QTest::newRow("value with blanks inside") << "Area A"
                                              << "spaced"
                                              << "a b";
    QTest::newRow("Chinese names") << "华东电信"
                                   << "上海1"
                                   << "127.0.1.1,90%,0";
    QTest::newRow("missing key") << "Area A"
                                 << "Line 3"
                                 << "";
    QTest::newRow("missing section") << "Area B"
                                     << "Line 1"
                                     << "";
    QTest::newRow("key before first section") << ""
                                              << "orphan"
                                              << "";
    QTest::newRow("empty key of a bare line") << "Area A"
                                              << ""
                                              << "";
}

void TestServerListDocument::value()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const ServerListDocument document =
        ServerListDocument::parse(QStringLiteral("orphan=1\n"
                                                 "[Area A]\n"
                                                 "Line 1 = 10.0.0.1,98%,1\n"
                                                 "Line 2=\n"
                                                 "dup=first\n"
                                                 "DUP=second\n"
                                                 "spaced =  a b  \n"
                                                 "bare line\n"
                                                 "[华东电信]\n"
                                                 "上海1=127.0.1.1,90%,0\n"
                                                 "[area a]\n"
                                                 "Line 9=10.0.0.9\n"));
    QCOMPARE(document.value(section, key), value);
}

void TestServerListDocument::emptyTextHasNoAreas()
{
    for (const QString &text : {QString(), QStringLiteral("\r\n \n; nothing\nk=v\n")}) {
        const ServerListDocument document = ServerListDocument::parse(text);
        QCOMPARE(document.sectionNames(), QStringList());
        QCOMPARE(document.entries(QString()), QStringList());
        QCOMPARE(document.value(QString(), QStringLiteral("k")), QString());
    }
}

void TestServerListDocument::binaryJunkNeverBreaksParsing()
{
    QRandomGenerator generator(20240305);
    for (int round = 0; round < 20; ++round) {
        QString junk(4096, Qt::Uninitialized);
        for (QChar &c : junk) {
            // Favour the characters the parser reacts to.
            static const char16_t Special[] = {u'[', u']', u'=', u';', u'\r', u'\n', 0, u' '};
            c = generator.bounded(4) == 0
                    ? QChar(Special[generator.bounded(static_cast<int>(std::size(Special)))])
                    : QChar(static_cast<char16_t>(generator.bounded(0x10000)));
        }
        const ServerListDocument document = ServerListDocument::parse(junk);
        for (const QString &section : document.sectionNames()) {
            QVERIFY(!section.contains(u'\n') && !section.contains(u'\r'));
            const QStringList keys = document.keys(section);
            QCOMPARE(document.entries(section).size(), keys.size());
            for (const QString &key : keys)
                QVERIFY(!key.contains(u'='));
        }
    }
}

void TestServerListDocument::largeDocument()
{
    QString text;
    const int areas = 500;
    const int linesPerArea = 200;
    for (int area = 0; area < areas; ++area) {
        text += QStringLiteral("[Area %1]\r\n").arg(area);
        for (int line = 0; line < linesPerArea; ++line)
            text += QStringLiteral("Line %1 = 10.%2.%3.1,98%,1 ; padding to make it big\r\n")
                        .arg(line)
                        .arg(area % 256)
                        .arg(line % 256);
    }
    QVERIFY(text.size() > 5 * 1024 * 1024);

    const ServerListDocument document = ServerListDocument::parse(text);
    QCOMPARE(document.sectionNames().size(), areas);
    QCOMPARE(document.sectionNames().last(), QStringLiteral("Area 499"));
    QCOMPARE(document.keys(QStringLiteral("area 499")).size(), linesPerArea);
    QCOMPARE(document.value(QStringLiteral("Area 499"), QStringLiteral("line 199")),
             QStringLiteral("10.243.199.1,98%,1 ; padding to make it big"));
}

void TestServerListDocument::reservedRouteSections_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("reserved");

    QTest::newRow("Route") << "Route" << true;
    QTest::newRow("route in other case") << "rOUTE" << true;
    QTest::newRow("海外加速") << "海外加速" << true;
    QTest::newRow("电信加速") << "电信加速" << true;
    QTest::newRow("网通加速") << "网通加速" << true;
    QTest::newRow("longer name") << "Routes" << false;
    QTest::newRow("area") << "华东电信" << false;
    QTest::newRow("empty") << "" << false;
}

void TestServerListDocument::reservedRouteSections()
{
    QFETCH(QString, name);
    QFETCH(bool, reserved);

    QCOMPARE(catalogue::isReservedRouteSection(name), reserved);
}

QTEST_GUILESS_MAIN(TestServerListDocument)
#include "tst_serverlistdocument.moc"
