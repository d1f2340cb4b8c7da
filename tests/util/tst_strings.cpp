#include "app/Services.h"
#include "platform/http/HttpTransport.h"
#include "platform/settings/MemorySettingsStore.h"
#include "platform/settings/SettingsTestSupport.h"
#include "util/DateTimePattern.h"
#include "util/IStrings.h"
#include "util/Strings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <bit>
#include <cmath>
#include <functional>

using platform::RegistryRoot;
using platform::RegistryValue;

using TextOperation = std::function<void(util::IStrings &, bool keep, QString &out)>;
Q_DECLARE_METATYPE(TextOperation)

namespace {

class FakeHttpTransport : public platform::HttpTransport
{
public:
    platform::HttpResult reply;
    QList<QUrl> requested;

    platform::HttpResult get(const QUrl &url) override
    {
        requested.append(url);
        return reply;
    }
    platform::HttpResult postForm(const QUrl &, const platform::FormFields &) override
    {
        return {};
    }
};

template <std::size_t N> QStringList toList(const std::array<QString, N> &array)
{
    return QStringList(array.cbegin(), array.cend());
}

std::shared_ptr<util::IStrings> withText(const QString &text)
{
    auto strings = util::IStrings::create();
    strings->SetText(text);
    return strings;
}

QString currentText(util::IStrings &strings)
{
    QString text;
    strings.GetText(text);
    return text;
}

std::vector<std::uint8_t> littleEndianDouble(double value)
{
    const auto bytes = std::bit_cast<std::array<std::uint8_t, 8>>(value);
    if constexpr (std::endian::native == std::endian::little)
        return {bytes.cbegin(), bytes.cend()};
    else
        return {bytes.crbegin(), bytes.crend()};
}

// Makes a folder the working directory for one test.
class CurrentDirectory
{
public:
    explicit CurrentDirectory(const QString &path) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~CurrentDirectory() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
};

} // namespace

class TestStrings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void splitToList_data();
    void splitToList();
    void splitToListWithEmptySeparatorMakesNoList();
    void split5_data();
    void split5();
    void longerSplitsDropExtraPiecesAndKeepText();

    void keepDecidesWhetherResultBecomesText_data();
    void keepDecidesWhetherResultBecomesText();
    void subText_data();
    void subText();
    void posOf_data();
    void posOf();
    void startsAndEndsWith_data();
    void startsAndEndsWith();
    void sameText_data();
    void sameText();
    void takeFirstAndLastChar();
    void deleteText_data();
    void deleteText();
    void asInteger_data();
    void asInteger();
    void base64DecodeText_data();
    void base64DecodeText();
    void base64DecodeWithoutKeepChangesNothing();
    void byteConversions();
    void randomDigits();
    void asDate_data();
    void asDate();
    void formatDateTime_data();
    void formatDateTime();
    void saveAndRestoreText();
    void constructorsSetText();

    void pathParts_data();
    void pathParts();
    void textFileRoundTrip();
    void parseJson_data();
    void parseJson();

    void expandEnvironment_data();
    void expandEnvironment();
    void resolveProgramFile_data();
    void resolveProgramFile();
    void resolveProgramFileKeep_data();
    void resolveProgramFileKeep();

    void httpGet_data();
    void httpGet();

    void openKeyWithOrWithoutLeadingBackslash_data();
    void openKeyWithOrWithoutLeadingBackslash();
    void openKeyCreatesOnlyWhenAsked();
    void readsGiveDefaults_data();
    void readsGiveDefaults();
    void readStringWithEmptyNameReadsDefaultValue();
    void writesStoreTypedValues();
    void writesFailWithoutOpenKeyOrWhenRefused();
    void keyAndValueNames();
    void collectSubKeysDepthFirst();
    void deleteKeyAndKeyExistsResolvePaths_data();
    void deleteKeyAndKeyExistsResolvePaths();
    void keyPathAndSavedKeyName();
    void dateTimeValues_data();
    void dateTimeValues();
    void readBinaryText_data();
    void readBinaryText();

private:
    app::Services m_savedServices;
    std::unique_ptr<platform::MemorySettingsStore> m_store;
    QTemporaryDir m_files;
};

void TestStrings::initTestCase()
{
    QVERIFY(m_files.isValid());
    for (const QString &name : {QStringLiteral("svc.bin"), QStringLiteral("my svc.bin"),
                                QStringLiteral("Upper.v2.BIN")}) {
        QFile file(m_files.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    qputenv("TAVERIN_TEST_HOME", "/opt/taverin");
    qputenv("TAVERIN_TEST_LONG", QByteArray(1000, 'x'));
    qputenv("TAVERIN_TEST_FILES", QFile::encodeName(m_files.path()));
    m_savedServices = app::services();
}

void TestStrings::init()
{
    m_store = std::make_unique<platform::MemorySettingsStore>();
    app::services().settings = m_store.get();
}

void TestStrings::cleanup()
{
    app::services() = m_savedServices;
    m_store.reset();
}

// Splitting ---------------------------------------------------------------------------

void TestStrings::splitToList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("pieces");

    const QString token = QStringLiteral("0123456789abcdef0123456789abcdef");
    QTest::newRow("empty pieces dropped, last kept") << "a,,b,"
                                                     << "," << QStringList{"a", "b", ""};
    QTest::newRow("no separator") << "abc"
                                  << "," << QStringList{"abc"};
    QTest::newRow("leading separator") << ",x"
                                       << "," << QStringList{"x"};
    QTest::newRow("empty text") << ""
                                << "," << QStringList{""};
    QTest::newRow("separator is case-sensitive") << "aXbxc"
                                                 << "x" << QStringList{"aXb", "c"};
    QTest::newRow("multi-character separator is one unit") << "a--b---c"
                                                           << "--" << QStringList{"a", "b", "-c"};
    QTest::newRow("token separator")
        << "user" + token + "pass" + token << token << QStringList{"user", "pass", ""};
    QTest::newRow("token fragment is no separator")
        << "user" + token.left(31) + "pass" << token
        << QStringList{"user" + token.left(31) + "pass"};
}

void TestStrings::splitToList()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, pieces);

    const std::optional<QStringList> list = withText(text)->SplitToList(separator);
    QVERIFY(list.has_value());
    QCOMPARE(*list, pieces);
}

void TestStrings::splitToListWithEmptySeparatorMakesNoList()
{
    QVERIFY(!withText(QStringLiteral("a,b"))->SplitToList(QString()).has_value());
}

