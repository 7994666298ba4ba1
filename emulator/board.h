// The board's side of the protocol: sessions, status, settings, MAC and image uploads.
#pragma once

#include "boardstate.h"
#include "messages.h"
#include "options.h"
#include "packet.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace emulator {

struct Endpoint
{
    std::uint32_t address = 0; // network order, as in sockaddr_in
    std::uint16_t port = 0;
    bool operator<(const Endpoint &o) const
    {
        return std::pair(address, port) < std::pair(o.address, o.port);
    }
};

struct Datagram
{
    std::vector<std::uint8_t> bytes;
    Endpoint peer;
    int delayMs = 0; // a discovery answer waits this long before it leaves
    int board = 0;   // which board, where one process plays several on one link
};

// The board's side of an image upload under way.
struct UploadProgress
{
    std::uint32_t session = 0;
    qorproto::UploadBegin begin;
    std::vector<std::uint8_t> image;
    std::vector<bool> received;
    std::uint32_t contiguous = 0;
    std::uint64_t bytesTaken = 0;
    std::uint64_t repeats = 0; // data packets for chunks already in
    std::chrono::steady_clock::time_point begun;
    std::size_t highest = 0;   // one past the highest chunk in
    std::size_t end = 0;       // one past the highest byte in
    bool shortChunk = false;   // a chunk shorter than the chunk size (the last) is in
    std::size_t crcChunks = 0; // whole chunks from 0 already in crc
    std::uint32_t crc = 0;
    // A deferred upload's end that arrived before every chunk: answered once they are in.
    bool endPending = false;
    std::uint32_t endSequence = 0;
    qorproto::UploadEnd endRequest;
};

class Board
{
public:
    enum class Action { None, Restart, Move, Die };
    using Log = std::function<void(const std::string &)>;

    Board(const Options &options, BoardState &state, Log log);

    void handle(const qorproto::Packet &packet, const Endpoint &from, std::vector<Datagram> &out);
    // A datagram that reached the board as a broadcast: only discovery is answered.
    void handleBroadcast(const qorproto::Packet &packet, const Endpoint &from,
                         std::vector<Datagram> &out);
    // When the packets handled next arrived (the link's time, not this process's); extended
    // acknowledgements report it.
    void setArrival(std::chrono::steady_clock::time_point at) { m_arrival = at; }
    // What the last handled packets ask of the process; reset by taking it.
    Action takeAction(IPv4 &moveTo);
    // A restart forgets sessions and any unfinished upload.
    void restart();
    void setListening(const IPv4 &address) { m_listening = address; }

private:
    struct Session
    {
        std::uint8_t mode = 0;
        Endpoint peer;
        std::chrono::steady_clock::time_point lastUsed;
        bool hasLast = false;
        std::uint32_t lastSequence = 0;
        std::vector<std::uint8_t> lastReply; // the whole datagram
    };

    std::vector<std::uint8_t> reply(const qorproto::Packet &request,
                                    const std::vector<std::uint8_t> &payload) const;
    std::vector<std::uint8_t> handleRequest(const qorproto::Packet &packet, Session &session);
    std::vector<std::uint8_t> hello(const qorproto::Packet &packet, const Endpoint &from);
    bool makeRoomForSession();
    std::vector<std::uint8_t> train(const qorproto::Packet &packet) const;
    void discover(const qorproto::Packet &packet, const Endpoint &from, std::vector<Datagram> &out);
    qorproto::BoardStatus currentStatus() const;
    std::vector<std::uint8_t> status(const qorproto::Packet &packet);
    std::vector<std::uint8_t> changeNetworking(const qorproto::Packet &packet);
    std::vector<std::uint8_t> raw(const qorproto::Packet &packet);
    std::vector<std::uint8_t> uploadBegin(const qorproto::Packet &packet, Session &session);
    std::vector<std::uint8_t> uploadData(const qorproto::Packet &packet);
    std::vector<std::uint8_t> uploadEnd(const qorproto::Packet &packet);
    std::vector<std::uint8_t> ackPayload(std::uint32_t status) const;
    bool deferredComplete() const;
    std::vector<std::uint8_t> commit(std::uint32_t size, std::uint32_t crc);
    std::uint32_t refusalForImage(const std::uint8_t *head, std::size_t size) const;
    void save();
    void resetUpload();

    const Options &m_options;
    BoardState &m_state;
    Log m_log;
    IPv4 m_listening{};
    std::map<std::uint32_t, Session> m_sessions;
    std::map<Endpoint, std::pair<std::uint32_t, std::uint32_t>> m_hellos; // sequence, session
    std::uint32_t m_nextSession = 0;
    UploadProgress m_upload;
    bool m_uploading = false;
    // The reply to the last committed upload outlives the restart it causes, so a repeated
    // upload end after a lost reply still hears that the image was taken.
    std::uint32_t m_committedSession = 0, m_committedSequence = 0;
    std::vector<std::uint8_t> m_committedReply;
    Action m_action = Action::None;
    IPv4 m_moveTo{};
    std::mt19937 m_dice;
    std::chrono::steady_clock::time_point m_arrival = std::chrono::steady_clock::now();
};

} // namespace emulator
