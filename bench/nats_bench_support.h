// What the NATS benchmarks share: the shipped accounts with passwords of their
// own, configurations of hubs and leaf-node edges on loopback, waiting for a
// node's port or a line in a file, and asking a hub's monitoring which hub
// leads a stream.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "text/text.h"
#include "web_bench_support.h"

namespace lantrel::bench {

const std::string kNatsSamples = std::string(LANTREL_SOURCE_DIR) + "/packaging/nats/";
constexpr const char* kRelayPassword = "bench-relay";

// The password of edge `k`'s user edge-k (k from 1).
inline std::string EdgePassword(int k) {
    return "bench-edge-" + std::to_string(k);
}

// The shipped accounts in `dir`, their CHANGE-ME passwords replaced (the relay
// refuses them), with an account EDGE_k for each of `edges` edges (copies of
// EDGE_1, as docs/RELAY.md says), and relay.password.
inline void WriteAccounts(const std::string& dir, int edges) {
    for (const std::string name : {"accounts", "audience", "feed-imports"}) {
        std::string text = ReadWholeFile(kNatsSamples + name + ".conf").value_or("");
        if (name == "accounts") {
            const std::size_t block = text.find("EDGE_1 {");
            const std::string edgeBlock = block == std::string::npos ? "" : text.substr(block);
            for (int k = 2; k <= edges; ++k) {
                std::string copy = edgeBlock;
                ReplaceAllInPlace(copy, "EDGE_1", "EDGE_" + std::to_string(k));
                ReplaceAllInPlace(copy, "edge-1", "edge-" + std::to_string(k));
                text += "\n" + copy;
            }
            ReplaceAllInPlace(text, "CHANGE-ME-relay", kRelayPassword);
            for (int k = 1; k <= edges; ++k)
                ReplaceAllInPlace(text, "CHANGE-ME-edge-" + std::to_string(k), EdgePassword(k));
        }
        std::ofstream(dir + "/" + name + ".conf") << text;
    }
    std::ofstream(dir + "/relay.password") << kRelayPassword << "\n";
}

// A hub on loopback with JetStream in `dir`/jetstream-NAME, a leaf-node
// listener, the accounts of WriteAccounts and, when `routePorts` is not empty,
// a cluster with the hubs on those ports (its own among them); `httpPort` 0
// leaves out monitoring.
struct HubPorts {
    int client = 0, http = 0, leaf = 0, route = 0;
};
inline std::string HubConf(const std::string& name, const std::string& dir, const HubPorts& ports,
                           const std::vector<int>& routePorts = {}) {
    std::string conf =
        "server_name: " + name + "\nlisten: 127.0.0.1:" + std::to_string(ports.client) + "\n";
    if (ports.http) conf += "http: 127.0.0.1:" + std::to_string(ports.http) + "\n";
    conf += "jetstream { store_dir: \"" + dir + "/jetstream-" + name + "\" }\n";
    if (!routePorts.empty()) {
        conf += "cluster {\n  name: lantrel\n  listen: 127.0.0.1:" + std::to_string(ports.route) +
                "\n  routes: [\n";
        for (int port : routePorts)
            conf += "    nats-route://127.0.0.1:" + std::to_string(port) + "\n";
        conf += "  ]\n}\n";
    }
    conf += "leafnodes { listen: 127.0.0.1:" + std::to_string(ports.leaf) +
            " }\naccounts { include accounts.conf }\n";
    return conf;
}

// Edge `k` (user edge-k) on loopback, a leaf node of the hubs on `leafPorts`.
inline std::string EdgeConf(int k, int port, int httpPort, const std::vector<int>& leafPorts) {
    std::string conf = "server_name: edge-" + std::to_string(k) +
                       "\nlisten: 127.0.0.1:" + std::to_string(port) + "\n";
    if (httpPort) conf += "http: 127.0.0.1:" + std::to_string(httpPort) + "\n";
    conf += "leafnodes { remotes: [ { urls: [";
    for (std::size_t i = 0; i < leafPorts.size(); ++i)
        conf += std::string(i ? ", " : " ") + "\"nats-leaf://edge-" + std::to_string(k) + ":" +
                EdgePassword(k) + "@127.0.0.1:" + std::to_string(leafPorts[i]) + "\"";
    conf += " ], account: AUDIENCE } ] }\naccounts { AUDIENCE { include audience.conf } }\n";
    return conf;
}

// Waits until the file holds `text`; no longer than `writer` runs, when given.
inline bool WaitForText(const std::string& path, const std::string& text, double seconds,
                        ChildProcess* writer = nullptr) {
    const auto start = Clock::now();
    while (SecondsSince(start) < seconds) {
        if (ReadFile(path).find(text) != std::string::npos) return true;
        if (writer && !writer->Running()) return ReadFile(path).find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The body of GET `target` from a monitoring port on loopback, or "".
inline std::string HttpGet(int port, const std::string& target) {
    const int fd = TcpConnect(port);
    if (fd < 0) return "";
    std::string answer;
    bool closed = false;
    if (SendAll(fd, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", 2000))
        answer = ReceiveUntilClosed(fd, 5000, closed);
    ::close(fd);
    const std::size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? "" : answer.substr(body + 4);
}

// The server_name of the hub that leads `stream`, as the hub with monitoring on
// `httpPort` sees it; "" when it knows none.
inline std::string StreamLeader(int httpPort, const std::string& stream) {
    const nlohmann::json jsz =
        nlohmann::json::parse(HttpGet(httpPort, "/jsz?accounts=true&streams=true"), nullptr, false);
    if (!jsz.is_object() || !jsz.contains("account_details")) return "";
    for (const nlohmann::json& account : jsz["account_details"]) {
        if (!account.contains("stream_detail")) continue;
        for (const nlohmann::json& s : account["stream_detail"])
            if (s.value("name", "") == stream && s.contains("cluster"))
                return s["cluster"].value("leader", "");
    }
    return "";
}

// What one node or program cost during a run.
struct Usage {
    std::string name;
    pid_t pid;
    double cpuBefore = 0;
    double cpu = 0;
    long rssKb = 0;
};

}  // namespace lantrel::bench
