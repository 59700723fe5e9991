#include "net/framing.h"

#include "text/text.h"

namespace lantrel {

Frame ParseFrame(std::string_view datagram) {
    Frame frame{0, datagram};
    if (datagram.empty() || datagram.front() != '<') return frame;
    // "<>" (nothing between) and a missing ">" are no frame.
    std::size_t close = Find(datagram, ">", 2);
    if (close == 0 || close == 2) return frame;
    SequenceNumber seq = ParseLongNumber(datagram.substr(1, close - 2));
    if (seq <= 0) return frame;
    frame.seq = seq;
    frame.text = datagram.substr(close);
    return frame;
}

std::string FrameHead(SequenceNumber seq) {
    std::string head = "<";
    head += NumberText(seq);
    head += '>';
    return head;
}

std::string FrameMessage(SequenceNumber seq, std::string_view text) {
    return FrameHead(seq).append(text);
}

std::string AckText(SequenceNumber seq) {
    return "ACK:" + NumberText(seq);
}

}  // namespace lantrel
