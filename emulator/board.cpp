#include "board.h"

#include "crc32.h"
#include "netif.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace emulator {

using namespace qorproto;

namespace {

// The largest chunk that keeps a data datagram inside one Ethernet frame.
constexpr std::size_t kChunkSize = kMaxChunk;
constexpr std::size_t kSessionLimit = 32;

std::vector<std::uint8_t> statusReply(std::uint32_t code)
{
    return encodeReply(code);
}

bool isBootstrap(const std::uint8_t *head, std::size_t size)
{
    return size >= 6 && std::memcmp(head, "QORB", 4) == 0;
}

bool isVersionedFirmware(const std::uint8_t *head, std::size_t size)
{
    return size >= 6 && std::memcmp(head, "QORF", 4) == 0;
}

std::vector<std::uint8_t> macRefusal(std::uint32_t code)
{
    return encodeMacChangeReply({true, code});
}

} // namespace

Board::Board(const Options &options, BoardState &state, Log log)
    : m_options(options), m_state(state), m_log(std::move(log)), m_listening(state.ip)
{
    std::random_device seed;
    m_nextSession = (seed() & 0xFFFFFF) + 1;
    m_dice.seed(seed());
}

std::vector<std::uint8_t> Board::reply(const Packet &request,
                                       const std::vector<std::uint8_t> &payload) const
{
    return encodeReplyTo(request, payload);
}

void Board::handle(const Packet &packet, const Endpoint &from, std::vector<Datagram> &out)
{
    if (packet.isReply())
        return;
    if (packet.command() == Command::Hello) {
        out.push_back({reply(packet, hello(packet, from)), from});
        return;
    }
    if (packet.command() == Command::Discover) {
        discover(packet, from, out);
        return;
    }
    if (packet.command() == Command::Train && !m_options.classicUpload) {
        out.push_back({reply(packet, train(packet)), from});
        return;
    }
    if (packet.session == m_committedSession && packet.sequence == m_committedSequence &&
        !m_committedReply.empty()) {
        out.push_back({m_committedReply, from});
        return;
    }
    const auto it = m_sessions.find(packet.session);
    if (it == m_sessions.end()) {
        out.push_back({reply(packet, statusReply(kBoardNoSession)), from});
        return;
    }
    Session &session = it->second;
    session.peer = from;
    session.lastUsed = std::chrono::steady_clock::now();
    if (packet.command() == Command::UploadData) {
        // Acknowledgements carry all the state the sender needs; no replay cache.
        auto ack = uploadData(packet);
        if (m_action == Action::Die)
            return;
        out.push_back({reply(packet, ack), from});
        if (m_uploading && m_upload.endPending && m_upload.session == packet.session &&
            deferredComplete()) {
            // The chunk that completes a deferred upload answers its pending end.
            Packet end;
            end.type = std::uint8_t(Command::UploadEnd);
            end.session = packet.session;
            end.sequence = m_upload.endSequence;
            auto bytes = reply(end, commit(m_upload.endRequest.size, m_upload.endRequest.crc));
            session.hasLast = true;
            session.lastSequence = end.sequence;
            session.lastReply = bytes;
            if (m_action == Action::Restart) {
                m_committedSession = end.session;
                m_committedSequence = end.sequence;
                m_committedReply = bytes;
            }
            out.push_back({std::move(bytes), from});
        }
        return;
    }
    if (session.hasLast && packet.sequence == session.lastSequence) {
        out.push_back({session.lastReply, from}); // a repeat: answered, not carried out again
        return;
    }
    if (packet.command() == Command::Bye) {
        m_sessions.erase(it);
        out.push_back({reply(packet, statusReply(kBoardOk)), from});
        return;
    }
    const std::uint32_t sessionId = packet.session;
    auto bytes = reply(packet, handleRequest(packet, session));
    const bool pending = packet.command() == Command::UploadEnd && m_uploading &&
                         m_upload.endPending && m_upload.endSequence == packet.sequence;
    auto again = m_sessions.find(sessionId);
    if (again != m_sessions.end() && !pending) {
        again->second.hasLast = true;
        again->second.lastSequence = packet.sequence;
        again->second.lastReply = bytes;
    }
    if (packet.command() == Command::UploadEnd && m_action == Action::Restart) {
        m_committedSession = sessionId;
        m_committedSequence = packet.sequence;
        m_committedReply = bytes;
    }
    out.push_back({std::move(bytes), from});
}

