#include "platform/fakes.h"

#include <cmath>

namespace lantrel {

ScreenBuffer::ScreenBuffer(int rows) : rows_(rows) {
    Clear();
}

void ScreenBuffer::Clear() {
    chars_.assign(rows_, std::string(kColumns, ' '));
    colours_.assign(rows_, std::vector<ConsoleColour>(kColumns, ConsoleColour::kNormal));
    row_ = column_ = 1;
}

void ScreenBuffer::MoveTo(int row, int column) {
    row_ = row;
    column_ = column;
}

void ScreenBuffer::Print(std::string_view text) {
    for (char c : text) {
        if (column_ > kColumns) {
            ++row_;
            column_ = 1;
        }
        if (row_ >= 1 && row_ <= rows_ && column_ >= 1) {
            chars_[row_ - 1][column_ - 1] = c;
            colours_[row_ - 1][column_ - 1] = colour_;
        }
        ++column_;
    }
}

void ScreenBuffer::EndLine() {
    ++row_;
    column_ = 1;
}

std::string ScreenBuffer::ReadKey() {
    if (keys.empty()) return {};
    std::string key = keys.front();
    keys.pop_front();
    return key;
}

std::string ScreenBuffer::Row(int row) const {
    if (row < 1 || row > rows_) return {};
    return chars_[row - 1];
}

std::string ScreenBuffer::Text(int row, int column, int length) const {
    return Row(row).substr(column - 1, length);
}

ConsoleColour ScreenBuffer::ColourAt(int row, int column) const {
    return colours_[row - 1][column - 1];
}

FakeClock::FakeClock(double timeOfDay) : startOfDay_(timeOfDay) {}

double FakeClock::TimeOfDay() {
    return std::fmod(startOfDay_ + elapsed_, 86400.0);
}

LocalDateTime FakeClock::Now() {
    LocalDateTime now = date;
    auto seconds = static_cast<long long>(TimeOfDay());
    now.hour = static_cast<int>(seconds / 3600);
    now.minute = static_cast<int>(seconds / 60 % 60);
    now.second = static_cast<int>(seconds % 60);
    return now;
}

SocketError FakeSocket::Open(std::uint16_t port, IpAddress, int) {
    if (openResult != SocketError::kOk) return openResult;
    opened = true;
    openedPort = port;
    return SocketError::kOk;
}

SocketError FakeSocket::Receive(int waitMs, Datagram& out) {
    receiveWaits.push_back(waitMs);
    if (incoming.empty()) {
        out = {};
        if (clock) clock->Advance(waitMs / 1000.0);
        return SocketError::kTimedOut;
    }
    out = std::move(incoming.front());
    incoming.pop_front();
    return SocketError::kOk;
}

SocketError FakeSocket::Send(IpAddress to, std::uint16_t port, std::string_view text) {
    if (sendResult != SocketError::kOk) return sendResult;
    sent.push_back({to, port, std::string(text)});
    return SocketError::kOk;
}

std::vector<std::string> FakeSocket::SentTo(IpAddress to) const {
    std::vector<std::string> texts;
    for (const auto& d : sent)
        if (d.to == to) texts.push_back(d.text);
    return texts;
}

WakeReason FakeEventWait::Wait(NativeHandle, int) {
    if (wakes.empty()) return WakeReason::kTimedOut;
    WakeReason reason = wakes.front();
    wakes.pop_front();
    return reason;
}

std::optional<ProcessId> FakeProcesses::Start(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& workDir,
                                              const std::string& outputFile,
                                              std::string& /*whyNot*/) {
    started.push_back({program, args, workDir, outputFile});
    if (!startResult) return std::nullopt;
    const auto process = static_cast<ProcessId>(started.size());
    running.insert(process);
    return process;
}

}  // namespace lantrel
