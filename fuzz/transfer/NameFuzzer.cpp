// The file receiver's names: any bytes as the name a console gives a received file, which must
// come out as one non-empty component of at most 255 bytes, and numbered for a second copy.
#include "transfer/TransferNames.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string name = transfer::transfernames::sanitizeReceivedName(text);
    if (name.empty() || name.size() > transfer::transfernames::kMaxNameBytes ||
        name.find_first_of("/\\") != std::string::npos)
        __builtin_trap();
    (void)transfer::transfernames::numberedName(name, static_cast<int>(size));
    return 0;
}