std::vector<std::uint8_t> Board::handleRequest(const Packet &packet, Session &session)
{
    switch (packet.command()) {
    case Command::Status:
        return status(packet);
    case Command::ChangeNetworking:
        return changeNetworking(packet);
    case Command::Raw:
        return raw(packet);
    case Command::UploadBegin:
        return uploadBegin(packet, session);
    case Command::UploadEnd:
        return uploadEnd(packet);
    default:
        return statusReply(kBoardUnknownCommand);
    }
}

std::vector<std::uint8_t> Board::train(const Packet &packet) const
{
    // Stateless: each packet's own arrival, so a lost one takes nothing from the others.
    TrainPacket request;
    if (packet.session != 0 || !decodeTrainPacket(packet.payload, request))
        return statusReply(kBoardBadRequest);
    TrainStamp stamp;
    stamp.index = request.index;
    stamp.arrivalUs = std::uint32_t(
        std::chrono::duration_cast<std::chrono::microseconds>(m_arrival.time_since_epoch())
            .count());
    return encodeTrainStamp(stamp);
}

std::vector<std::uint8_t> Board::hello(const Packet &packet, const Endpoint &from)
{
    std::uint8_t mode = 0;
    if (!decodeHelloRequest(packet.payload, mode))
        return statusReply(kBoardBadRequest);
    HelloReply r;
    const auto known = m_hellos.find(from);
    if (known != m_hellos.end() && known->second.first == packet.sequence &&
        m_sessions.count(known->second.second)) {
        r.session = known->second.second;
    } else {
        if (m_sessions.size() >= kSessionLimit && !makeRoomForSession()) {
            m_log("hello refused: all " + std::to_string(kSessionLimit) + " sessions in use");
            return statusReply(kBoardBusy);
        }
        r.session = m_nextSession++;
        if (m_nextSession == 0)
            m_nextSession = 1;
        Session s;
        s.mode = mode;
        s.peer = from;
        s.lastUsed = std::chrono::steady_clock::now();
        m_sessions[r.session] = s;
        m_hellos[from] = {packet.sequence, r.session};
        m_log("session " + std::to_string(r.session) + " opened, mode " + std::to_string(mode));
    }
    r.flashSize = m_options.flashSize;
    r.chunkSize = kChunkSize;
    r.window = m_options.window;
    return encodeHelloReply(r);
}

bool Board::makeRoomForSession()
{
    // A session is taken back only once it has been idle long enough to be a lost goodbye, and
    // first from the address holding the most sessions, so that a program holding one
    // connection does not lose it to another that leaks them.
    const auto now = std::chrono::steady_clock::now();
    const auto idleEnough = std::chrono::milliseconds(m_options.sessionIdleMs);
    std::map<std::uint32_t, std::size_t> perAddress;
    for (const auto &[id, s] : m_sessions)
        ++perAddress[s.peer.address];
    auto victim = m_sessions.end();
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
        if (now - it->second.lastUsed < idleEnough)
            continue;
        if (victim == m_sessions.end()) {
            victim = it;
            continue;
        }
        const std::size_t mine = perAddress[it->second.peer.address];
        const std::size_t theirs = perAddress[victim->second.peer.address];
        if (mine > theirs || (mine == theirs && it->second.lastUsed < victim->second.lastUsed))
            victim = it;
    }
    if (victim == m_sessions.end())
        return false;
    m_log("session " + std::to_string(victim->first) + " taken back after " +
          std::to_string(
              std::chrono::duration_cast<std::chrono::seconds>(now - victim->second.lastUsed)
                  .count()) +
          " s idle");
    if (m_uploading && m_upload.session == victim->first) {
        m_uploading = false;
        resetUpload();
    }
    for (auto h = m_hellos.begin(); h != m_hellos.end();)
        h = h->second.second == victim->first ? m_hellos.erase(h) : std::next(h);
    m_sessions.erase(victim);
    return true;
}

