// The server-browse reply parser: any datagrams give a list that fits the buffer it is written to,
// ends in a zero within it, and holds only whole names.
// Input: one byte for the buffer size, then datagrams separated by the bytes "\n--\n".
#include "../plugins/sqlserverinfo/ServerList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const size_t bufferSize = size_t(data[0]) * 4 + 1;
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    ServerList list;
    for (;;) {
        const size_t cut = rest.find("\n--\n");
        list.AddResponse(rest.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 4);
    }
    // Exactly the size asked for, so that the address sanitizer sees any write past it.
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    list.WriteTo(buffer.get(), bufferSize);
    if (std::memchr(buffer.get(), 0, bufferSize) == nullptr) {
        std::fprintf(stderr, "the list is not ended within its buffer\n");
        std::abort();
    }
    return 0;
}
