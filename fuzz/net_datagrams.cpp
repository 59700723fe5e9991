// Datagrams from several addresses, and lines of in.dat, through the network turn.
//
// The input is a script, one step per line; the first byte of a line says what
// the step is and the rest of the line is its text (a byte 0x01 in the text
// stands for LF, so datagrams may hold line ends):
//   'a'..'h'  a datagram from viewer address 10.0.0.2 .. 10.0.0.9
//   'L'       a line for in.dat (the local viewer)
//   'l'       a datagram from 127.0.0.1 through the socket
//   'T'       the clock moves on by the number of seconds in the text (0..120)
//             and one network turn runs (re-sends, give-ups, drops)
//   'F'       from now on every send fails with the error the text's number
//             picks (0 = sends work again)
//   'B'       the feed broadcasts the text to every viewer (numbered)
//   'R'       the feed sends the text raw to every viewer
//   'M'       the client table is filled up to the number in the text (0..500)
//             with made-up viewers, so logons meet a full table
//   other     a datagram from the address that the byte picks (of 8)
// After every step a network turn runs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/net.h"
#include "text/text.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

namespace {

IpAddress ViewerIp(unsigned k) {
    return MakeIp(10, 0, 0, 2 + k % 8);
}

void FillClientTable(Server& server, int upTo) {
    ClientTable& table = server.net.clients;
    for (int k = table.Count() + 1; k <= upTo && k <= kClientSlots; ++k) {
        ClientRecord& r = table.slots[k];
        r.ip = MakeIp(172, 16, static_cast<unsigned>(k / 256), static_cast<unsigned>(k % 256));
        r.ipText = FixedWidth(IpText(r.ip), kIpTextWidth);
        r.name = FixedWidth("Filler" + std::to_string(k), kNameWidth);
        r.lastHeard = static_cast<std::int64_t>(server.os.clock.Monotonic());
    }
    CompactClientTable(table);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string pgn = SourceFile("tests/fixtures/tourney/xboard_tourney.pgn");

    FuzzServer& f = FuzzServer::Start(
        "PATH=gui.log\nDELAY=100\nMAILSERVER=mail.example.com\nRETURNADD=server@example.com\n"
        "ADMIN=10.0.0.2\nTOURNEYPGN=tourney.pgn\n"
        "MENU ID=1 First line of the menu\nMENU ID=2 Second line\n");
    WriteScratchFile("tourney.pgn", pgn);
    Server& server = *f;

    std::string_view script(reinterpret_cast<const char*>(data), size);
    int steps = 0;
    for (std::string line : SplitLines(script)) {
        if (++steps > 2000) break;  // an input is a short scene, not a siege
        if (line.empty()) {
            ServiceNetwork(server.net);
            continue;
        }
        const char kind = line[0];
        std::string text = line.substr(1);
        for (char& c : text)
            if (c == '\x01') c = '\n';

        if (kind >= 'a' && kind <= 'h') {
            f.socket.Queue(ViewerIp(static_cast<unsigned>(kind - 'a')), text);
        } else if (kind == 'L') {
            AppendBytes(server.File("in.dat"), text + "\r\n");
        } else if (kind == 'l') {
            f.socket.Queue(kLocalViewerIp, text);
        } else if (kind == 'T') {
            f.clock.Advance(std::min(std::max(ParseNumber(text), 0), 120));
        } else if (kind == 'F') {
            static constexpr SocketError kErrors[] = {
                SocketError::kOk, SocketError::kFailure, SocketError::kChannelNotOpen,
                SocketError::kInProgress, SocketError::kTimedOut};
            f.socket.sendResult = kErrors[static_cast<unsigned>(ParseNumber(text)) % 5];
        } else if (kind == 'B') {
            Broadcast(server.net, text);
        } else if (kind == 'R') {
            BroadcastRaw(server.net, text);
        } else if (kind == 'M') {
            FillClientTable(server, std::min(std::max(ParseNumber(text), 0), kClientSlots));
        } else {
            f.socket.Queue(ViewerIp(static_cast<unsigned char>(kind)), text);
        }
        ServiceNetwork(server.net);
    }
    // Let the re-send schedule run to its end: everything is acknowledged or given up.
    for (int turn = 0; turn < 40; ++turn) {
        f.clock.Advance(3);
        ServiceNetwork(server.net);
    }

    CheckServerInvariants(server);
    return 0;
}