void Board::discover(const Packet &packet, const Endpoint &from, std::vector<Datagram> &out)
{
    std::uint16_t spreadMs = 0;
    if (!decodeDiscoverRequest(packet.payload, spreadMs))
        return;
    spreadMs = std::min(spreadMs, kMaxDiscoverySpreadMs);
    const auto block = encodeStatusBlock(currentStatus());
    Datagram d;
    d.bytes = reply(packet, encodeReply(kBoardOk, block.data(), block.size()));
    d.peer = from;
    d.delayMs = spreadMs ? int(m_dice() % (spreadMs + 1u)) : 0;
    // An asker outside the board's own subnet cannot be reached directly (no route to it):
    // the answer goes to the broadcast address, which every host on the wire hears.
    std::uint32_t mine = 0, theirs = 0, mask = 0;
    std::memcpy(&mine, m_listening.data(), 4);
    std::memcpy(&mask, m_state.subnet.data(), 4);
    theirs = from.address;
    if (!isLoopback(m_listening) && (mine & mask) != (theirs & mask)) {
        d.peer.address = 0xFFFFFFFFu;
        m_log("discovery from " +
              formatIPv4(IPv4{std::uint8_t(theirs), std::uint8_t(theirs >> 8),
                              std::uint8_t(theirs >> 16), std::uint8_t(theirs >> 24)}) +
              ", another subnet: answering to the broadcast address");
    }
    out.push_back(std::move(d));
}

void Board::handleBroadcast(const Packet &packet, const Endpoint &from, std::vector<Datagram> &out)
{
    if (!packet.isReply() && packet.command() == Command::Discover)
        discover(packet, from, out);
}

BoardStatus Board::currentStatus() const
{
    BoardStatus s;
    s.flags = std::uint8_t((m_state.bootstrapped ? kStatusBootstrapped : 0) |
                           (m_state.hasImage ? kStatusHasFirmware : 0));
    s.revision = m_state.revision;
    s.mac = m_state.mac;
    s.network.ip = m_options.reportIp ? *m_options.reportIp : m_listening;
    s.network.subnet = m_state.subnet;
    s.network.gateway = m_state.gateway;
    return s;
}

std::vector<std::uint8_t> Board::status(const Packet &packet)
{
    std::uint8_t level = 0;
    if (!decodeStatusRequest(packet.payload, level) || level > 1)
        return statusReply(kBoardBadRequest);
    const BoardStatus s = currentStatus();
    std::vector<std::uint8_t> body;
    if (level == 1)
        body.push_back(1);
    const auto block = encodeStatusBlock(s);
    body.insert(body.end(), block.begin(), block.end());
    return encodeReply(kBoardOk, body.data(), body.size());
}

std::vector<std::uint8_t> Board::changeNetworking(const Packet &packet)
{
    NetworkSettings n;
    if (!decodeNetworkSettings(packet.payload, n))
        return statusReply(kBoardBadRequest);
    const auto &ip = n.ip;
    if (ip == IPv4{0, 0, 0, 0} || ip == IPv4{255, 255, 255, 255} || (ip[0] >= 224 && ip[0] <= 239))
        return statusReply(kBoardBadAddress);
    const bool subnetChanged = m_state.subnet != n.subnet;
    m_state.subnet = n.subnet;
    m_state.gateway = n.gateway;
    if (!m_options.interfaceName.empty()) {
        m_log("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
              " gateway " + formatIPv4(n.gateway) + "; moving " + m_options.interfaceName);
        if (ip != m_listening || subnetChanged) {
            m_action = Action::Move;
            m_moveTo = ip;
        }
    } else if (isLoopback(ip)) {
        m_state.requestedIp.reset();
        m_log("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
              " gateway " + formatIPv4(n.gateway) + "; moving to " + formatIPv4(ip));
        if (ip != m_listening) {
            m_action = Action::Move;
            m_moveTo = ip;
        }
    } else {
        m_state.requestedIp = ip;
        m_log("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
              " gateway " + formatIPv4(n.gateway) + "; recorded only: " + formatIPv4(ip) +
              " is not a loopback address, still listening on " + formatIPv4(m_listening));
    }
    save();
    return statusReply(kBoardOk);
}