void TestStrings::split5_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("fields");

    const QString token = QStringLiteral("ffffffffffffffffffffffffffffffff");
    QTest::newRow("line value") << "10.0.0.1,98%,1"
                                << "," << QStringList{"10.0.0.1", "98%", "1", "", ""};
    QTest::newRow("sixth piece lost") << "a-b-c-d-e-f"
                                      << "-" << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("leading separator") << ",x"
                                       << "," << QStringList{"x", "", "", "", ""};
    QTest::newRow("empty text") << ""
                                << "," << QStringList{"", "", "", "", ""};
    QTest::newRow("empty field skipped") << "10.0.0.2,,0"
                                         << "," << QStringList{"10.0.0.2", "0", "", "", ""};
    QTest::newRow("empty separator") << "a,b"
                                     << "" << QStringList{"a,b", "", "", "", ""};
    QTest::newRow("32-character separator") << "ok" + token + "name" + token + "secret" << token
                                            << QStringList{"ok", "name", "secret", "", ""};
}

void TestStrings::split5()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, fields);

    auto strings = withText(text);
    std::array<QString, 5> out;
    out.fill(QStringLiteral("stale"));
    strings->Split5(out, separator);
    QCOMPARE(toList(out), fields);
    QCOMPARE(currentText(*strings), text);
}

void TestStrings::longerSplitsDropExtraPiecesAndKeepText()
{
    QStringList numbers;
    for (int i = 1; i <= 25; ++i)
        numbers.append(QString::number(i));
    const QString text = numbers.join(u' ');
    auto strings = withText(text);

    std::array<QString, 10> ten;
    strings->Split10(ten, QStringLiteral(" "));
    QCOMPARE(toList(ten), numbers.mid(0, 10));

    std::array<QString, 20> twenty;
    strings->Split20(twenty, QStringLiteral(" "));
    QCOMPARE(toList(twenty), numbers.mid(0, 20));

    withText(QStringLiteral("a b"))->Split20(twenty, QStringLiteral(" "));
    QCOMPARE(toList(twenty).mid(0, 3), (QStringList{"a", "b", ""}));
    QCOMPARE(toList(twenty).join(QString()), QStringLiteral("ab"));

    QCOMPARE(currentText(*strings), text);
}

// Text --------------------------------------------------------------------------------

void TestStrings::keepDecidesWhetherResultBecomesText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextOperation>("operation");
    QTest::addColumn<QString>("result");

    QTest::newRow("LowerText folds A-Z only")
        << "AbÄ-Z"
        << TextOperation([](util::IStrings &s, bool k, QString &o) { s.LowerText(k, o); })
        << "abÄ-z";
    QTest::newRow("UpperText folds a-z only")
        << "aBä-z"
        << TextOperation([](util::IStrings &s, bool k, QString &o) { s.UpperText(k, o); })
        << "ABä-Z";
    QTest::newRow("TrimText keeps ideographic space")
        << "\t\u3000ab \r\n"
        << TextOperation([](util::IStrings &s, bool k, QString &o) { s.TrimText(k, o); })
        << "\u3000ab";
    QTest::newRow("PrependText") << "b" << TextOperation([](util::IStrings &s, bool k, QString &o) {
        s.PrependText(QStringLiteral("a"), k, o);
    }) << "ab";
    QTest::newRow("AppendText") << "a" << TextOperation([](util::IStrings &s, bool k, QString &o) {
        s.AppendText(QStringLiteral("b"), k, o);
    }) << "ab";
    QTest::newRow("WrapText") << "x" << TextOperation([](util::IStrings &s, bool k, QString &o) {
        s.WrapText(QStringLiteral("\""), k, o);
    }) << "\"x\"";
    QTest::newRow("ReverseText") << "abc"
                                 << TextOperation([](util::IStrings &s, bool k, QString &o) {
                                        s.ReverseText(k, o);
                                    })
                                 << "cba";
    QTest::newRow("RepeatText") << "ab" << TextOperation([](util::IStrings &s, bool k, QString &o) {
        s.RepeatText(3, k, o);
    }) << "ababab";
    QTest::newRow("RepeatText none")
        << "ab"
        << TextOperation([](util::IStrings &s, bool k, QString &o) { s.RepeatText(0, k, o); })
        << "";
    QTest::newRow("ReplaceText first only")
        << "a.b.c" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QStringLiteral("."), QStringLiteral("-"), o, k, 0);
           })
        << "a-b.c";
    QTest::newRow("ReplaceText all")
        << "a.b.c" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QStringLiteral("."), QStringLiteral("-"), o, k, 1);
           })
        << "a-b-c";
    QTest::newRow("ReplaceText case-sensitive misses")
        << "Route ROUTE" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QStringLiteral("route"), QStringLiteral("r"), o, k, 1);
           })
        << "Route ROUTE";
    QTest::newRow("ReplaceText ignoring case, first")
        << "Route ROUTE" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QStringLiteral("route"), QStringLiteral("r"), o, k, 2);
           })
        << "r ROUTE";
    QTest::newRow("ReplaceText ignoring case, all")
        << "Route ROUTE" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QStringLiteral("route"), QStringLiteral("r"), o, k, 3);
           })
        << "r r";
    QTest::newRow("ReplaceText of nothing")
        << "abc" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceText(QString(), QStringLiteral("x"), o, k, 1);
           })
        << "abc";
    QTest::newRow("ReplaceSuffix first in list order")
        << "setup.exe.bak" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceSuffix({QStringLiteral(".bak"), QStringLiteral("exe.bak")}, o, k,
                               QStringLiteral(".old"));
           })
        << "setup.exe.old";
    QTest::newRow("ReplaceSuffix later entry")
        << "setup.exe" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceSuffix({QStringLiteral(".bak"), QStringLiteral(".exe")}, o, k,
                               QStringLiteral(".dll"));
           })
        << "setup.dll";
    QTest::newRow("ReplaceSuffix no match")
        << "setup.exe" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceSuffix({QStringLiteral(".bak"), QString()}, o, k, QStringLiteral(".x"));
           })
        << "setup.exe";
    QTest::newRow("ReplaceSuffix empty list")
        << "setup.exe" << TextOperation([](util::IStrings &s, bool k, QString &o) {
               s.ReplaceSuffix({}, o, k, QStringLiteral(".x"));
           })
        << "";
    QTest::newRow("ExpandEnvironment")
        << " %TAVERIN_TEST_HOME%/bin "
        << TextOperation([](util::IStrings &s, bool k, QString &o) { s.ExpandEnvironment(k, o); })
        << "/opt/taverin/bin";
}

