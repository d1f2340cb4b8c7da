#include "devbackend/HttpRequest.h"

namespace devbackend {

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpRequestReader::Result HttpRequestReader::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    if (m_bodyStart < 0) {
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return m_buffer.size() > MaxRequestSize ? Result::TooLarge : Result::NeedMore;
        if (const std::optional<Result> refusal = readHead(headEnd))
            return *refusal;
        m_bodyStart = headEnd + 4;
    }
    if (m_buffer.size() - m_bodyStart < m_bodyLength)
        return Result::NeedMore;
    m_request.body = m_buffer.mid(m_bodyStart, m_bodyLength);
    return Result::Complete;
}

std::optional<HttpRequestReader::Result> HttpRequestReader::readHead(qsizetype headLength)
{
    const QList<QByteArray> lines = m_buffer.left(headLength).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.") ||
        !(requestLine.at(1).startsWith('/') || requestLine.at(1).startsWith("http://")))
        return Result::Malformed;
    m_request.method = requestLine.at(0);
    m_request.target = requestLine.at(1);
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const QByteArray &line = lines.at(index);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return Result::Malformed;
        m_request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (!m_request.header("Transfer-Encoding").isEmpty())
        return Result::Unsupported;
    const QByteArray length = m_request.header("Content-Length");
    if (length.isEmpty())
        return std::nullopt;
    bool ok = false;
    m_bodyLength = length.toLongLong(&ok);
    if (!ok || m_bodyLength < 0)
        return Result::Malformed;
    if (headLength + 4 + m_bodyLength > MaxRequestSize)
        return Result::TooLarge;
    return std::nullopt;
}

} // namespace devbackend
