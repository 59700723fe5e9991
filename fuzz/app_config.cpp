// server.ini, as an operator (or a broken editor) might leave it, read at start-up.
//
// The input is the file. LoadConfiguration reads it and writes the server.log
// header; then a viewer logs on (it is sent the menu lines) and one network turn
// runs with the configured wait, so the values read are also used.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/net.h"
#include "text/text.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view ini(reinterpret_cast<const char*>(data), size);
    FuzzServer& f = FuzzServer::Prepare(ini);
    Server& server = *f;

    LoadConfiguration(server);
    const ServerConfig& config = server.config;
    for (int n = 1; n <= 10; ++n)
        FUZZ_CHECK(config.menuLines[n].empty() || StartsWith(config.menuLines[n], "MENU "));
    FUZZ_CHECK(config.menuLines[0].empty());
    auto log = ReadWholeFile(server.File("server.log"));
    FUZZ_CHECK(log && StartsWith(*log, "Path=" + config.path + "\r\n"));

    // Start-up proper on the same file: the screen, the port (a bad port or
    // bind address is refused, not opened) and, when it opened, a viewer's logon.
    const bool usable = NetworkSettingProblem(config).empty();
    FUZZ_CHECK(usable == (StartServer(server) == SocketError::kOk));
    if (usable) {
        // Keep the wait of the turn short: the clock moves by it, nothing more.
        server.config.delay = std::min(std::max(server.config.delay, 0), 1000);
        f.socket.Queue(MakeIp(10, 0, 0, 2), "LOGONv15:Viewer");
        ServiceNetwork(server.net);
        for (const SentDatagram& d : f.socket.sent)
            FUZZ_CHECK(d.text.size() <= 65507);
        CheckServerInvariants(server);
    }
    return 0;
}
