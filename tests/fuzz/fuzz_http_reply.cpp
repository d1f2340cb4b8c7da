// Reply bytes from the back end: the raw HTTP reply of a form POST (status line, headers,
// plain or chunked body) and the decoding of a body from the back end's code page. The
// first byte picks which, the rest is the reply.

#include "FuzzSupport.h"

#include "platform/http/FormPost.h"
#include "platform/http/QtHttpTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray reply = fuzzsupport::bytes(data + 1, size - 1);
    if (data[0] & 1) {
        platform::FormPostReply parsed;
        if (platform::parseHttpReply(reply, parsed)) {
            if (parsed.status < 0 || parsed.status > 999)
                fuzzsupport::fail("a status of more than three digits");
            if (parsed.body.size() > reply.size())
                fuzzsupport::fail("a body longer than the reply");
            platform::QtHttpTransport::decode(parsed.body, QStringLiteral("GBK"));
        }
        return 0;
    }
    const QString text = platform::QtHttpTransport::decode(reply, QStringLiteral("GBK"));
    if (text.size() > reply.size())
        fuzzsupport::fail("more characters than bytes");
    // A complete reply never decodes to the same text as one cut short by a byte.
    if (!reply.isEmpty() &&
        text == platform::QtHttpTransport::decode(reply.chopped(1), QStringLiteral("GBK")))
        fuzzsupport::fail("a truncated reply decodes to the complete text");
    return 0;
}