std::vector<std::uint8_t> Board::raw(const Packet &packet)
{
    std::vector<std::uint8_t> body;
    MacAddress mac;
    if (decodeMacChange(packet.payload, mac)) {
        const bool zero = std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return !b; });
        if (m_options.refuseMac) {
            body = macRefusal(m_options.refuseMac);
            m_log("MAC change to " + formatMac(mac) + " refused (fault)");
        } else if (zero || (mac[0] & 1)) {
            body = macRefusal(kBoardInvalidMac);
            m_log("MAC change to " + formatMac(mac) + " refused");
        } else {
            m_state.mac = mac;
            save();
            m_log("MAC changed to " + formatMac(mac));
            std::string error;
            if (!m_options.interfaceName.empty() &&
                !setInterfaceMac(m_options.interfaceName, mac, error))
                m_log("error: " + error);
        }
    } else {
        body = macRefusal(kBoardUnknownCommand);
    }
    return encodeReply(kBoardOk, body.data(), body.size());
}

std::uint32_t Board::refusalForImage(const std::uint8_t *head, std::size_t size) const
{
    if (m_state.revision <= 0x0100 && !m_state.bootstrapped && !isBootstrap(head, size))
        return kBoardBootstrapRequired;
    return kBoardOk;
}

std::vector<std::uint8_t> Board::uploadBegin(const Packet &packet, Session &session)
{
    UploadBegin b;
    if (!decodeUploadBegin(packet.payload, b) || b.chunkSize != kChunkSize ||
        (m_options.classicUpload && b.flags))
        return statusReply(kBoardBadRequest);
    if (session.mode != 1)
        return statusReply(kBoardWrongMode);
    if (m_options.refuseUpload) {
        m_log("upload refused with code " + std::to_string(m_options.refuseUpload) + " (fault)");
        return statusReply(m_options.refuseUpload);
    }
    if (b.size > m_options.flashSize)
        return statusReply(kBoardImageTooLarge);
    const std::uint32_t refusal = refusalForImage(b.head.data(), std::min<std::size_t>(b.size, 8));
    if (refusal) {
        m_log("upload refused: a board at revision 1.0 or older needs a bootstrap image first");
        return statusReply(refusal);
    }
    resetUpload();
    m_upload.session = packet.session;
    m_upload.begun = std::chrono::steady_clock::now();
    m_upload.begin = b;
    m_upload.image.assign(b.size, 0);
    m_upload.received.assign((b.size + kChunkSize - 1) / kChunkSize, false);
    m_uploading = true;
    m_log("upload of " + std::string(b.flags & kUploadDeferred ? "at most " : "") +
          std::to_string(b.size) + " bytes at " + std::to_string(b.base) + " begun");
    return statusReply(kBoardOk);
}

std::vector<std::uint8_t> Board::ackPayload(std::uint32_t status) const
{
    UploadAck ack;
    ack.status = status;
    ack.contiguous = m_upload.contiguous;
    const std::size_t count = m_upload.received.size();
    for (std::size_t bit = 0; bit < kAckBitmapChunks; ++bit) {
        const std::size_t i = std::size_t(m_upload.contiguous) + 1 + bit;
        if (i >= count)
            break;
        if (m_upload.received[i])
            ack.bitmap |= std::uint64_t(1) << bit;
    }
    if (m_upload.begin.flags & kUploadExtendedAck) {
        ack.extended = true;
        ack.arrivalUs = std::uint32_t(
            std::chrono::duration_cast<std::chrono::microseconds>(m_arrival.time_since_epoch())
                .count());
        const std::size_t first = std::size_t(m_upload.contiguous) + 1 + kAckBitmapChunks;
        if (m_upload.highest > first) {
            ack.more.assign((m_upload.highest - first + 7) / 8, 0);
            for (std::size_t i = first; i < m_upload.highest; ++i) {
                if (m_upload.received[i])
                    ack.more[(i - first) / 8] |= std::uint8_t(1u << ((i - first) % 8));
            }
        }
    }
    return encodeUploadAck(ack);
}

