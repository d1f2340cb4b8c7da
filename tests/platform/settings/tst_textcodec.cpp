#include "platform/settings/TextCodec.h"

#include <QByteArray>
#include <QString>
#include <QTest>

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void utf8ToUtf16_data();
    void utf8ToUtf16();

    void utf16ToUtf8_data();
    void utf16ToUtf8();
};

void TestTextCodec::utf8ToUtf16_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QString>("lenient");
    QTest::addColumn<bool>("wellFormed");

    const QString r(QChar(0xFFFD));
    QTest::newRow("empty") << QByteArray() << QString() << true;
    QTest::newRow("one to four bytes") << QByteArray("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80")
                                       << QString::fromUtf8("aé中😀") << true;
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z") << "a" + r + "z" << false;
    QTest::newRow("truncated at end") << QByteArray("a\xE4\xB8") << "a" + r << false;
    QTest::newRow("truncated before ASCII") << QByteArray("\xF0\x9F\x98z") << r + "z" << false;
    QTest::newRow("overlong") << QByteArray("\xC0\xAF\xE0\x80\xAF") << r.repeated(5) << false;
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << r.repeated(3) << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << r.repeated(4) << false;
    QTest::newRow("invalid lead bytes") << QByteArray("\xF5\xFF") << r.repeated(2) << false;
}

void TestTextCodec::utf8ToUtf16()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QString, lenient);
    QFETCH(bool, wellFormed);

    const std::string_view input(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    QCOMPARE(QString::fromStdU16String(platform::utf8ToUtf16(input)), lenient);
    const auto strict = platform::strictUtf8ToUtf16(input);
    QCOMPARE(strict.has_value(), wellFormed);
    if (strict)
        QCOMPARE(QString::fromStdU16String(*strict), lenient);
}

void TestTextCodec::utf16ToUtf8_data()
{
    QTest::addColumn<QString>("utf16");
    QTest::addColumn<QByteArray>("utf8");

    const QChar high(0xD83D);
    const QChar low(0xDE00);
    QTest::newRow("pairs and BMP")
        << QString::fromUtf8("aé中😀") << QByteArray("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    QTest::newRow("high surrogate at end") << "a" + QString(high) << QByteArray("a\xEF\xBF\xBD");
    QTest::newRow("lone low surrogate") << QString(low) + "b"
                                        << QByteArray("\xEF\xBF\xBD"
                                                      "b");
    QTest::newRow("pair in wrong order")
        << QString(low) + QString(high) << QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD");
}

void TestTextCodec::utf16ToUtf8()
{
    QFETCH(QString, utf16);
    QFETCH(QByteArray, utf8);

    const std::string converted = platform::utf16ToUtf8(utf16.toStdU16String());
    QCOMPARE(QByteArray::fromStdString(converted), utf8);
}

QTEST_APPLESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
