#pragma once

#include "devbackend/Gbk.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

namespace devbackend {

struct HttpRequest;

// A request as the back end understood it, kept so that tests can see what the client
// sent.
struct LoggedRequest
{
    QString method;
    QString path;  // without the query
    QString query; // as sent, still percent-encoded
    QByteArray body;
    QList<FormField> fields; // form fields of a POST body, decoded from GBK, in order
    QByteArray userAgent;
    QByteArray accept;

    static LoggedRequest from(const HttpRequest &request);

    // The first field of that name; empty when there is none.
    QString field(const QString &name) const;
};

} // namespace devbackend

Q_DECLARE_METATYPE(devbackend::LoggedRequest)
