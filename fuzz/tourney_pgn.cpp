// A tournament PGN file through the results table, the game list and the
// selection of games by e-mail, as a viewer asks for them.
//
// The input is the PGN file. When its first line starts with "SEND:" that line
// is the viewer's request (otherwise "SEND: 1 2 3 5 8 13 300 "), and when the
// next line starts with "EMAIL:" that is the viewer's stored address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/net.h"
#include "text/text.h"
#include "tourney/tourney.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

namespace {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 2);

// Takes the first line of `text` when it starts with `key`.
std::string TakeLine(std::string_view& text, std::string_view key) {
    if (!StartsWith(text, key)) return {};
    std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string request = TakeLine(input, "SEND:");
    if (request.empty()) request = "SEND: 1 2 3 5 8 13 300 ";
    std::string email = TakeLine(input, "EMAIL:");
    if (email.empty()) email = "EMAIL:viewer@example.com";

    FuzzServer& f = FuzzServer::Start(
        "PATH=gui.log\nMAILSERVER=mail.example.com\nRETURNADD=server@example.com\n"
        "TOURNEYPGN=tourney.pgn\n");
    WriteScratchFile("tourney.pgn", input);
    Server& server = *f;

    f.socket.Queue(kViewer, "LOGONv15:Viewer");
    f.socket.Queue(kViewer, email);
    ServiceNetwork(server);
    f.socket.sent.clear();

    Request resultTable{kViewer, "RESULTTABLE"};
    SendResultTable(server, resultTable);
    Request gameList{kViewer, "GAMELIST"};
    SendGameList(server, gameList);
    Request send{kViewer, request};
    SendGamesByEmail(server, send);

    // A reply that does not fit in one UDP datagram would fail to send and cost
    // the viewer its connection.
    for (const SentDatagram& d : f.socket.sent)
        FUZZ_CHECK(d.text.size() <= 65507);
    // The mailer's command line carries the viewer's address: nothing in it
    // but the server's own redirection may mean anything to the command interpreter.
    const std::string redirection = " >> email.log 2>&1";
    for (const std::string& command : f.processes.started) {
        FUZZ_CHECK(StartsWith(command, "gbmail -to "));
        FUZZ_CHECK(command.size() > redirection.size() &&
                   command.compare(command.size() - redirection.size(), redirection.size(),
                                   redirection) == 0);
        const std::string mailer = command.substr(0, command.size() - redirection.size());
        FUZZ_CHECK(mailer.find_first_of("`$;|&<>\n\r'\\") == std::string::npos);
    }
    CheckServerInvariants(server);
    return 0;
}
