// The sequence frame of reliable messages, shared by the server and the viewer.
//
// A reliable message travels as "<", its number in number text, ">" and the text
// ("< 17>FEN: ..."); the receiver answers "ACK:" and the number ("ACK: 17").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lantrel {

// Message numbers are 64-bit: a busy server numbers billions of messages over a
// long run, and a number must never wrap or turn negative.
using SequenceNumber = std::int64_t;

// A datagram split into its frame number and text. `seq` is 0 for an unframed
// text (then `text` is the whole datagram, "<" included).
struct Frame {
    SequenceNumber seq = 0;
    std::string_view text;
};

// Reads the frame of a datagram. Only a "<" at the start, a ">" from the third
// character on and a positive number between them make a frame; anything else
// is an unframed text, handled as it stands.
Frame ParseFrame(std::string_view datagram);

// "<" + number text of `seq` + ">": what comes before a numbered message's text.
std::string FrameHead(SequenceNumber seq);

// FrameHead(seq) + text.
std::string FrameMessage(SequenceNumber seq, std::string_view text);

// "ACK:" + number text of `seq`.
std::string AckText(SequenceNumber seq);

}  // namespace lantrel
