// What lantrel-relay reads of each feed message before it publishes it into
// NATS. Any text is read without an exception or a crash, and what is taken
// keeps to what the relay relies on: a version from 0 up, and for a snapshot a
// run name that is safe in a NATS header and in the feed's address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/relay_plan.h"

using namespace lantrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto head = ReadFeedMessageHead(text);
    if (!head) return 0;
    if (head->version < 0) std::abort();
    if (head->snapshot != head->run.has_value()) std::abort();
    if (head->run && !IsRunName(*head->run)) std::abort();
    // The relay's next steps with it: the track, the message identity, the resume address.
    RelayTrack track;
    track.StartFrom(FeedPoint{"R1", 3});
    FeedPoint point;
    if (track.Next(*head, point) == RelayTrack::Step::kPublish) {
        track.Published(point, 1);
        if (head->snapshot) {
            // The snapshot for newcomers goes out for the point the stream
            // ends at, and no more once the stream has gone past it.
            SnapshotCast cast(1.0);
            cast.Offer(point, std::string(text));
            const SnapshotCast::Snapshot* due = cast.Due(track.last(), 0);
            if (!due || due->point != point || due->json != text) std::abort();
            track.Published(FeedPoint{point.run == "R1" ? "R2" : "R1", 0}, 2);
            if (cast.Due(track.last(), 5)) std::abort();
        }
        const std::string id = RelayMessageId(point, head->snapshot);
        const std::string target = ResumeTarget("/feed", point);
        if (id.find_first_of("\r\n ") != std::string::npos ||
            target.find_first_of("\r\n #") != std::string::npos)
            std::abort();
    }
    return 0;
}
