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
    std::vector<std::uint8_t> body{'_', 'E', 'r', 'r'};
    for (int i = 0; i < 4; ++i)
        body.push_back(std::uint8_t(code >> (8 * i)));
    return body;
}

} // namespace

Board::Board(const Options &options, BoardState &state, Log log)
    : options_(options), state_(state), log_(std::move(log)), listening_(state.ip)
{
    std::random_device seed;
    nextSession_ = (seed() & 0xFFFFFF) + 1;
    dice_.seed(seed());
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
    if (packet.session == committedSession_ && packet.sequence == committedSequence_ &&
        !committedReply_.empty()) {
        out.push_back({committedReply_, from});
        return;
    }
    const auto it = sessions_.find(packet.session);
    if (it == sessions_.end()) {
        out.push_back({reply(packet, statusReply(kBoardNoSession)), from});
        return;
    }
    Session &session = it->second;
    session.peer = from;
    session.lastUsed = std::chrono::steady_clock::now();
    if (packet.command() == Command::UploadData) {
        // Acknowledgements carry all the state the sender needs; no replay cache.
        auto ack = uploadData(packet);
        if (action_ == Action::Die)
            return;
        out.push_back({reply(packet, ack), from});
        if (uploading_ && upload_.endPending && upload_.session == packet.session &&
            deferredComplete()) {
            // The chunk that completes a deferred upload answers its pending end.
            Packet end;
            end.type = std::uint8_t(Command::UploadEnd);
            end.session = packet.session;
            end.sequence = upload_.endSequence;
            auto bytes = reply(end, commit(upload_.endRequest.size, upload_.endRequest.crc));
            session.hasLast = true;
            session.lastSequence = end.sequence;
            session.lastReply = bytes;
            if (action_ == Action::Restart) {
                committedSession_ = end.session;
                committedSequence_ = end.sequence;
                committedReply_ = bytes;
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
        sessions_.erase(it);
        out.push_back({reply(packet, statusReply(kBoardOk)), from});
        return;
    }
    const std::uint32_t sessionId = packet.session;
    auto bytes = reply(packet, handleRequest(packet, session));
    const bool pending = packet.command() == Command::UploadEnd && uploading_ &&
                         upload_.endPending && upload_.endSequence == packet.sequence;
    auto again = sessions_.find(sessionId);
    if (again != sessions_.end() && !pending) {
        again->second.hasLast = true;
        again->second.lastSequence = packet.sequence;
        again->second.lastReply = bytes;
    }
    if (packet.command() == Command::UploadEnd && action_ == Action::Restart) {
        committedSession_ = sessionId;
        committedSequence_ = packet.sequence;
        committedReply_ = bytes;
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

std::vector<std::uint8_t> Board::hello(const Packet &packet, const Endpoint &from)
{
    std::uint8_t mode = 0;
    if (!decodeHelloRequest(packet.payload, mode))
        return statusReply(kBoardBadRequest);
    HelloReply r;
    const auto known = hellos_.find(from);
    if (known != hellos_.end() && known->second.first == packet.sequence &&
        sessions_.count(known->second.second)) {
        r.session = known->second.second;
    } else {
        if (sessions_.size() >= kSessionLimit && !makeRoomForSession()) {
            log_("hello refused: all " + std::to_string(kSessionLimit) + " sessions in use");
            return statusReply(kBoardBusy);
        }
        r.session = nextSession_++;
        if (nextSession_ == 0)
            nextSession_ = 1;
        Session s;
        s.mode = mode;
        s.peer = from;
        s.lastUsed = std::chrono::steady_clock::now();
        sessions_[r.session] = s;
        hellos_[from] = {packet.sequence, r.session};
        log_("session " + std::to_string(r.session) + " opened, mode " + std::to_string(mode));
    }
    r.flashSize = options_.flashSize;
    r.chunkSize = kChunkSize;
    r.window = options_.window;
    return encodeHelloReply(r);
}

bool Board::makeRoomForSession()
{
    // A session is taken back only once it has been idle long enough to be a lost goodbye, and
    // first from the address holding the most sessions, so that a program holding one
    // connection does not lose it to another that leaks them.
    const auto now = std::chrono::steady_clock::now();
    const auto idleEnough = std::chrono::milliseconds(options_.sessionIdleMs);
    std::map<std::uint32_t, std::size_t> perAddress;
    for (const auto &[id, s] : sessions_)
        ++perAddress[s.peer.address];
    auto victim = sessions_.end();
    for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (now - it->second.lastUsed < idleEnough)
            continue;
        if (victim == sessions_.end()) {
            victim = it;
            continue;
        }
        const std::size_t mine = perAddress[it->second.peer.address];
        const std::size_t theirs = perAddress[victim->second.peer.address];
        if (mine > theirs || (mine == theirs && it->second.lastUsed < victim->second.lastUsed))
            victim = it;
    }
    if (victim == sessions_.end())
        return false;
    log_("session " + std::to_string(victim->first) + " taken back after " +
         std::to_string(
             std::chrono::duration_cast<std::chrono::seconds>(now - victim->second.lastUsed)
                 .count()) +
         " s idle");
    if (uploading_ && upload_.session == victim->first) {
        uploading_ = false;
        resetUpload();
    }
    for (auto h = hellos_.begin(); h != hellos_.end();)
        h = h->second.second == victim->first ? hellos_.erase(h) : std::next(h);
    sessions_.erase(victim);
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
    d.delayMs = spreadMs ? int(dice_() % (spreadMs + 1u)) : 0;
    // An asker outside the board's own subnet cannot be reached directly (no route to it):
    // the answer goes to the broadcast address, which every host on the wire hears.
    std::uint32_t mine = 0, theirs = 0, mask = 0;
    std::memcpy(&mine, listening_.data(), 4);
    std::memcpy(&mask, state_.subnet.data(), 4);
    theirs = from.address;
    if (!isLoopback(listening_) && (mine & mask) != (theirs & mask)) {
        d.peer.address = 0xFFFFFFFFu;
        log_("discovery from " +
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
    s.flags = std::uint8_t((state_.bootstrapped ? kStatusBootstrapped : 0) |
                           (state_.hasImage ? kStatusHasFirmware : 0));
    s.revision = state_.revision;
    s.mac = state_.mac;
    s.network.ip = options_.reportIp ? *options_.reportIp : listening_;
    s.network.subnet = state_.subnet;
    s.network.gateway = state_.gateway;
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
    const bool subnetChanged = state_.subnet != n.subnet;
    state_.subnet = n.subnet;
    state_.gateway = n.gateway;
    if (!options_.interfaceName.empty()) {
        log_("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
             " gateway " + formatIPv4(n.gateway) + "; moving " + options_.interfaceName);
        if (ip != listening_ || subnetChanged) {
            action_ = Action::Move;
            moveTo_ = ip;
        }
    } else if (isLoopback(ip)) {
        state_.requestedIp.reset();
        log_("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
             " gateway " + formatIPv4(n.gateway) + "; moving to " + formatIPv4(ip));
        if (ip != listening_) {
            action_ = Action::Move;
            moveTo_ = ip;
        }
    } else {
        state_.requestedIp = ip;
        log_("network settings: ip " + formatIPv4(ip) + " subnet " + formatIPv4(n.subnet) +
             " gateway " + formatIPv4(n.gateway) + "; recorded only: " + formatIPv4(ip) +
             " is not a loopback address, still listening on " + formatIPv4(listening_));
    }
    save();
    return statusReply(kBoardOk);
}

std::vector<std::uint8_t> Board::raw(const Packet &packet)
{
    const auto &c = packet.payload;
    std::vector<std::uint8_t> body;
    if (c.size() == 10 && std::memcmp(c.data(), "ChMC", 4) == 0) {
        std::array<std::uint8_t, 6> mac;
        std::copy(c.begin() + 4, c.end(), mac.begin());
        const bool zero = std::all_of(mac.begin(), mac.end(), [](std::uint8_t b) { return !b; });
        if (options_.refuseMac) {
            body = macRefusal(options_.refuseMac);
            log_("MAC change to " + formatMac(mac) + " refused (fault)");
        } else if (zero || (mac[0] & 1)) {
            body = macRefusal(kBoardInvalidMac);
            log_("MAC change to " + formatMac(mac) + " refused");
        } else {
            state_.mac = mac;
            save();
            log_("MAC changed to " + formatMac(mac));
            std::string error;
            if (!options_.interfaceName.empty() &&
                !setInterfaceMac(options_.interfaceName, mac, error))
                log_("error: " + error);
        }
    } else {
        body = macRefusal(kBoardUnknownCommand);
    }
    return encodeReply(kBoardOk, body.data(), body.size());
}

std::uint32_t Board::refusalForImage(const std::uint8_t *head, std::size_t size) const
{
    if (state_.revision <= 0x0100 && !state_.bootstrapped && !isBootstrap(head, size))
        return kBoardBootstrapRequired;
    return kBoardOk;
}

std::vector<std::uint8_t> Board::uploadBegin(const Packet &packet, Session &session)
{
    UploadBegin b;
    if (!decodeUploadBegin(packet.payload, b) || b.chunkSize != kChunkSize ||
        (options_.classicUpload && b.flags))
        return statusReply(kBoardBadRequest);
    if (session.mode != 1)
        return statusReply(kBoardWrongMode);
    if (options_.refuseUpload) {
        log_("upload refused with code " + std::to_string(options_.refuseUpload) + " (fault)");
        return statusReply(options_.refuseUpload);
    }
    if (b.size > options_.flashSize)
        return statusReply(kBoardImageTooLarge);
    const std::uint32_t refusal = refusalForImage(b.head.data(), std::min<std::size_t>(b.size, 8));
    if (refusal) {
        log_("upload refused: a board at revision 1.0 or older needs a bootstrap image first");
        return statusReply(refusal);
    }
    resetUpload();
    upload_.session = packet.session;
    upload_.begun = std::chrono::steady_clock::now();
    upload_.begin = b;
    upload_.image.assign(b.size, 0);
    upload_.received.assign((b.size + kChunkSize - 1) / kChunkSize, false);
    uploading_ = true;
    log_("upload of " + std::string(b.flags & kUploadDeferred ? "at most " : "") +
         std::to_string(b.size) + " bytes at " + std::to_string(b.base) + " begun");
    return statusReply(kBoardOk);
}

std::vector<std::uint8_t> Board::ackPayload(std::uint32_t status) const
{
    UploadAck ack;
    ack.status = status;
    ack.contiguous = upload_.contiguous;
    const std::size_t count = upload_.received.size();
    for (std::size_t bit = 0; bit < kAckBitmapChunks; ++bit) {
        const std::size_t i = std::size_t(upload_.contiguous) + 1 + bit;
        if (i >= count)
            break;
        if (upload_.received[i])
            ack.bitmap |= std::uint64_t(1) << bit;
    }
    if (upload_.begin.flags & kUploadExtendedAck) {
        ack.extended = true;
        ack.arrivalUs = std::uint32_t(
            std::chrono::duration_cast<std::chrono::microseconds>(arrival_.time_since_epoch())
                .count());
        const std::size_t first = std::size_t(upload_.contiguous) + 1 + kAckBitmapChunks;
        if (upload_.highest > first) {
            ack.more.assign((upload_.highest - first + 7) / 8, 0);
            for (std::size_t i = first; i < upload_.highest; ++i) {
                if (upload_.received[i])
                    ack.more[(i - first) / 8] |= std::uint8_t(1u << ((i - first) % 8));
            }
        }
    }
    return encodeUploadAck(ack);
}

std::vector<std::uint8_t> Board::uploadData(const Packet &packet)
{
    UploadData d;
    if (!uploading_ || upload_.session != packet.session) {
        UploadAck ack;
        ack.status = kBoardNoUpload;
        return encodeUploadAck(ack);
    }
    const bool deferred = upload_.begin.flags & kUploadDeferred;
    const std::size_t count = upload_.received.size();
    const std::size_t index = decodeUploadData(packet.payload, d) ? d.offset / kChunkSize : count;
    bool valid = index < count && d.offset % kChunkSize == 0;
    if (valid && !deferred) {
        valid = d.size == std::min(kChunkSize, upload_.image.size() - index * kChunkSize);
    } else if (valid) {
        // The size is not known yet: every chunk is whole but the last, which nothing follows.
        const bool isShort = d.size < kChunkSize;
        valid = d.offset + d.size <= upload_.image.size() &&
                (upload_.shortChunk ? (index + 1 < upload_.highest && !isShort) ||
                                          (index + 1 == upload_.highest && isShort)
                                    : !isShort || index + 1 >= upload_.highest);
    }
    if (!valid)
        return ackPayload(kBoardBadRequest);
    // What lies beyond the granted window has no room in the receive buffer.
    if (index >= std::size_t(upload_.contiguous) + options_.window)
        return ackPayload(kBoardOk);
    if (!upload_.received[index]) {
        std::memcpy(upload_.image.data() + d.offset, d.data, d.size);
        upload_.received[index] = true;
        upload_.bytesTaken += d.size;
        upload_.highest = std::max(upload_.highest, index + 1);
        upload_.end = std::max(upload_.end, std::size_t(d.offset) + d.size);
        if (d.size < kChunkSize)
            upload_.shortChunk = true;
        if (options_.dieAfterBytes && upload_.bytesTaken >= options_.dieAfterBytes) {
            log_("dying in the middle of the upload, after " + std::to_string(upload_.bytesTaken) +
                 " bytes");
            action_ = Action::Die;
            return {};
        }
        while (upload_.contiguous < count && upload_.received[upload_.contiguous])
            ++upload_.contiguous;
        // The CRC-32 follows the data as it comes, so that the end costs no pass over it.
        while (upload_.crcChunks < upload_.contiguous &&
               (upload_.crcChunks + 1) * kChunkSize <= upload_.end &&
               !(upload_.shortChunk && upload_.crcChunks + 1 == upload_.highest)) {
            upload_.crc = crc32(upload_.image.data() + upload_.crcChunks * kChunkSize, kChunkSize,
                                upload_.crc);
            ++upload_.crcChunks;
        }
    } else {
        ++upload_.repeats;
    }
    return ackPayload(kBoardOk);
}

bool Board::deferredComplete() const
{
    const std::size_t size = upload_.endRequest.size;
    return upload_.contiguous >= (size + kChunkSize - 1) / kChunkSize && upload_.end == size;
}

std::vector<std::uint8_t> Board::uploadEnd(const Packet &packet)
{
    if (!uploading_ || upload_.session != packet.session)
        return statusReply(kBoardNoUpload);
    if (upload_.begin.flags & kUploadDeferred) {
        UploadEnd e;
        if (!decodeUploadEnd(packet.payload, e) || e.size > upload_.image.size() ||
            upload_.end > e.size || (upload_.shortChunk && upload_.end != e.size) ||
            (upload_.endPending &&
             (e.size != upload_.endRequest.size || e.crc != upload_.endRequest.crc))) {
            uploading_ = false;
            log_("upload discarded: its end does not match the data");
            return statusReply(kBoardBadRequest);
        }
        upload_.endRequest = e;
        if (!deferredComplete()) {
            // Answered again once the missing chunks are in; meanwhile this says which they are.
            upload_.endPending = true;
            upload_.endSequence = packet.sequence;
            return ackPayload(kBoardIncomplete);
        }
        return commit(e.size, e.crc);
    }
    if (upload_.contiguous < upload_.received.size())
        return statusReply(kBoardIncomplete);
    return commit(upload_.begin.size, upload_.begin.crc);
}

std::vector<std::uint8_t> Board::commit(std::uint32_t size, std::uint32_t crc)
{
    uploading_ = false;
    const std::size_t done = upload_.crcChunks * kChunkSize;
    if (crc32(upload_.image.data() + done, size - done, upload_.crc) != crc) {
        log_("upload discarded: CRC-32 mismatch");
        return statusReply(kBoardCrcMismatch);
    }
    const std::uint8_t *head = upload_.image.data();
    // The header said one thing; the data must say the same.
    if (const std::uint32_t refusal = refusalForImage(head, size))
        return statusReply(refusal);
    const bool bootstrap = isBootstrap(head, size);
    if (bootstrap) {
        state_.bootstrapped = true;
        state_.revision = std::uint16_t(head[4] << 8 | head[5]);
    } else if (isVersionedFirmware(head, size)) {
        state_.revision = std::uint16_t(head[4] << 8 | head[5]);
    }
    const std::size_t chunks = (std::size_t(size) + kChunkSize - 1) / kChunkSize;
    const std::uint64_t repeats = upload_.repeats;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - upload_.begun)
                          .count();
    state_.hasImage = true;
    state_.imageBase = upload_.begin.base;
    state_.image.assign(upload_.image.begin(), upload_.image.begin() + size);
    resetUpload();
    save();
    if (!options_.firmwareOut.empty()) {
        std::string error;
        if (!writeFile(options_.firmwareOut, state_.image, error))
            log_("error: " + error);
    }
    char revision[8];
    std::snprintf(revision, sizeof revision, "0x%04X", state_.revision);
    log_(std::string(bootstrap ? "bootstrap" : "firmware") + " image of " +
         std::to_string(state_.image.size()) + " bytes committed, revision " + revision + " (" +
         std::to_string(chunks) + " chunks, " + std::to_string(repeats) + " repeated) in " +
         std::to_string(took) + " ms; restarting");
    action_ = Action::Restart;
    return statusReply(kBoardOk);
}

Board::Action Board::takeAction(IPv4 &moveTo)
{
    const Action a = action_;
    action_ = Action::None;
    moveTo = moveTo_;
    return a;
}

void Board::restart()
{
    sessions_.clear();
    hellos_.clear();
    uploading_ = false;
    resetUpload();
}

void Board::resetUpload()
{
    // The buffers stay allocated, as a board's receive RAM does: fresh pages cost page faults
    // that a real board never pays.
    auto image = std::move(upload_.image);
    auto received = std::move(upload_.received);
    image.clear();
    received.clear();
    upload_ = Upload{};
    upload_.image = std::move(image);
    upload_.received = std::move(received);
}

void Board::save()
{
    if (options_.stateFile.empty())
        return;
    std::string error;
    if (!saveState(options_.stateFile, state_, error))
        log_("error: " + error);
}

} // namespace emulator
