#include "SsrpQuery.h"
#include "ServerList.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned char ClntBcastEx = 0x02;
constexpr unsigned char ClntUcastEx = 0x03;
constexpr unsigned short BrowserPort = 1434;
constexpr milliseconds TotalWait{1500};
constexpr milliseconds QuietAfterAnswer{250};

class Socket {
public:
    Socket() : FFd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (FFd >= 0)
            close(FFd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

bool ParsePort(std::string_view text, unsigned short &port) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return false;
    port = static_cast<unsigned short>(value);
    return true;
}

bool ResolveHost(const std::string &host, in_addr &address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    std::unique_ptr<addrinfo, void (*)(addrinfo *)> owner(found, &freeaddrinfo);
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    return true;
}

} // namespace

bool ResolveTarget(const char *text, SsrpTarget &target) {
    target = SsrpTarget{};
    target.Address.sin_family = AF_INET;
    target.Address.sin_port = htons(BrowserPort);
    target.Address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (!text || !*text)
        return true;
    const std::string_view spelled(text);
    const size_t colon = spelled.rfind(':');
    std::string host(spelled.substr(0, colon));
    unsigned short port = BrowserPort;
    if (host.empty() ||
        (colon != std::string_view::npos && !ParsePort(spelled.substr(colon + 1), port)) ||
        !ResolveHost(host, target.Address.sin_addr))
        return false;
    target.Address.sin_port = htons(port);
    target.Broadcast = target.Address.sin_addr.s_addr == htonl(INADDR_BROADCAST);
    return true;
}

bool QueryInstances(const SsrpTarget &target, ServerList &list) {
    Socket sock;
    if (sock.Fd() < 0)
        return false;
    const auto *address = reinterpret_cast<const sockaddr *>(&target.Address);
    const unsigned char request = target.Broadcast ? ClntBcastEx : ClntUcastEx;
    if (target.Broadcast) {
        const int on = 1;
        if (setsockopt(sock.Fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
            sendto(sock.Fd(), &request, 1, 0, address, sizeof target.Address) != 1)
            return false;
    } else {
        // A connected socket hears the host's "port unreachable", so a host without the
        // service ends the wait at once, and only that host's datagrams are received.
        if (connect(sock.Fd(), address, sizeof target.Address) != 0 ||
            send(sock.Fd(), &request, 1, 0) != 1)
            return false;
    }

    std::vector<char> datagram(65536 + 16);
    Clock::time_point deadline = Clock::now() + TotalWait;
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        pollfd waiting{sock.Fd(), POLLIN, 0};
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - now).count() + 1;
        const int ready = poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t got = recv(sock.Fd(), datagram.data(), datagram.size(), 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break; // ECONNREFUSED: nothing listens there
        }
        if (list.AddResponse(std::string_view(datagram.data(), static_cast<size_t>(got))) &&
            !target.Broadcast)
            deadline = std::min(deadline, Clock::now() + QuietAfterAnswer);
    }
    return true;
}
