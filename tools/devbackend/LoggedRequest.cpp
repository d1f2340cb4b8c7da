#include "devbackend/LoggedRequest.h"

#include "devbackend/HttpRequest.h"

namespace devbackend {

LoggedRequest LoggedRequest::from(const HttpRequest &request)
{
    QByteArray target = request.target;
    if (target.startsWith("http://")) {
        const qsizetype pathStart = target.indexOf('/', 7);
        target = pathStart < 0 ? QByteArray("/") : target.mid(pathStart);
    }
    LoggedRequest logged;
    const qsizetype question = target.indexOf('?');
    if (question >= 0) {
        logged.query = QString::fromLatin1(target.mid(question + 1));
        target.truncate(question);
    }
    logged.method = QString::fromLatin1(request.method);
    logged.path = QString::fromUtf8(QByteArray::fromPercentEncoding(target));
    logged.body = request.body;
    if (request.method == "POST")
        logged.fields = gbk::decodeForm(request.body);
    logged.userAgent = request.header("User-Agent");
    logged.accept = request.header("Accept");
    return logged;
}

QString LoggedRequest::field(const QString &name) const
{
    for (const FormField &field : fields) {
        if (field.first == name)
            return field.second;
    }
    return {};
}

} // namespace devbackend
