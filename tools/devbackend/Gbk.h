#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace devbackend {

using FormField = QPair<QString, QString>;

// The back end's code page: everything it reads or writes is GBK.
namespace gbk {

QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

// Splits an application/x-www-form-urlencoded body (or query) into fields in their
// order, with '+' read as a blank and percent escapes read as GBK bytes.
QList<FormField> decodeForm(const QByteArray &encoded);

} // namespace gbk
} // namespace devbackend
