// Share-board strokes from arbitrary pen settings, canvas sizes and points: the packets are filled
// and built as a send would, with any float a settings file or a pointer could give.
#include "streaming/ShareBoardStroke.h"
#include "transport/TCPServerClient.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

template <typename T>
T take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    streaming::PenState pen;
    pen.toolMode = take<int>(data, size);
    pen.thickness = take<float>(data, size);
    pen.thicknessMode = take<int>(data, size);
    pen.blend = (take<std::uint8_t>(data, size) & 1) != 0;
    pen.colorMode = take<int>(data, size);
    streaming::CanvasSizes sizes;
    sizes.viewWidth = take<int>(data, size);
    sizes.viewHeight = take<int>(data, size);
    sizes.canvasWidth = take<int>(data, size);
    sizes.canvasHeight = take<int>(data, size);
    const auto slot = take<std::int32_t>(data, size);
    const auto maxPoints = static_cast<std::size_t>(take<std::uint16_t>(data, size));
    streaming::Stroke stroke;
    while (size > 0) {
        const auto x = take<double>(data, size);
        const auto y = take<double>(data, size);
        stroke.emplace_back(x, y);
    }
    (void)streaming::strokeThickness(pen.thickness);
    for (const auto& packet : streaming::makeStrokePackets(stroke, pen, slot, sizes, maxPoints)) {
        auto request = transport::newRequestData(static_cast<int>(streaming::kStrokeRequestBytes));
        if (!transport::TCPServerClient::MakeSendPacket(*request, packet))
            __builtin_trap();
    }
    return 0;
}
