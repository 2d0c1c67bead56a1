#include "TdsReplay.h"

#include <algorithm>

namespace {
constexpr std::size_t kHeader = 8;
} // namespace

TdsReplay::TdsReplay(const DbResult &result, const std::vector<Tds::WireType> &wireTypes,
                     std::size_t packetSize)
    : FPacketSize(packetSize) {
    // The same tokens as the normal path, cut into packets as they come, so that only the
    // unsent rest of the stream (less than a packet) is ever held besides the packets.
    const std::vector<Tds::WireColumn> columns = Tds::DescribeColumns(result, wireTypes);
    const auto rows = static_cast<std::size_t>(result.RowCount());
    Tds::Writer stream;
    std::size_t sent = 0;
    Tds::ColMetadata(FColumnsOnly, columns);
    Tds::Done(FColumnsOnly, Tds::DoneCount, 0);
    Tds::ColMetadata(stream, columns);
    Flush(stream, sent, false);
    for (std::size_t r = 0; r < rows; ++r) {
        Tds::Row(stream, columns, result, r);
        Flush(stream, sent, false);
    }
    Tds::Done(stream, Tds::DoneCount, rows);
    Flush(stream, sent, true);
}

// Cuts the whole packets out of the stream's unsent bytes (all of them at the end of the
// message, the last packet marked so). The stream ends between two tokens whenever this runs,
// so every packet cut here has its token finished by the bytes still unsent after it.
void TdsReplay::Flush(Tds::Writer &stream, std::size_t &sent, bool endOfMessage) {
    const std::size_t body = FPacketSize - kHeader;
    while (stream.Size() - sent >= (endOfMessage ? 1 : body)) {
        const std::size_t left = stream.Size() - sent;
        const std::size_t chunk = std::min(left, body);
        const bool last = endOfMessage && chunk == left;
        const std::size_t length = chunk + kHeader;
        const char header[kHeader] = {Tds::Reply,
                                      static_cast<char>(last ? 1 : 0),
                                      static_cast<char>(length >> 8),
                                      static_cast<char>(length & 0xFF),
                                      0,
                                      0x33,
                                      0, // the packet id, set by the session that sends it
                                      0};
        FPackets.insert(FPackets.end(), header, header + kHeader);
        FPackets.insert(FPackets.end(), stream.Data() + sent, stream.Data() + sent + chunk);
        sent += chunk;
        FTails.push_back(stream.Size() - sent);
    }
    if (sent > 0) {
        stream.Erase(sent);
        sent = 0;
    }
}

std::size_t TdsReplay::PacketBytes(std::size_t index) const {
    return std::min(FPacketSize, FPackets.size() - index * FPacketSize);
}

std::vector<char> TdsReplay::TokenTail(std::size_t index) const {
    std::vector<char> tail;
    std::size_t want = FTails[index];
    for (std::size_t next = index + 1; want > 0 && next < PacketCount(); ++next) {
        const char *body = Packet(next) + kHeader;
        const std::size_t take = std::min(want, PacketBytes(next) - kHeader);
        tail.insert(tail.end(), body, body + take);
        want -= take;
    }
    return tail;
}
