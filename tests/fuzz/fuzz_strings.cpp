// The utility object's text work on back-end replies: the splits, both Base64 decoders and
// the integer and date readings. The first byte picks the routine, the rest is the text.

#include "FuzzSupport.h"

#include "connection/ConnectionFormats.h"
#include "util/IStrings.h"
#include "util/TextRoutines.h"

namespace {

enum class Routine : std::uint8_t { Split, Base64DecodeText, DecodeBase64Text, Numbers, Count };

// The second byte is the separator's length (1 to 4 characters), taken from the start of
// the text; the rest is the text to split.
void split(const QString &input, std::uint8_t lengthByte)
{
    const qsizetype length = std::min<qsizetype>(lengthByte % 4 + 1, input.size());
    const QString separator = input.left(length);
    const QString text = input.mid(length);

    const auto strings = util::IStrings::create();
    strings->SetText(text);
    std::array<QString, 5> five;
    std::array<QString, 10> ten;
    std::array<QString, 20> twenty;
    strings->Split5(five, separator);
    strings->Split10(ten, separator);
    strings->Split20(twenty, separator);
    const std::optional<QStringList> all = strings->SplitToList(separator);
    if (!all.has_value() != separator.isEmpty())
        fuzzsupport::fail("SplitToList refuses exactly the empty separator");
    if (!all)
        return;
    for (qsizetype i = 0; i < all->size(); ++i) {
        const QString &piece = all->at(i);
        if (!separator.isEmpty() && piece.contains(separator))
            fuzzsupport::fail("a piece holds the separator");
        if (piece.isEmpty() && i + 1 != all->size())
            fuzzsupport::fail("an empty piece before the last");
        if (i < 20 && twenty[static_cast<std::size_t>(i)] != piece)
            fuzzsupport::fail("Split20 disagrees with SplitToList");
    }
    if (five[0] != ten[0] || ten[9] != twenty[9])
        fuzzsupport::fail("the fixed-size splits disagree");
}

void base64DecodeText(const QString &text)
{
    const auto strings = util::IStrings::create();
    strings->SetText(text);
    strings->Base64DecodeText(false);
    QString unchanged;
    strings->GetText(unchanged);
    if (unchanged != text)
        fuzzsupport::fail("Base64DecodeText without keep changed the text");
    strings->Base64DecodeText(true);
    QString decoded;
    strings->GetText(decoded);
    if (decoded != util::trimBlanks(decoded))
        fuzzsupport::fail("Base64DecodeText left blanks at an end");
    for (const QChar c : decoded) {
        if (c.unicode() > 0xFF)
            fuzzsupport::fail("Base64DecodeText made a character wider than a byte");
    }
}

void decodeBase64Text(const QString &text)
{
    // The line check decodes the credentials twice.
    const QString once = connection::DecodeBase64Text(text);
    const QString twice = connection::DecodeBase64Text(once);
    if (once.size() > text.size() / 4 * 3 + 2 || twice.size() > once.size() / 4 * 3 + 2)
        fuzzsupport::fail("DecodeBase64Text made more than three characters of four");
}

void numbers(const QString &text)
{
    const auto strings = util::IStrings::create();
    strings->SetText(text);
    const std::optional<qint32> narrow = util::parseInt32(text);
    const std::optional<qint64> wide = util::parseInt64(text);
    if (narrow && !wide)
        fuzzsupport::fail("a 32-bit integer is no 64-bit integer");
    if (strings->AsInteger() != narrow.value_or(0) || strings->AsInt64() != wide.value_or(0))
        fuzzsupport::fail("AsInteger disagrees with parseInt32");
    strings->AsDate();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto routine = static_cast<Routine>(data[0] % static_cast<std::uint8_t>(Routine::Count));
    const QString text = QString::fromUtf8(fuzzsupport::bytes(data + 2, size - 2));
    switch (routine) {
    case Routine::Split:
        split(text, data[1]);
        break;
    case Routine::Base64DecodeText:
        base64DecodeText(text);
        break;
    case Routine::DecodeBase64Text:
        decodeBase64Text(text);
        break;
    case Routine::Numbers:
    case Routine::Count:
        numbers(text);
        break;
    }
    return 0;
}
