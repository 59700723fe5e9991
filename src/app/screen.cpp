#include "app/screen.h"

#include <cstdlib>

#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kGridSlots = 24;  // viewers shown in the grid: three columns of eight

}  // namespace

void StatusScreen::DrawBoard(const Cells& cells) {
    if (!showBoard_) return;
    bool painted = false;
    for (int row = 1; row <= 8; ++row) {
        for (int file = 1; file <= 8; ++file) {
            const int cell = CellOf(row, file);
            const std::int32_t v = cells[cell];
            if (v == drawnBoard_[cell]) continue;
            console_.SetColour(v < 0 ? kLightBlue : kNormal);
            const int type = std::abs(v);
            PrintAt(console_, 6 + row, 2 * file,
                    v == 0 || type > kKing ? std::string(".") : Tables().pieceLetters[type]);
            drawnBoard_[cell] = v;
            painted = true;
        }
    }
    if (painted) console_.SetColour(kNormal);
}

void StatusScreen::ShowFen(const std::string& fen) {
    console_.MoveTo(23, 1);
    console_.Print(std::string(63, ' '));
    console_.EndLine();
    console_.MoveTo(23, 1);
    console_.Print("FEN : ");
    console_.Print(fen);
    console_.Print("    ");
    console_.EndLine();
}

void StatusScreen::ShowClientTable(const ClientTable& table) {
    int count = 0;
    for (int k = 1; k <= kClientSlots; ++k) {
        const ClientRecord& r = table.slots[k];
        if (r.ip != 0) ++count;
        if (k > kGridSlots) continue;
        int row = 9 + (k - 1) % 8;
        int column = 24 + 18 * ((k - 1) / 8);
        if (r.ip != 0) {
            PrintAt(console_, row, column, std::string(15, ' '));
            PrintAt(console_, row, column, IpText(r.ip));
        } else {
            PrintAt(console_, row, column, std::string(15, '_'));
        }
    }
    PrintAt(console_, 7, 23, "Client Connection Table: " + PrintForm(count) + std::string(7, ' '));
}

void StatusScreen::ShowConnects(std::int32_t count) {
    PrintAt(console_, 18, 42, "Connects:" + PrintForm(count));
}

void StatusScreen::ShowChatRelays(std::int32_t count) {
    PrintAt(console_, 18, 24, "Chat relay:" + PrintForm(count));
}

void StatusScreen::ShowDropped(std::int32_t count) {
    console_.SetColour(kBrown);
    PrintAt(console_, 6, 60, "      Dropped:" + PrintForm(count));
    console_.SetColour(kNormal);
}

void StatusScreen::ShowQueue(std::int32_t resendCount, std::int32_t pendingCount, bool congested) {
    if (resendCount != shownResendCount_) {
        console_.SetColour(congested ? kLightRed : kLightGreen);
        PrintAt(console_, 7, 60, "Re-send queue:" + PrintForm(resendCount));
        console_.SetColour(kNormal);
        shownResendCount_ = resendCount;
    }
    if (pendingCount != shownPendingCount_) {
        console_.SetColour(kLightCyan);
        PrintAt(console_, 8, 60, "Message queue:" + PrintForm(pendingCount));
        console_.SetColour(kNormal);
        shownPendingCount_ = pendingCount;
    }
}

}  // namespace lantrel