void TestStrings::keepDecidesWhetherResultBecomesText()
{
    QFETCH(QString, text);
    QFETCH(TextOperation, operation);
    QFETCH(QString, result);

    auto kept = withText(text);
    QString out = QStringLiteral("stale");
    operation(*kept, true, out);
    QCOMPARE(out, result);
    QCOMPARE(currentText(*kept), result);

    auto unkept = withText(text);
    out = QStringLiteral("stale");
    operation(*unkept, false, out);
    QCOMPARE(out, result);
    QCOMPARE(currentText(*unkept), text);
}

void TestStrings::subText_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("sub");

    // Text "abcdef".
    QTest::newRow("from start") << 1 << 3 << "abc";
    QTest::newRow("middle") << 3 << 2 << "cd";
    QTest::newRow("count past end") << 5 << 10 << "ef";
    QTest::newRow("index past end") << 7 << 1 << "";
    QTest::newRow("index -1 is the last character") << -1 << 5 << "f";
    QTest::newRow("index -2 counts from the end") << -2 << 2 << "ef";
    QTest::newRow("index 0 is past the end") << 0 << 2 << "";
    QTest::newRow("far negative index starts at first") << -20 << 2 << "ab";
    QTest::newRow("negative count") << 2 << -1 << "";
}

void TestStrings::subText()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, sub);

    QString out;
    withText(QStringLiteral("abcdef"))->SubText(index, count, out);
    QCOMPARE(out, sub);
}

void TestStrings::posOf_data()
{
    QTest::addColumn<QString>("needle");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("position");

    // Text "abcabc".
    QTest::newRow("first") << "bc" << 0 << 2;
    QTest::newRow("negative start searches all") << "bc" << -3 << 2;
    QTest::newRow("start at occurrence") << "bc" << 2 << 2;
    QTest::newRow("start after first occurrence") << "bc" << 3 << 5;
    QTest::newRow("start past end") << "bc" << 10 << 0;
    QTest::newRow("case-sensitive") << "BC" << 0 << 0;
    QTest::newRow("empty needle") << "" << 0 << 0;
}

void TestStrings::posOf()
{
    QFETCH(QString, needle);
    QFETCH(int, start);
    QFETCH(int, position);

    QCOMPARE(withText(QStringLiteral("abcabc"))->PosOf(needle, start), position);
}

void TestStrings::startsAndEndsWith_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<bool>("ends");

    // Text "rundll32.exe".
    QTest::newRow("prefix") << "rundll" << true << false;
    QTest::newRow("suffix") << ".exe" << false << true;
    QTest::newRow("other case") << ".EXE" << false << false;
    QTest::newRow("whole text") << "rundll32.exe" << true << true;
    QTest::newRow("empty") << "" << true << false;
}

void TestStrings::startsAndEndsWith()
{
    QFETCH(QString, part);
    QFETCH(bool, starts);
    QFETCH(bool, ends);

    auto strings = withText(QStringLiteral("rundll32.exe"));
    QCOMPARE(strings->StartsWith(part), starts);
    QCOMPARE(strings->EndsWith(part), ends);
}

void TestStrings::sameText_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("same");

    // Text "Route-Ä".
    QTest::newRow("exact, mode 0") << "Route-Ä" << 0 << true;
    QTest::newRow("case differs, mode 0") << "route-Ä" << 0 << false;
    QTest::newRow("case differs, mode 1") << "ROUTE-Ä" << 1 << true;
    QTest::newRow("non-Latin case differs, mode 1") << "Route-ä" << 1 << false;
    QTest::newRow("case differs, mode 2") << "route-Ä" << 2 << false;
}

void TestStrings::sameText()
{
    QFETCH(QString, other);
    QFETCH(int, mode);
    QFETCH(bool, same);

    QCOMPARE(withText(QStringLiteral("Route-Ä"))->SameText(other, mode), same);
}

void TestStrings::takeFirstAndLastChar()
{
    auto strings = withText(QStringLiteral("abc"));
    QString out;
    strings->TakeFirstChar(false, out);
    QCOMPARE(out, QStringLiteral("a"));
    QCOMPARE(currentText(*strings), QStringLiteral("abc"));
    strings->TakeFirstChar(true, out);
    QCOMPARE(currentText(*strings), QStringLiteral("bc"));

    strings->TakeLastChar(false, out);
    QCOMPARE(out, QStringLiteral("c"));
    QCOMPARE(currentText(*strings), QStringLiteral("bc"));
    strings->TakeLastChar(true, out);
    QCOMPARE(currentText(*strings), QStringLiteral("b"));

    auto empty = util::IStrings::create();
    out = QStringLiteral("kept");
    empty->TakeLastChar(true, out);
    QCOMPARE(out, QStringLiteral("kept"));
    empty->TakeFirstChar(true, out);
    QCOMPARE(out, QString());
}

void TestStrings::deleteText_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("remaining");

    // Text "abcdef".
    QTest::newRow("middle") << 2 << 2 << "adef";
    QTest::newRow("count past end") << 5 << 10 << "abcd";
    QTest::newRow("index 0") << 0 << 2 << "abcdef";
    QTest::newRow("index past end") << 7 << 1 << "abcdef";
    QTest::newRow("count 0") << 1 << 0 << "abcdef";
}

void TestStrings::deleteText()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, remaining);

    auto strings = withText(QStringLiteral("abcdef"));
    QString out;
    strings->DeleteText(index, count, out);
    QCOMPARE(out, remaining);
    QCOMPARE(currentText(*strings), remaining);
}

void TestStrings::asInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("int32");
    QTest::addColumn<qint64>("int64");

    QTest::newRow("decimal") << "42" << 42 << qint64(42);
    QTest::newRow("signs") << "-17" << -17 << qint64(-17);
    QTest::newRow("plus") << "+8" << 8 << qint64(8);
    QTest::newRow("leading blanks") << "  7" << 7 << qint64(7);
    QTest::newRow("trailing blank") << "7 " << 0 << qint64(0);
    QTest::newRow("dollar hex") << "$1F" << 31 << qint64(31);
    QTest::newRow("0x hex") << "0x1f" << 31 << qint64(31);
    QTest::newRow("negative hex") << "-$10" << -16 << qint64(-16);
    QTest::newRow("hex wraps") << "$FFFFFFFF" << -1 << qint64(0xFFFFFFFF);
    QTest::newRow("int32 limits") << "-2147483648" << std::numeric_limits<qint32>::min()
                                  << qint64(std::numeric_limits<qint32>::min());
    QTest::newRow("past int32") << "2147483648" << 0 << qint64(2147483648LL);
    QTest::newRow("int64 max") << "9223372036854775807" << 0 << std::numeric_limits<qint64>::max();
    QTest::newRow("past int64") << "9223372036854775808" << 0 << qint64(0);
    QTest::newRow("not a number") << "12a" << 0 << qint64(0);
    QTest::newRow("sign only") << "-" << 0 << qint64(0);
    QTest::newRow("prefix only") << "$" << 0 << qint64(0);
    QTest::newRow("empty") << "" << 0 << qint64(0);
    QTest::newRow("fraction") << "1.5" << 0 << qint64(0);
}