std::vector<std::uint8_t> Board::uploadData(const Packet &packet)
{
    UploadData d;
    if (!m_uploading || m_upload.session != packet.session) {
        UploadAck ack;
        ack.status = kBoardNoUpload;
        return encodeUploadAck(ack);
    }
    const bool deferred = m_upload.begin.flags & kUploadDeferred;
    const std::size_t count = m_upload.received.size();
    const std::size_t index = decodeUploadData(packet.payload, d) ? d.offset / kChunkSize : count;
    bool valid = index < count && d.offset % kChunkSize == 0;
    if (valid && !deferred) {
        valid = d.size == std::min(kChunkSize, m_upload.image.size() - index * kChunkSize);
    } else if (valid) {
        // The size is not known yet: every chunk is whole but the last, which nothing follows.
        const bool isShort = d.size < kChunkSize;
        valid = d.offset + d.size <= m_upload.image.size() &&
                (m_upload.shortChunk ? (index + 1 < m_upload.highest && !isShort) ||
                                           (index + 1 == m_upload.highest && isShort)
                                     : !isShort || index + 1 >= m_upload.highest);
    }
    if (!valid)
        return ackPayload(kBoardBadRequest);
    // What lies beyond the granted window has no room in the receive buffer.
    if (index >= std::size_t(m_upload.contiguous) + m_options.window)
        return ackPayload(kBoardOk);
    if (!m_upload.received[index]) {
        std::memcpy(m_upload.image.data() + d.offset, d.data, d.size);
        m_upload.received[index] = true;
        m_upload.bytesTaken += d.size;
        m_upload.highest = std::max(m_upload.highest, index + 1);
        m_upload.end = std::max(m_upload.end, std::size_t(d.offset) + d.size);
        if (d.size < kChunkSize)
            m_upload.shortChunk = true;
        if (m_options.dieAfterBytes && m_upload.bytesTaken >= m_options.dieAfterBytes) {
            m_log("dying in the middle of the upload, after " +
                  std::to_string(m_upload.bytesTaken) + " bytes");
            m_action = Action::Die;
            return {};
        }
        while (m_upload.contiguous < count && m_upload.received[m_upload.contiguous])
            ++m_upload.contiguous;
        // The CRC-32 follows the data as it comes, so that the end costs no pass over it.
        while (m_upload.crcChunks < m_upload.contiguous &&
               (m_upload.crcChunks + 1) * kChunkSize <= m_upload.end &&
               !(m_upload.shortChunk && m_upload.crcChunks + 1 == m_upload.highest)) {
            m_upload.crc = crc32(m_upload.image.data() + m_upload.crcChunks * kChunkSize,
                                 kChunkSize, m_upload.crc);
            ++m_upload.crcChunks;
        }
    } else {
        ++m_upload.repeats;
    }
    return ackPayload(kBoardOk);
}

bool Board::deferredComplete() const
{
    const std::size_t size = m_upload.endRequest.size;
    return m_upload.contiguous >= (size + kChunkSize - 1) / kChunkSize && m_upload.end == size;
}

