#include "devbackend/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace devbackend::gbk {

namespace {

QString decodeComponent(QByteArray component)
{
    component.replace('+', ' ');
    return decode(QByteArray::fromPercentEncoding(component));
}

} // namespace

QByteArray encode(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

QList<FormField> decodeForm(const QByteArray &encoded)
{
    QList<FormField> fields;
    for (const QByteArray &pair : encoded.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            fields.append({decodeComponent(pair), QString()});
        else
            fields.append(
                {decodeComponent(pair.left(equals)), decodeComponent(pair.mid(equals + 1))});
    }
    return fields;
}

} // namespace devbackend::gbk