void TestStrings::asInteger()
{
    QFETCH(QString, text);
    QFETCH(qint32, int32);
    QFETCH(qint64, int64);

    auto strings = withText(text);
    QCOMPARE(strings->AsInteger(), int32);
    QCOMPARE(strings->AsInt64(), int64);
}

void TestStrings::base64DecodeText_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("decoded");

    QTest::newRow("padded") << "aGVsbG8="
                            << "hello";
    QTest::newRow("unpadded") << "aGVsbG8"
                              << "hello";
    QTest::newRow("foreign characters skipped") << "aG\r\nVs*bG 8="
                                                << "hello";
    QTest::newRow("non-Latin-1 characters skipped") << "aGV中sbG8="
                                                    << "hello";
    QTest::newRow("result trimmed") << "IGhpIAo="
                                    << "hi";
    QTest::newRow("bytes become characters") << "6Q=="
                                             << "\u00e9";
    QTest::newRow("empty") << ""
                           << "";
}

void TestStrings::base64DecodeText()
{
    QFETCH(QString, encoded);
    QFETCH(QString, decoded);

    auto strings = withText(encoded);
    strings->Base64DecodeText(true);
    QCOMPARE(currentText(*strings), decoded);
}

void TestStrings::base64DecodeWithoutKeepChangesNothing()
{
    auto strings = withText(QStringLiteral("aGVsbG8="));
    strings->Base64DecodeText(false);
    QCOMPARE(currentText(*strings), QStringLiteral("aGVsbG8="));
}

void TestStrings::byteConversions()
{
    auto strings = util::IStrings::create();
    QString out;
    strings->FromAnsiChars("A\xe9z", false, out);
    QCOMPARE(out, QStringLiteral("A\u00e9z"));
    strings->FromAnsiChars(nullptr, false, out);
    QCOMPARE(out, QString());

    strings->ByteDigits("A\x09\xff", true, out);
    QCOMPARE(out, QStringLiteral("692"));
    QCOMPARE(currentText(*strings), QStringLiteral("692"));
}

void TestStrings::randomDigits()
{
    auto strings = util::IStrings::create();
    QString out;
    strings->RandomDigits(0, false, out);
    QCOMPARE(out, QString());

    strings->RandomDigits(50, true, out);
    // Fifty picks of "1" to "10": a "0" only ever ends a "10".
    static const QRegularExpression Picks(QStringLiteral("^(10|[1-9]){50}$"));
    QVERIFY2(Picks.match(out).hasMatch(), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("00")));
    QVERIFY(!out.startsWith(u'0'));
    QCOMPARE(currentText(*strings), out);
}

void TestStrings::asDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("date");

    QTest::newRow("ISO") << "2024-03-01" << QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    QTest::newRow("slashes") << " 2024/3/9 " << QDateTime(QDate(2024, 3, 9), QTime(0, 0));
    QTest::newRow("no such day") << "2024-02-30" << QDateTime();
    QTest::newRow("not a date") << "soon" << QDateTime();
}

void TestStrings::asDate()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, date);

    QCOMPARE(withText(text)->AsDate(), date);
}

void TestStrings::formatDateTime_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("formatted");

    // 2024-03-05 07:08:09.045, a Tuesday.
    QTest::newRow("date padded") << "yyyy-mm-dd"
                                 << "2024-03-05";
    QTest::newRow("date unpadded") << "yy/m/d"
                                   << "24/3/5";
    QTest::newRow("minutes after hours") << "hh:mm:ss"
                                         << "07:08:09";
    QTest::newRow("month when no hour before") << "mm nn"
                                               << "03 08";
    QTest::newRow("unpadded time") << "h:n:s"
                                   << "7:8:9";
    QTest::newRow("milliseconds") << "z zzz"
                                  << "45 045";
    QTest::newRow("upper-case letters") << "YYYY-MM-DD HH:NN"
                                        << "2024-03-05 07:08";
    QTest::newRow("quoted literal") << "'day' d \"at\" h"
                                    << "day 5 at 7";
    QTest::newRow("unterminated quote") << "d 'rest"
                                        << "5 rest";
    QTest::newRow("names") << "ddd mmm"
                           << "Tue Mar";
    QTest::newRow("long names") << "dddd mmmm"
                                << "Tuesday March";
    QTest::newRow("other characters") << "[yyyy]_#"
                                      << "[2024]_#";
}

void TestStrings::formatDateTime()
{
    QFETCH(QString, pattern);
    QFETCH(QString, formatted);

    const QDateTime moment(QDate(2024, 3, 5), QTime(7, 8, 9, 45));
    QCOMPARE(util::formatDateTime(moment, pattern, QLocale::c()), formatted);
}

void TestStrings::saveAndRestoreText()
{
    auto strings = util::IStrings::create();
    strings->RestoreText();
    QCOMPARE(currentText(*strings), QString());
    strings->SetText(QStringLiteral("first"));
    strings->SaveText();
    strings->SetText(QStringLiteral("second"));
    strings->RestoreText();
    QCOMPARE(currentText(*strings), QStringLiteral("first"));
    QCOMPARE(strings->TextLength(), 5);
}

void TestStrings::constructorsSetText()
{
    QString out;
    util::Strings(-12).GetText(out);
    QCOMPARE(out, QStringLiteral("-12"));
    util::Strings(QStringLiteral("x")).GetText(out);
    QCOMPARE(out, QStringLiteral("x"));
    util::Strings().GetText(out);
    QCOMPARE(out, QString());

    util::Strings numbers;
    numbers.SetInteger(2024, out);
    QCOMPARE(out, QStringLiteral("2024"));
    QCOMPARE(currentText(numbers), QStringLiteral("2024"));
}

// Files and paths ---------------------------------------------------------------------

