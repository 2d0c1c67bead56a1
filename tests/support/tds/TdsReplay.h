#pragma once
// A result's reply (COLMETADATA, the ROWs, the final DONE with the row count) encoded once into
// the reply packets of one packet size, so that a session can answer by writing them as they
// are: the benchmarks then measure the clients, not the engine behind the test server. The
// packets are those the server's normal path sends for the same result at that size; only the
// packet id of each is the session's own, set as it is written.
#include "TdsWire.h"
#include "U_DbResult.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TdsReplay {
public:
    TdsReplay(const DbResult &result, const std::vector<Tds::WireType> &wireTypes,
              std::size_t packetSize);

    std::size_t PacketSize() const { return FPacketSize; }
    std::size_t PacketCount() const { return FTails.size(); }
    // Packet `index` whole (header included); its packet id byte is to be set by the sender.
    const char *Packet(std::size_t index) const { return FPackets.data() + index * FPacketSize; }
    std::size_t PacketBytes(std::size_t index) const;
    // The bytes of the token stream that follow packet `index` up to the end of the token it cuts
    // (empty when it ends between two tokens): what a cancelled reply still has to send, so that
    // the client does not read the acknowledgement as the rest of a row.
    std::vector<char> TokenTail(std::size_t index) const;
    // The tokens of the reply to `SET FMTONLY ON ... SET FMTONLY OFF` around the same query: the
    // columns as described above and a DONE without rows.
    const Tds::Writer &ColumnsOnly() const { return FColumnsOnly; }

private:
    void Flush(Tds::Writer &stream, std::size_t &sent, bool endOfMessage);

    std::size_t FPacketSize;
    std::vector<char> FPackets;
    std::vector<std::size_t> FTails; // per packet: the bytes of TokenTail
    Tds::Writer FColumnsOnly;
};
