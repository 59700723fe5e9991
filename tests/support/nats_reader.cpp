#include "support/nats_reader.h"

#include <nats/nats.h>

#include <memory>

namespace lantrel::testing {

namespace {

template <typename T, void (*Destroy)(T*)>
struct Owned {
    T* p = nullptr;
    ~Owned() {
        if (p) Destroy(p);
    }
};

// A connection and its JetStream context, or nothing.
struct JetStream {
    Owned<natsConnection, natsConnection_Destroy> connection;
    Owned<jsCtx, jsCtx_Destroy> js;
    bool Open(const std::string& url) {
        return natsConnection_ConnectTo(&connection.p, url.c_str()) == NATS_OK &&
               natsConnection_JetStream(&js.p, connection.p, nullptr) == NATS_OK;
    }
};

}  // namespace

std::optional<std::vector<std::string>> StreamMessages(const std::string& url,
                                                       const std::string& stream) {
    JetStream nats;
    if (!nats.Open(url)) return std::nullopt;
    Owned<jsStreamInfo, jsStreamInfo_Destroy> info;
    if (js_GetStreamInfo(&info.p, nats.js.p, stream.c_str(), nullptr, nullptr) != NATS_OK)
        return std::nullopt;
    std::vector<std::string> messages;
    for (std::uint64_t seq = info.p->State.FirstSeq; seq <= info.p->State.LastSeq; ++seq) {
        Owned<natsMsg, natsMsg_Destroy> message;
        if (js_GetMsg(&message.p, nats.js.p, stream.c_str(), seq, nullptr, nullptr) != NATS_OK)
            return std::nullopt;
        messages.emplace_back(natsMsg_GetData(message.p),
                              static_cast<std::size_t>(natsMsg_GetDataLength(message.p)));
    }
    return messages;
}

std::optional<std::string> BucketValue(const std::string& url, const std::string& bucket,
                                       const std::string& key) {
    JetStream nats;
    if (!nats.Open(url)) return std::nullopt;
    Owned<kvStore, kvStore_Destroy> kv;
    Owned<kvEntry, kvEntry_Destroy> entry;
    if (js_KeyValue(&kv.p, nats.js.p, bucket.c_str()) != NATS_OK ||
        kvStore_Get(&entry.p, kv.p, key.c_str()) != NATS_OK)
        return std::nullopt;
    return std::string(static_cast<const char*>(kvEntry_Value(entry.p)),
                       static_cast<std::size_t>(kvEntry_ValueLen(entry.p)));
}

}  // namespace lantrel::testing