void TestStrings::pathParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("drive");

    QTest::newRow("Windows path") << "C:\\Windows\\system32\\svchost.exe"
                                  << "svchost.exe"
                                  << ".exe"
                                  << "C:\\Windows\\system32\\"
                                  << "C:";
    QTest::newRow("POSIX path") << "/usr/lib/tool.so.1"
                                << "tool.so.1"
                                << ".1"
                                << "/usr/lib/"
                                << "";
    QTest::newRow("drive relative") << "D:setup.exe"
                                    << "setup.exe"
                                    << ".exe"
                                    << "D:"
                                    << "D:";
    QTest::newRow("dot in folder only") << "C:\\a.b\\readme"
                                        << "readme"
                                        << ""
                                        << "C:\\a.b\\"
                                        << "C:";
    QTest::newRow("UNC") << "\\\\server\\share\\dir\\f.txt"
                         << "f.txt"
                         << ".txt"
                         << "\\\\server\\share\\dir\\"
                         << "\\\\server\\share";
    QTest::newRow("UNC share only") << "\\\\server\\share"
                                    << "share"
                                    << ""
                                    << "\\\\server\\"
                                    << "\\\\server\\share";
    QTest::newRow("UNC with slashes") << "//server/share/f"
                                      << "f"
                                      << ""
                                      << "//server/share/"
                                      << "//server/share";
    QTest::newRow("file URL") << "FILE://C:/dir/page.htm"
                              << "page.htm"
                              << ".htm"
                              << "FILE://C:/dir/"
                              << "C:";
    QTest::newRow("bare name") << "notes"
                               << "notes"
                               << ""
                               << ""
                               << "";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << ""
                           << "";
}

void TestStrings::pathParts()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, ext);
    QFETCH(QString, folder);
    QFETCH(QString, drive);

    auto strings = withText(path);
    QString out;
    strings->FileNamePart(out);
    QCOMPARE(out, name);
    strings->FileExtPart(out);
    QCOMPARE(out, ext);
    strings->FilePathPart(out);
    QCOMPARE(out, folder);
    strings->FileDrivePart(out);
    QCOMPARE(out, drive);
    QCOMPARE(currentText(*strings), path);
}

void TestStrings::textFileRoundTrip()
{
    const QString path = m_files.filePath(QStringLiteral("round-trip.txt"));
    auto writer = withText(QStringLiteral("  上海1=127.0.1.1\n"));
    QVERIFY(writer->SaveTextFile(path));
    QVERIFY(writer->FileExistsAt(path));
    QVERIFY(!writer->FileExistsAt(m_files.path()));

    auto reader = withText(QStringLiteral("before"));
    reader->LoadTextFile(m_files.filePath(QStringLiteral("missing.txt")));
    QCOMPARE(currentText(*reader), QStringLiteral("before"));
    reader->LoadTextFile(path);
    QCOMPARE(currentText(*reader), QStringLiteral("上海1=127.0.1.1"));

    QVERIFY(!writer->SaveTextFile(m_files.filePath(QStringLiteral("no-such-dir/x.txt"))));

    auto named = withText(path);
    QVERIFY(named->FileExistsAt(QString()));
}

void TestStrings::parseJson_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("parsed");

    QTest::newRow("object") << R"({"days": 30, "user": "alice"})" << true;
    QTest::newRow("array") << "[1, 2]" << false;
    QTest::newRow("broken") << R"({"days": )" << false;
    QTest::newRow("empty") << "" << false;
}

void TestStrings::parseJson()
{
    QFETCH(QString, text);
    QFETCH(bool, parsed);

    std::optional<QJsonObject> out = QJsonObject{{QStringLiteral("stale"), 1}};
    withText(text)->ParseJson(out);
    QCOMPARE(out.has_value(), parsed);
    if (parsed)
        QCOMPARE(out->value(QStringLiteral("user")).toString(), QStringLiteral("alice"));
}

// Environment and program files -------------------------------------------------------

void TestStrings::expandEnvironment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");

    const QString long1000 = QString(1000, u'x');
    QTest::newRow("known name") << "%TAVERIN_TEST_HOME%\\bin"
                                << "/opt/taverin\\bin";
    QTest::newRow("unknown name left as written") << "%TAVERIN_NO_SUCH_NAME%\\bin"
                                                  << "%TAVERIN_NO_SUCH_NAME%\\bin";
    QTest::newRow("names are case-sensitive") << "%taverin_test_home%"
                                              << "%taverin_test_home%";
    QTest::newRow("trimmed") << "  %TAVERIN_TEST_HOME% \t"
                             << "/opt/taverin";
    QTest::newRow("lone percent before a reference") << "100% %TAVERIN_TEST_HOME%"
                                                     << "100% /opt/taverin";
    QTest::newRow("unclosed reference") << "a %TAVERIN_TEST_HOME"
                                        << "a %TAVERIN_TEST_HOME";
    QTest::newRow("1023 characters fit")
        << "%TAVERIN_TEST_LONG%" + QString(23, u'y') << long1000 + QString(23, u'y');
    QTest::newRow("1024 characters do not fit")
        << "%TAVERIN_TEST_LONG%" + QString(24, u'y') << "%TAVERIN_TEST_LONG%" + QString(24, u'y');
    QTest::newRow("far too long keeps text untrimmed")
        << " %TAVERIN_TEST_LONG%%TAVERIN_TEST_LONG% "
        << " %TAVERIN_TEST_LONG%%TAVERIN_TEST_LONG% ";
}

void TestStrings::expandEnvironment()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);

    QString out;
    withText(text)->ExpandEnvironment(false, out);
    QCOMPARE(out, expanded);
}

void TestStrings::resolveProgramFile_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("programFile");

    // The working directory holds "svc.bin", "my svc.bin" and "Upper.v2.BIN".
    QTest::newRow("existing file") << "svc.bin"
                                   << "svc.bin";
    QTest::newRow("first word of command line") << "  svc.bin -k netsvcs "
                                                << "svc.bin";
    QTest::newRow("quoted path with arguments") << "\"my svc.bin\" -a"
                                                << "my svc.bin";
    QTest::newRow("original case of first word") << "Upper.v2.BIN /x"
                                                 << "Upper.v2.BIN";
    QTest::newRow("quoted original case") << "\"Upper.v2.BIN\" /x"
                                          << "Upper.v2.BIN";
    QTest::newRow("environment in first word")
        << "%TAVERIN_TEST_FILES%/svc.bin -x" << m_files.filePath(QStringLiteral("svc.bin"));
    QTest::newRow("svchost fallback") << "C:\\Windows\\system32\\svchost.exe -k netsvcs"
                                      << "C:\\Windows\\system32\\svchost.exe";
    QTest::newRow("rundll32 launcher") << " RunDll32.exe shell32.dll,Control_RunDLL"
                                       << "rundll32.exe ";
}

