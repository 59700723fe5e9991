#include "app/server.h"
#include "feed/feed.h"

namespace lantrel {

void ProcessLogLine(Server&, const std::string&) {}

}  // namespace lantrel
