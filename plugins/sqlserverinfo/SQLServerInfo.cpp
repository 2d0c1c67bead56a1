// The server-browse plug-in: GetServers fills the caller's 65536-byte buffer with the SQL Server
// instances that answer on the network, as "SERVER" (default instance) or "SERVER\INSTANCE",
// separated by ";" and zero-terminated. Returns 1 when the question was asked, 0 otherwise; the
// buffer then holds an empty text.
//
// The question goes as a broadcast to UDP port 1434. The environment variable ORVEL_SSRP_TARGET
// ("host[:port]") sends it to one host instead; it is read by this plug-in only.
#include "ServerList.h"
#include "SsrpQuery.h"

#include <cstdlib>

#define ORVEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr size_t BufferSize = 65536; // terminator included
}

ORVEL_EXPORT unsigned char GetServers(char *buffer) {
    if (!buffer)
        return 0;
    buffer[0] = '\0';
    try {
        SsrpTarget target;
        if (!ResolveTarget(std::getenv("ORVEL_SSRP_TARGET"), target))
            return 0;
        ServerList list;
        const bool asked = QueryInstances(target, list);
        list.WriteTo(buffer, BufferSize);
        return asked ? 1 : 0;
    } catch (...) { // nothing may cross the C boundary
        buffer[0] = '\0';
        return 0;
    }
}