void TestStrings::resolveProgramFile()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, programFile);

    const CurrentDirectory inFiles(m_files.path());
    auto strings = withText(commandLine);
    QString out;
    strings->ResolveProgramFile(false, out);
    QCOMPARE(out, programFile);
    QCOMPARE(currentText(*strings), commandLine);
}

void TestStrings::resolveProgramFileKeep_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("programFile");
    QTest::addColumn<QString>("textAfter");

    QTest::newRow("rundll32 keeps the normalised command line")
        << " RunDll32.exe shell32.dll,Control_RunDLL "
        << "rundll32.exe "
        << "rundll32.exe shell32.dll,control_rundll";
    QTest::newRow("others keep the program file") << "C:\\Windows\\system32\\svchost.exe -k netsvcs"
                                                  << "C:\\Windows\\system32\\svchost.exe"
                                                  << "C:\\Windows\\system32\\svchost.exe";
}

void TestStrings::resolveProgramFileKeep()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, programFile);
    QFETCH(QString, textAfter);

    auto strings = withText(commandLine);
    QString out;
    strings->ResolveProgramFile(true, out);
    QCOMPARE(out, programFile);
    QCOMPARE(currentText(*strings), textAfter);
}

// HTTP --------------------------------------------------------------------------------

void TestStrings::httpGet_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("textAfter");

    QTest::newRow("success, keep") << true << "[华东]" << true << "[华东]"
                                   << "[华东]";
    QTest::newRow("success, no keep") << true << "[华东]" << false << "[华东]"
                                      << "before";
    QTest::newRow("failure, keep empties text") << false << "partial" << true << ""
                                                << "";
    QTest::newRow("failure, no keep") << false << "" << false << ""
                                      << "before";
}

void TestStrings::httpGet()
{
    QFETCH(bool, ok);
    QFETCH(QString, body);
    QFETCH(bool, keep);
    QFETCH(QString, out);
    QFETCH(QString, textAfter);

    FakeHttpTransport http;
    http.reply =
        platform::HttpResult{ok, ok ? 200 : 0, body, ok ? QString() : QStringLiteral("refused")};
    app::services().http = &http;

    const QString url = QStringLiteral("http://127.0.0.1:8000/sysadmin/useradmin/"
                                       "vpnlist7193.php?viewstr=e7d2f9a0c3b");
    auto strings = withText(QStringLiteral("before"));
    QString result = QStringLiteral("stale");
    strings->HttpGet(url, keep, result);
    QCOMPARE(result, out);
    QCOMPARE(currentText(*strings), textAfter);
    QCOMPARE(http.requested, QList<QUrl>{QUrl(url)});
}

// Settings ----------------------------------------------------------------------------

void TestStrings::openKeyWithOrWithoutLeadingBackslash_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("writePath");
    QTest::addColumn<QString>("readPath");
    QTest::addColumn<QString>("storePath");

    QTest::newRow("from the root, written with backslash") << ""
                                                           << "\\SOFTWARE\\zavazizud"
                                                           << "SOFTWARE\\zavazizud"
                                                           << "SOFTWARE\\zavazizud";
    QTest::newRow("from the root, read with backslash") << ""
                                                        << "Software\\zorizov"
                                                        << "\\Software\\zorizov"
                                                        << "Software\\zorizov";
    QTest::newRow("below a prefix") << "Software"
                                    << "\\zorizov"
                                    << "zorizov"
                                    << "Software\\zorizov";
}

void TestStrings::openKeyWithOrWithoutLeadingBackslash()
{
    QFETCH(QString, prefix);
    QFETCH(QString, writePath);
    QFETCH(QString, readPath);
    QFETCH(QString, storePath);

    auto writer = util::IStrings::create();
    writer->SetRootKey(RegistryRoot::LocalMachine);
    writer->SetKeyPrefix(prefix);
    writer->OpenKey(writePath, true);
    writer->SetValueName(QStringLiteral("area"));
    QVERIFY(writer->WriteString(QStringLiteral("华东电信")));
    QCOMPARE(m_store->readValue(RegistryRoot::LocalMachine, u16(storePath), u"area"),
             RegistryValue::fromString(u"华东电信"));

    auto reader = util::IStrings::create();
    reader->SetRootKey(RegistryRoot::LocalMachine);
    reader->SetKeyPrefix(prefix);
    reader->OpenKey(readPath, false);
    reader->SetValueName(QStringLiteral("area"));
    QString out;
    reader->ReadString(false, out);
    QCOMPARE(out, QStringLiteral("华东电信"));
}

void TestStrings::openKeyCreatesOnlyWhenAsked()
{
    auto strings = util::IStrings::create();
    strings->SetValueName(QStringLiteral("user"));
    strings->OpenKey(QStringLiteral("Software\\zorizov"), false);
    QVERIFY(!m_store->keyExists(RegistryRoot::CurrentUser, u"Software\\zorizov"));
    QVERIFY(!strings->WriteString(QStringLiteral("alice")));

    strings->OpenKey(QStringLiteral("Software\\zorizov"), true);
    QVERIFY(m_store->keyExists(RegistryRoot::CurrentUser, u"Software\\zorizov"));
    QVERIFY(strings->WriteString(QStringLiteral("alice")));
    QCOMPARE(m_store->readValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"user"),
             RegistryValue::fromString(u"alice"));
    QVERIFY(!m_store->keyExists(RegistryRoot::LocalMachine, u"Software\\zorizov"));
}

void TestStrings::readsGiveDefaults_data()
{
    QTest::addColumn<QString>("situation");

    QTest::newRow("missing value") << "missing value";
    QTest::newRow("value of another type") << "other type";
    QTest::newRow("key not opened") << "not opened";
    QTest::newRow("key does not exist") << "missing key";
    QTest::newRow("key closed") << "closed";
    QTest::newRow("no settings store") << "no store";
}

