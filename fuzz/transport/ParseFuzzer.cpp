// Feeds arbitrary bodies to the receive-side parsers. The buffers persist across inputs, as a
// link's do, so stale content from an earlier packet is in play.
#include "transport/PacketCodec.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static transport::ReceiveBuffers buffers;
    // An exact copy, so a read one byte past the body is caught.
    auto body = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
    for (std::size_t i = 0; i < size; ++i)
        body[i] = data[i];
    transport::SReceiveData record;
    const auto result = transport::ParseBody(body.get(), size, record, buffers);
    if (result != transport::ParseResult::kParsed && record.nType != 0)
        __builtin_trap(); // a dropped packet must never carry a type that could be posted
    return 0;
}
