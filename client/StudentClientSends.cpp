// The client's typed sends: where every packet the agent sends in a session is built and meets
// the link it goes out on.
#include "client/CommandCatalogue.h"
#include "client/CommandText.h"
#include "client/GlobalConfig.h"
#include "client/StudentClient.h"
#include "platform/Log.h"
#include "transport/PacketBuilder.h"

#include <climits>
#include <utility>

namespace client {
namespace {

// Replies can carry what the console set (the relay registration names the alias "[MV00009]"
// stored), so a console repeating the command that asks for one can repeat these refusals without
// end: each kind is held to a few lines a second.
constexpr int kRefusalLinesPerSecond = 3;

platform::LogRateLimit& notUtf8Log() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

platform::LogRateLimit& tooLongLog() {
    static platform::LogRateLimit limit(kRefusalLinesPerSecond);
    return limit;
}

// The relay builder's buffer holds the envelope and one spare byte.
constexpr std::size_t kEnvelopeSpareBytes = 1;

// A payload's request: its bytes plus room for the headers, in 64-bit arithmetic, held to what a
// request can hold.
std::size_t payloadRequestBytes(std::size_t payloadBytes) {
    const std::uint64_t total =
        static_cast<std::uint64_t>(payloadBytes) + StudentClient::kPayloadRequestExtraBytes;
    return total > static_cast<std::uint64_t>(INT32_MAX) ? static_cast<std::size_t>(INT32_MAX)
                                                         : static_cast<std::size_t>(total);
}

} // namespace

StudentClient::Link StudentClient::sessionLink() const {
    return GlobalConfig::shared().isRelayEnabled() ? Link::Relay : Link::Direct;
}

bool StudentClient::connectSession() {
    return sessionLink() == Link::Relay ? connectToRelayServer() : connectToServer();
}

std::shared_ptr<transport::TCPConnection> StudentClient::sessionConnection() const {
    if (sessionLink() == Link::Relay)
        return getRelayConn();
    return getMVConn();
}

std::uint64_t StudentClient::pendingBytes() const {
    auto link = sessionConnection();
    return link ? link->PendingBytes() : 0;
}

bool StudentClient::isLinkSender(const void* sender) const {
    return sender != nullptr && (sender == linkSender(Link::Direct) || sender == linkSender(Link::Relay));
}

StudentClient::Sent StudentClient::send(Link link, const Forms& forms, const Queue& queue) {
    if (link == Link::ByConfiguration)
        link = sessionLink();
    std::shared_ptr<transport::TCPConnection> conn;
    std::unique_ptr<transport::SRequestData> request;
    bool built = false;
    if (link == Link::Direct || link == Link::RelayUnwrapped) {
        conn = link == Link::Direct ? std::shared_ptr<transport::TCPConnection>(getMVConn()) : getRelayConn();
        if (conn && forms.direct) {
            request = transport::newRequestData(static_cast<int>(forms.directBytes));
            built = request && forms.direct(*request);
        }
    } else {
        conn = getRelayConn();
        if (conn && forms.relay) {
            request = transport::newRequestData(static_cast<int>(forms.relayBytes));
            built = request && forms.relay(*request, getRelayConnData());
        }
    }
    if (!built)
        return Sent::NotBuilt;
    const bool queued = queue ? queue(conn, std::move(request)) : conn->Send(std::move(request));
    return queued ? Sent::Queued : Sent::LinkDown;
}

bool StudentClient::sendCommand(const std::string& text, Link link, std::size_t requestBytes,
                                const Queue& queue) {
    auto units = utf16UnitCount(text);
    if (!units) {
        notUtf8Log().logf("[ZQ]Command %.9s is not valid UTF-8; not sent", text.c_str());
        return false;
    }
    // 64-bit arithmetic: units is bounded by the text's byte length.
    if (kTextFieldOverheadBytes + 2 * static_cast<std::uint64_t>(*units) > requestBytes) {
        tooLongLog().logf("[ZQ]Command %.9s too long (%zu characters) for a %zu-byte request; not sent",
                          text.c_str(), *units, requestBytes);
        return false;
    }
    Forms forms;
    forms.directBytes = requestBytes;
    forms.direct = [&text](transport::SRequestData& request) {
        return transport::builder::MakeSendPacket(request, text);
    };
    forms.relayBytes = requestBytes;
    forms.relay = [&text](transport::SRequestData& request, transport::RelayConnData ids) {
        return transport::builder::MakeRelayPacket(request, text, ids);
    };
    return send(link, forms, queue) == Sent::Queued;
}

bool StudentClient::sendHeartbeat(Link link) {
    return sendCommand(command::kHeartbeat, link);
}

bool StudentClient::sendFilePiece(const FilePiece& piece) {
    // Sized from the body it carries: 21 bytes, two per name byte, the data.
    const std::size_t body = transport::builder::kFileChunkHeaderBytes + 2 * piece.name.size() +
                             static_cast<std::size_t>(piece.size > 0 ? piece.size : 0);
    Forms forms;
    forms.directBytes = body;
    forms.direct = [&piece](transport::SRequestData& request) {
        return transport::builder::MakeSendPacketFileData(request, piece.total, piece.seq, piece.name,
                                                          piece.size, piece.data);
    };
    forms.relayBytes = body + transport::builder::kEnvelopeHeaderBytes + kEnvelopeSpareBytes;
    forms.relay = [&piece](transport::SRequestData& request, transport::RelayConnData ids) {
        transport::RelayFileData file;
        file.nSeq = piece.seq;
        file.nSplitCnt = piece.total;
        file.nSize = piece.size;
        file.pData = piece.data;
        file.pFileName = piece.name.c_str();
        file.nNameLen = static_cast<std::int32_t>(piece.name.size());
        return transport::builder::MakeRelayFilePacket(request, ids, file, piece.data);
    };
    const Sent sent = send(Link::ByConfiguration, forms);
    if (sent != Sent::Queued)
        platform::logf("[ZQ]file piece %d of %d not sent: %s", piece.seq, piece.total,
                       sent == Sent::LinkDown ? "the link is down"
                                              : "no link or the packet could not be built");
    return sent == Sent::Queued;
}

std::size_t StudentClient::sendStrokePackets(const std::vector<transport::StrokeData>& packets) {
    std::size_t queued = 0;
    for (const auto& packet : packets) {
        Forms forms;
        forms.directBytes = kStrokeRequestBytes;
        forms.direct = [&packet](transport::SRequestData& request) {
            return transport::builder::MakeSendPacket(request, packet);
        };
        const Sent sent = send(Link::Direct, forms);
        if (sent == Sent::Queued) {
            ++queued;
        } else if (sent == Sent::NotBuilt && getMVConn()) {
            platform::logf("[ZQ]Stroke of %zu points not built.", packet.points.size());
        }
    }
    return queued;
}

bool StudentClient::sendScreenImage(const ScreenImage& image, const Queue& queue) {
    const int size = static_cast<int>(image.size);
    Forms forms;
    forms.directBytes = payloadRequestBytes(image.size);
    forms.direct = [&image, size](transport::SRequestData& request) {
        if (image.drawSeq)
            return transport::builder::MakeSendPacket(request, image.jpeg, size, image.width, image.height,
                                                      *image.drawSeq);
        return transport::builder::MakeSendPacket(request, image.jpeg, size, image.width, image.height);
    };
    forms.relayBytes = forms.directBytes;
    forms.relay = [&image, size](transport::SRequestData& request, transport::RelayConnData ids) {
        const transport::RelayScreenData screen{size, image.width, image.height, 0};
        return transport::builder::MakeRelayDibPacket(request, ids, screen, image.jpeg);
    };
    return send(Link::ByConfiguration, forms, queue) == Sent::Queued;
}

bool StudentClient::sendH264Frame(const std::uint8_t* bytes, std::size_t size, std::int32_t drawSeq,
                                  const Queue& queue) {
    Forms forms;
    forms.directBytes = payloadRequestBytes(size);
    forms.direct = [bytes, size, drawSeq](transport::SRequestData& request) {
        return transport::builder::MakeSendPacketH264(request, bytes, static_cast<int>(size), drawSeq);
    };
    return send(Link::Direct, forms, queue) == Sent::Queued;
}

} // namespace client
