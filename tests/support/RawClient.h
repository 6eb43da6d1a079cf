// A blocking TCP client on 127.0.0.1 that plays the agent's side of a link with hand-made bytes
// (the peers' own tests; a server under test). Test thread only; every read is bounded.
#pragma once

#include "support/PeerCodec.h"
#include "support/PeerSocket.h"

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

class RawClient {
public:
    bool connectTo(std::uint16_t port);
    bool send(const Bytes& bytes);
    // The next whole frame, or nullopt on end of stream, error or time-out.
    std::optional<FrameParse> readFrame();
    std::optional<TextCommand> readText();
    // True when the peer closed the stream (read answers 0) before the time-out.
    bool readsEndOfStream();
    void close() { m_fd.reset(); }

private:
    bool readExactly(std::uint8_t* out, std::size_t size);
    UniqueFd m_fd;
};

} // namespace testsupport
