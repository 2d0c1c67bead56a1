#pragma once
// The SQL Server instances named by SQL Server Browser answers (SSRP SVR_RESP datagrams).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class ServerList {
public:
    // Takes one datagram; returns whether it was a server answer. Each instance is kept once
    // (names compared without regard to ASCII letter case), in the order the answers came.
    bool AddResponse(std::string_view datagram);

    const std::vector<std::string> &Names() const { return FNames; }

    // Writes the names separated by ";" and a terminating zero into a buffer of `size` bytes.
    // Only whole names are written: a name that does not fit ends the list.
    void WriteTo(char *buffer, size_t size) const;

private:
    void AddRecord(std::string_view record);
    void AddName(std::string name);

    std::vector<std::string> FNames;
};
