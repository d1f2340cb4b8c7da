#include "devbackend/HttpReply.h"

#include "devbackend/Gbk.h"

namespace devbackend {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    default:
        return "Status";
    }
}

} // namespace

HttpReply HttpReply::text(const QString &text, int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = gbk::encode(text);
    return reply;
}

HttpReply HttpReply::html(const QString &html)
{
    HttpReply reply;
    reply.contentType = "text/html; charset=GBK";
    reply.body = gbk::encode(html);
    return reply;
}

QByteArray HttpReply::head(qint64 bodyLength) const
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\nContent-Type: " + contentType +
                      "\r\nContent-Length: " + QByteArray::number(bodyLength);
    if (!location.isEmpty())
        head += "\r\nLocation: " + location;
    return head + "\r\nConnection: close\r\n\r\n";
}

} // namespace devbackend
