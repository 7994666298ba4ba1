// The board's request handling fed with arbitrary request sequences: no crash, no overrun, and
// every answer is a well-formed datagram.
#include "board.h"

#include <cstdlib>

using namespace emulator;
using namespace qorproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Options options;
    options.flashSize = 64 * 1024; // keeps each run quick
    BoardState state;
    state.revision = 0x0100;
    Board board(options, state, [](const std::string &) {});
    const Endpoint peer{0x0100007F, 40000};
    std::uint32_t session = 0;
    std::vector<Datagram> out;
    // Records: length, type, flags (bit 0: use the last session), payload.
    std::size_t at = 0;
    std::uint32_t sequence = 1;
    while (at + 3 <= size) {
        const std::size_t length = data[at];
        Packet packet;
        packet.type = data[at + 1];
        packet.session = (data[at + 2] & 1) ? session : data[at + 2];
        packet.sequence = (data[at + 2] & 2) ? sequence : ++sequence;
        at += 3;
        const std::size_t take = std::min(length, size - at);
        packet.payload.assign(data + at, data + at + take);
        at += take;
        out.clear();
        board.handle(packet, peer, out);
        for (const auto &d : out) {
            Packet reply;
            if (!decodePacket(d.bytes.data(), d.bytes.size(), reply) || !reply.isReply())
                std::abort();
            HelloReply hello;
            if (reply.command() == Command::Hello && decodeHelloReply(reply.payload, hello) &&
                hello.status == kBoardOk)
                session = hello.session;
        }
        IPv4 moveTo;
        if (board.takeAction(moveTo) == Board::Action::Restart)
            board.restart();
    }
    return 0;
}
