#include "platform/icmp/IcmpProber.h"

#include <future>
#include <memory>

namespace platform {

EchoResult IcmpProber::probeAndWait(const std::string &host, const EchoOptions &options)
{
    auto result = std::make_shared<std::promise<EchoResult>>();
    std::future<EchoResult> answer = result->get_future();
    probe(host, options, [result](const EchoResult &echo) { result->set_value(echo); });
    return answer.get();
}

} // namespace platform
