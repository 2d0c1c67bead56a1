#pragma once
// Asking the SQL Server Browser service (UDP port 1434) which instances it knows.
#include <netinet/in.h>

class ServerList;

struct SsrpTarget {
    sockaddr_in Address{};
    bool Broadcast = true; // broadcast CLNT_BCAST_EX, else CLNT_UCAST_EX to one host
};

// Reads a target written as "host[:port]" (the port defaults to 1434); no text at all means the
// broadcast address 255.255.255.255:1434. Returns false for a text that names no IPv4 target.
bool ResolveTarget(const char *text, SsrpTarget &target);

// Sends the request and hands every datagram that arrives within about 1.5 seconds to the list.
// An answer to a host ends the wait shortly after the last datagram. Returns false when the
// request could not be sent.
bool QueryInstances(const SsrpTarget &target, ServerList &list);