std::vector<std::uint8_t> Board::uploadEnd(const Packet &packet)
{
    if (!m_uploading || m_upload.session != packet.session)
        return statusReply(kBoardNoUpload);
    if (m_upload.begin.flags & kUploadDeferred) {
        UploadEnd e;
        if (!decodeUploadEnd(packet.payload, e) || e.size > m_upload.image.size() ||
            m_upload.end > e.size || (m_upload.shortChunk && m_upload.end != e.size) ||
            (m_upload.endPending &&
             (e.size != m_upload.endRequest.size || e.crc != m_upload.endRequest.crc))) {
            m_uploading = false;
            m_log("upload discarded: its end does not match the data");
            return statusReply(kBoardBadRequest);
        }
        m_upload.endRequest = e;
        if (!deferredComplete()) {
            // Answered again once the missing chunks are in; meanwhile this says which they are.
            m_upload.endPending = true;
            m_upload.endSequence = packet.sequence;
            return ackPayload(kBoardIncomplete);
        }
        return commit(e.size, e.crc);
    }
    if (m_upload.contiguous < m_upload.received.size())
        return statusReply(kBoardIncomplete);
    return commit(m_upload.begin.size, m_upload.begin.crc);
}

std::vector<std::uint8_t> Board::commit(std::uint32_t size, std::uint32_t crc)
{
    m_uploading = false;
    const std::size_t done = m_upload.crcChunks * kChunkSize;
    if (crc32(m_upload.image.data() + done, size - done, m_upload.crc) != crc) {
        m_log("upload discarded: CRC-32 mismatch");
        return statusReply(kBoardCrcMismatch);
    }
    const std::uint8_t *head = m_upload.image.data();
    // The header said one thing; the data must say the same.
    if (const std::uint32_t refusal = refusalForImage(head, size))
        return statusReply(refusal);
    const bool bootstrap = isBootstrap(head, size);
    if (bootstrap) {
        m_state.bootstrapped = true;
        m_state.revision = std::uint16_t(head[4] << 8 | head[5]);
    } else if (isVersionedFirmware(head, size)) {
        m_state.revision = std::uint16_t(head[4] << 8 | head[5]);
    }
    const std::size_t chunks = (std::size_t(size) + kChunkSize - 1) / kChunkSize;
    const std::uint64_t repeats = m_upload.repeats;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - m_upload.begun)
                          .count();
    m_state.hasImage = true;
    m_state.imageBase = m_upload.begin.base;
    m_state.image.assign(m_upload.image.begin(), m_upload.image.begin() + size);
    resetUpload();
    save();
    if (!m_options.firmwareOut.empty()) {
        std::string error;
        if (!writeFile(m_options.firmwareOut, m_state.image, error))
            m_log("error: " + error);
    }
    char revision[8];
    std::snprintf(revision, sizeof revision, "0x%04X", m_state.revision);
    m_log(std::string(bootstrap ? "bootstrap" : "firmware") + " image of " +
          std::to_string(m_state.image.size()) + " bytes committed, revision " + revision + " (" +
          std::to_string(chunks) + " chunks, " + std::to_string(repeats) + " repeated) in " +
          std::to_string(took) + " ms; restarting");
    m_action = Action::Restart;
    // Naming what was committed lets the host tell a commit from a board that claims one.
    UploadEnd taken;
    taken.size = size;
    taken.crc = crc;
    const auto body = encodeUploadEnd(taken);
    return encodeReply(kBoardOk, body.data(), body.size());
}

Board::Action Board::takeAction(IPv4 &moveTo)
{
    const Action a = m_action;
    m_action = Action::None;
    moveTo = m_moveTo;
    return a;
}

void Board::restart()
{
    m_sessions.clear();
    m_hellos.clear();
    m_uploading = false;
    resetUpload();
}

void Board::resetUpload()
{
    // The buffers stay allocated, as a board's receive RAM does: fresh pages cost page faults
    // that a real board never pays.
    auto image = std::move(m_upload.image);
    auto received = std::move(m_upload.received);
    image.clear();
    received.clear();
    m_upload = UploadProgress{};
    m_upload.image = std::move(image);
    m_upload.received = std::move(received);
}

void Board::save()
{
    if (m_options.stateFile.empty())
        return;
    std::string error;
    if (!saveState(m_options.stateFile, m_state, error))
        m_log("error: " + error);
}

} // namespace emulator
