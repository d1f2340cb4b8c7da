#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <optional>

namespace devbackend {

struct HttpRequest
{
    QByteArray method;
    QByteArray target; // as sent: path and query
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // First header of that name (case-insensitive), empty when absent.
    QByteArray header(const QByteArray &name) const;
};

// Collects one HTTP/1.x request from the bytes of a connection, however they are split
// into reads.
class HttpRequestReader
{
public:
    static constexpr qsizetype MaxRequestSize = 1024 * 1024;

    enum class Result {
        NeedMore,
        Complete,
        Malformed,   // 400
        TooLarge,    // 413
        Unsupported, // 501: chunked or otherwise encoded bodies
    };

    Result feed(const QByteArray &bytes);
    const HttpRequest &request() const { return m_request; }

private:
    // Parses the head; returns why the request is refused, if it is.
    std::optional<Result> readHead(qsizetype headLength);

    QByteArray m_buffer;
    qsizetype m_bodyStart = -1; // set once the head is read
    qsizetype m_bodyLength = 0;
    HttpRequest m_request;
};

} // namespace devbackend
