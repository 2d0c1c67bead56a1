#include "ServerList.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char SvrResp = 0x05;

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string_view::npos;
         from = at + separator.size())
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

// Names go into a ";"-separated, zero-terminated list: control characters would garble it.
bool IsPrintable(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

} // namespace

bool ServerList::AddResponse(std::string_view datagram) {
    // SVR_RESP: the byte 0x05, the length of the data (two bytes, little-endian), the data.
    if (datagram.size() < 3 || static_cast<unsigned char>(datagram[0]) != SvrResp)
        return false;
    const size_t declared = static_cast<unsigned char>(datagram[1]) |
                            static_cast<size_t>(static_cast<unsigned char>(datagram[2])) << 8;
    std::string_view data = datagram.substr(3, declared);
    data = data.substr(0, data.find('\0'));
    // One record per instance, each ending with ";;".
    for (std::string_view record : Split(data, ";;"))
        AddRecord(record);
    return true;
}

void ServerList::AddRecord(std::string_view record) {
    // "ServerName;S;InstanceName;I;IsClustered;...;Version;...;" then the protocols.
    const std::vector<std::string_view> fields = Split(record, ";");
    if (fields.size() < 4 || !SameText(fields[0], "ServerName") ||
        !SameText(fields[2], "InstanceName"))
        return;
    const std::string_view server = fields[1];
    const std::string_view instance = fields[3];
    if (server.empty() || !IsPrintable(server) || !IsPrintable(instance))
        return;
    std::string name(server);
    if (!instance.empty() && !SameText(instance, "MSSQLSERVER")) // the default instance
        name.append("\\").append(instance);
    AddName(std::move(name));
}

void ServerList::AddName(std::string name) {
    if (std::none_of(FNames.begin(), FNames.end(),
                     [&](const std::string &known) { return SameText(known, name); }))
        FNames.push_back(std::move(name));
}

void ServerList::WriteTo(char *buffer, size_t size) const {
    if (size == 0)
        return;
    size_t used = 0;
    for (const std::string &name : FNames) {
        const size_t separator = used > 0 ? 1 : 0;
        if (used + separator + name.size() > size - 1)
            break;
        if (separator)
            buffer[used++] = ';';
        std::memcpy(buffer + used, name.data(), name.size());
        used += name.size();
    }
    buffer[used] = '\0';
}