void TestStrings::readsGiveDefaults()
{
    QFETCH(QString, situation);

    QVERIFY(m_store->createKey(RegistryRoot::CurrentUser, u"Software\\zorizov"));
    QVERIFY(m_store->writeValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"other",
                                RegistryValue::fromString(u"1")));
    QVERIFY(m_store->writeValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"flag",
                                RegistryValue::fromDWord(1)));

    auto strings = withText(QStringLiteral("before"));
    if (situation != QLatin1String("not opened")) {
        strings->OpenKey(situation == QLatin1String("missing key")
                             ? QStringLiteral("Software\\nothing")
                             : QStringLiteral("Software\\zorizov"),
                         false);
    }
    if (situation == QLatin1String("closed"))
        strings->CloseKey();
    if (situation == QLatin1String("no store"))
        app::services().settings = nullptr;
    if (situation == QLatin1String("missing value"))
        strings->SetValueName(QStringLiteral("nothing"));
    else if (situation == QLatin1String("other type"))
        strings->SetValueName(QStringLiteral("other"));
    else
        strings->SetValueName(QStringLiteral("flag"));

    QCOMPARE(strings->ReadBool(), false);
    QCOMPARE(strings->ReadInteger(), 0);
    QCOMPARE(strings->ReadDateTime(), QDateTime());
    QString out = QStringLiteral("stale");
    strings->ReadBinaryText(false, out);
    QCOMPARE(out, QString());
    if (situation != QLatin1String("other type")) {
        QVERIFY(!strings->ValueExists(QStringLiteral("nothing")));
        strings->ReadString(true, out);
        QCOMPARE(out, QString());
        QCOMPARE(currentText(*strings), QString());
    }
}

void TestStrings::readStringWithEmptyNameReadsDefaultValue()
{
    QVERIFY(m_store->createKey(RegistryRoot::LocalMachine, u"SOFTWARE\\zavazizud"));
    QVERIFY(m_store->writeValue(RegistryRoot::LocalMachine, u"SOFTWARE\\zavazizud", u"",
                                RegistryValue::fromString(u"default")));
    QVERIFY(m_store->writeValue(RegistryRoot::LocalMachine, u"SOFTWARE\\zavazizud", u"named",
                                RegistryValue::fromString(u"named value")));

    auto strings = util::IStrings::create();
    strings->SetRootKey(RegistryRoot::LocalMachine);
    strings->OpenKey(QStringLiteral("\\SOFTWARE\\zavazizud"), false);
    QString out;
    strings->ReadString(true, out);
    QCOMPARE(out, QStringLiteral("default"));
    QCOMPARE(currentText(*strings), QStringLiteral("default"));
    strings->SetValueName(QStringLiteral("NAMED"));
    strings->ReadString(false, out);
    QCOMPARE(out, QStringLiteral("named value"));
    QCOMPARE(currentText(*strings), QStringLiteral("default"));
}

void TestStrings::writesStoreTypedValues()
{
    auto strings = util::IStrings::create();
    strings->OpenKey(QStringLiteral("Software\\zorizov"), true);
    const auto stored = [this](const char16_t *name) {
        return m_store->readValue(RegistryRoot::CurrentUser, u"Software\\zorizov", name);
    };

    strings->SetValueName(QStringLiteral("redial"));
    QVERIFY(strings->WriteBool(true));
    QCOMPARE(stored(u"redial"), RegistryValue::fromDWord(1));
    QVERIFY(strings->ReadBool());
    QVERIFY(strings->WriteBool(false));
    QCOMPARE(stored(u"redial"), RegistryValue::fromDWord(0));
    QVERIFY(!strings->ReadBool());

    strings->SetValueName(QStringLiteral("count"));
    QVERIFY(strings->WriteInteger(-2));
    QCOMPARE(stored(u"count"), RegistryValue::fromDWord(0xFFFFFFFEU));
    QCOMPARE(strings->ReadInteger(), -2);
    QVERIFY(strings->ReadBool());

    strings->SetValueName(QStringLiteral("user"));
    QVERIFY(strings->WriteString(QStringLiteral("张三")));
    QCOMPARE(stored(u"user"), RegistryValue::fromString(u"张三"));
    QVERIFY(strings->ValueExists(QStringLiteral("USER")));

    QVERIFY(strings->DeleteValue());
    QVERIFY(!stored(u"user").has_value());
    QVERIFY(!strings->DeleteValue());
}

void TestStrings::writesFailWithoutOpenKeyOrWhenRefused()
{
    auto unopened = util::IStrings::create();
    unopened->SetValueName(QStringLiteral("user"));
    QVERIFY(!unopened->WriteString(QStringLiteral("alice")));
    QVERIFY(!unopened->WriteBool(true));
    QVERIFY(!unopened->WriteInteger(1));
    QVERIFY(!unopened->WriteDateTime(QDateTime(QDate(2024, 1, 1), QTime(0, 0))));
    QVERIFY(!unopened->DeleteValue());

    QVERIFY(m_store->createKey(RegistryRoot::LocalMachine, u"SOFTWARE\\zavazizud"));
    m_store->setWritable(RegistryRoot::LocalMachine, false);
    auto refused = util::IStrings::create();
    refused->SetRootKey(RegistryRoot::LocalMachine);
    refused->OpenKey(QStringLiteral("\\SOFTWARE\\zavazizud"), true);
    refused->SetValueName(QStringLiteral("area"));
    QVERIFY(!refused->WriteString(QStringLiteral("华东")));
    QVERIFY(!refused->DeleteKey(QStringLiteral("\\SOFTWARE")));
    QVERIFY(m_store->keyExists(RegistryRoot::LocalMachine, u"SOFTWARE\\zavazizud"));

    refused->OpenKey(QStringLiteral("\\SOFTWARE\\new"), true);
    QVERIFY(!m_store->keyExists(RegistryRoot::LocalMachine, u"SOFTWARE\\new"));
    QVERIFY(!refused->WriteString(QStringLiteral("华东")));
}

void TestStrings::keyAndValueNames()
{
    for (const char16_t *path : {u"Software\\app\\b", u"Software\\app\\a", u"Software\\app\\a\\x"})
        QVERIFY(m_store->createKey(RegistryRoot::CurrentUser, path));
    for (const char16_t *name : {u"v2", u"v1"}) {
        QVERIFY(m_store->writeValue(RegistryRoot::CurrentUser, u"Software\\app", name,
                                    RegistryValue::fromDWord(0)));
    }

    auto strings = util::IStrings::create();
    strings->SetKeyPrefix(QStringLiteral("Software"));
    QStringList names{QStringLiteral("stale")};
    strings->KeyNames(names);
    QCOMPARE(names, QStringList());
    QVERIFY(!strings->HasSubKeys());

    strings->OpenKey(QStringLiteral("app"), false);
    QVERIFY(strings->HasSubKeys());
    strings->KeyNames(names);
    QCOMPARE(names, (QStringList{"b", "a"}));
    names = QStringList{QStringLiteral("stale")};
    strings->ValueNames(names);
    QCOMPARE(names, (QStringList{"v2", "v1"}));

    strings->OpenKey(QStringLiteral("app\\b"), false);
    QVERIFY(!strings->HasSubKeys());
    strings->ValueNames(names);
    QCOMPARE(names, QStringList());
}

