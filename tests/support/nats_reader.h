// What a NATS server with JetStream holds, read back for the tests: the
// messages of a stream and a key's value in a bucket.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lantrel::testing {

// Every message of `stream`, oldest first; nullopt when the server or the
// stream cannot be reached.
std::optional<std::vector<std::string>> StreamMessages(const std::string& url,
                                                       const std::string& stream);

// The value of `key` in the key-value bucket; nullopt when there is none.
std::optional<std::string> BucketValue(const std::string& url, const std::string& bucket,
                                       const std::string& key);

}  // namespace lantrel::testing