void TestStrings::collectSubKeysDepthFirst()
{
    for (const char16_t *path : {u"R\\a\\a1\\deep", u"R\\a\\a2", u"R\\b", u"Other\\c"})
        QVERIFY(m_store->createKey(RegistryRoot::LocalMachine, path));
    QVERIFY(m_store->createKey(RegistryRoot::CurrentUser, u"R\\user-only"));

    auto strings = util::IStrings::create();
    QStringList keys{QStringLiteral("kept")};
    strings->CollectSubKeys(keys, QStringLiteral("R"), RegistryRoot::LocalMachine);
    QCOMPARE(keys, (QStringList{"kept", "R\\a", "R\\a\\a1", "R\\a\\a1\\deep", "R\\a\\a2", "R\\b"}));

    strings->CollectSubKeys(keys, QStringLiteral("R\\missing"), RegistryRoot::LocalMachine);
    QCOMPARE(keys.size(), 6);
    QVERIFY(!m_store->keyExists(RegistryRoot::LocalMachine, u"R\\missing"));
}

void TestStrings::deleteKeyAndKeyExistsResolvePaths_data()
{
    QTest::addColumn<bool>("keyOpen");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("deleted");

    // Prefix "Software"; open key (when open) "Software\app"; keys "Software\app\child",
    // "child" and "Software\child" exist.
    QTest::newRow("relative to the open key") << true << "child"
                                              << "Software\\app\\child";
    QTest::newRow("from the root with a key open") << true << "\\child"
                                                   << "child";
    QTest::newRow("relative to the prefix") << false << "child"
                                            << "Software\\child";
    QTest::newRow("full path from the root") << false << "\\Software\\app\\child"
                                             << "Software\\app\\child";
}

void TestStrings::deleteKeyAndKeyExistsResolvePaths()
{
    QFETCH(bool, keyOpen);
    QFETCH(QString, key);
    QFETCH(QString, deleted);

    const QStringList all{QStringLiteral("Software\\app\\child"), QStringLiteral("child"),
                          QStringLiteral("Software\\child")};
    for (const QString &path : all)
        QVERIFY(m_store->createKey(RegistryRoot::CurrentUser, u16(path)));

    auto strings = util::IStrings::create();
    strings->SetKeyPrefix(QStringLiteral("Software"));
    if (keyOpen)
        strings->OpenKey(QStringLiteral("app"), false);

    QVERIFY(strings->KeyExists(key));
    QVERIFY(strings->DeleteKey(key));
    QVERIFY(!strings->KeyExists(key));
    QVERIFY(!strings->DeleteKey(key));
    for (const QString &path : all)
        QCOMPARE(m_store->keyExists(RegistryRoot::CurrentUser, u16(path)), path != deleted);
}

void TestStrings::keyPathAndSavedKeyName()
{
    auto strings = util::IStrings::create();
    strings->SetKeyPrefix(QStringLiteral("Software"));
    strings->OpenKey(QStringLiteral("\\zorizov"), true);
    QString path;
    strings->KeyPath(path);
    QCOMPARE(path, QStringLiteral("Software\\zorizov"));

    strings->SaveKeyName();
    strings->OpenKey(QString(), false);
    strings->KeyPath(path);
    QCOMPARE(path, QStringLiteral("Software"));
    strings->RestoreKeyName();
    strings->KeyPath(path);
    QCOMPARE(path, QStringLiteral("Software\\zorizov"));
}

void TestStrings::dateTimeValues_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<double>("days");

    QTest::newRow("day zero noon") << QDateTime(QDate(1899, 12, 30), QTime(12, 0)) << 0.5;
    QTest::newRow("2000-01-01 06:00") << QDateTime(QDate(2000, 1, 1), QTime(6, 0)) << 36526.25;
    QTest::newRow("before day zero") << QDateTime(QDate(1899, 12, 29), QTime(6, 0)) << -1.25;
    QTest::newRow("with milliseconds") << QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9, 45))
                                       << 45356.0 + (7 * 3600 + 8 * 60 + 9 + 0.045) / 86400.0;
}

void TestStrings::dateTimeValues()
{
    QFETCH(QDateTime, moment);
    QFETCH(double, days);

    auto strings = util::IStrings::create();
    strings->OpenKey(QStringLiteral("Software\\zorizov"), true);
    strings->SetValueName(QStringLiteral("last"));
    QVERIFY(strings->WriteDateTime(moment));
    const auto stored =
        m_store->readValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"last");
    QVERIFY(stored.has_value());
    QCOMPARE(stored->type, platform::ValueType::Binary);
    QCOMPARE(stored->binary.size(), std::size_t{8});
    const auto storedDays =
        std::bit_cast<double>(qFromLittleEndian<quint64>(stored->binary.data()));
    QVERIFY2(std::abs(storedDays - days) < 1e-9, qPrintable(QString::number(storedDays, 'g', 17)));

    QCOMPARE(strings->ReadDateTime(), moment);

    QVERIFY(m_store->writeValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"last",
                                RegistryValue::fromBinary(littleEndianDouble(days))));
    QCOMPARE(strings->ReadDateTime(), moment);
}

void TestStrings::readBinaryText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");

    QTest::newRow("up to the first zero") << QByteArray("a\0b\0c\0\0\0d\0", 10) << "abc";
    QTest::newRow("no zero") << QByteArray("h\0i\0", 4) << "hi";
    QTest::newRow("odd last byte ignored") << QByteArray("h\0i", 3) << "h";
    QTest::newRow("Chinese") << QByteArray("\x0a\x4e\x77\x6d", 4) << "上海";
    QTest::newRow("only 256 bytes") << QByteArray(300, 'x') << QString(128, QChar(0x7878));
}

void TestStrings::readBinaryText()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);

    QVERIFY(m_store->createKey(RegistryRoot::CurrentUser, u"Software\\zorizov"));
    QVERIFY(m_store->writeValue(RegistryRoot::CurrentUser, u"Software\\zorizov", u"blob",
                                RegistryValue::fromBinary({data.cbegin(), data.cend()})));
    auto strings = util::IStrings::create();
    strings->OpenKey(QStringLiteral("Software\\zorizov"), false);
    strings->SetValueName(QStringLiteral("blob"));
    QString out;
    strings->ReadBinaryText(true, out);
    QCOMPARE(out, text);
    QCOMPARE(currentText(*strings), text);
}

QTEST_GUILESS_MAIN(TestStrings)
#include "tst_strings.moc"
