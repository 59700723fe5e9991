#include "app/screen.h"

#include <cstdlib>

#include "app/config.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kGridSlots = 24;  // viewers shown in the grid: three columns of eight

const std::string kClearWhite = "[White:" + std::string(69, ' ');
const std::string kClearBlackColon = "[Black:" + std::string(69, ' ');
const std::string kClearBlack = "[Black" + std::string(70, ' ');

}  // namespace

void StatusScreen::ShowBanner() {
    console_.Clear();
    PrintAt(console_, 1, 12, kBanner);
    PrintAt(console_, 2, 12, std::string(51, '-'));
}

void StatusScreen::ShowNoIniNote() {
    PrintAt(console_, 3, 12, kNoIniNote);
}

void StatusScreen::ShowAddresses(const std::vector<IpAddress>& addresses, std::int32_t port) {
    int row = 18;
    for (std::size_t n = 1; n <= addresses.size(); ++n, ++row)
        PrintAt(console_, row, 1,
                "IP " + PrintForm(static_cast<long long>(n)) + ": " + IpText(addresses[n - 1]));
    PrintAt(console_, row, 1, "Port  :" + PrintForm(port));
    portRow_ = row;
}

void StatusScreen::ShowWebListener(std::optional<std::int32_t> port) {
    // A blank after the longest port ("Port  : 65535").
    PrintAt(console_, portRow_, 15, "Web:" + (port ? std::to_string(*port) : std::string("off")));
}

void StatusScreen::ShowIcsMode(bool on) {
    PrintAt(console_, 3, 70, "        ");
    if (!on) return;
    console_.SetColour(ConsoleColour::kMagenta);
    PrintAt(console_, 3, 70, "ICS Mode");
    console_.SetColour(ConsoleColour::kNormal);
}

void StatusScreen::ShowIcsModeSwitched(bool on) {
    ShowIcsMode(on);
    ShowKeyNotice(on ? "ICS mode on: I" : "ICS mode off: I");
}

void StatusScreen::ToggleBoard(const Cells& cells) {
    showBoard_ = !showBoard_;
    ShowKeyNotice(showBoard_ ? "Board display on: B" : "Board display frozen: B");
    // Row 15, under the board's files.
    PrintAt(console_, 15, 2, showBoard_ ? std::string(15, ' ') : std::string("--- frozen ----"));
    if (!showBoard_) return;
    RepaintBoard();
    DrawBoard(cells);
}

void StatusScreen::ShowResultTableRequests(std::int32_t count) {
    PrintAt(console_, 20, 24, "Result table requests:" + PrintForm(count));
}

void StatusScreen::ShowEmails(std::int32_t count) {
    PrintAt(console_, 18, 60, "Emails: " + PrintForm(count));
}

void StatusScreen::ShowOperatorNotice(const std::string& text) {
    PrintAt(console_, 21, 1, text);
}

void StatusScreen::ShowKeyNotice(const std::string& text) {
    // Over the whole row, past the longest notice of the mail settings.
    constexpr std::size_t kNoticeWidth = 79;
    ShowOperatorNotice(FixedWidth(text, kNoticeWidth));
}

void StatusScreen::ShowPlayerRow(int row, const std::string& clearing, const std::string& label,
                                 const std::string& name) {
    PrintAt(console_, row, 1, clearing);
    // Kept within the cleared width: a longer name (a whole engine command line)
    // would wrap into the next row and outlast the shorter name shown later.
    const std::string text = label + "\"" + name + "\" ]";
    PrintAt(console_, row, 1, std::string_view(text).substr(0, clearing.size()));
}

void StatusScreen::ShowPlayerStarted(PieceColour side, const std::string& name) {
    if (side == PieceColour::kWhite) {
        ShowPlayerRow(4, kClearWhite, "[White ", name);
    } else {
        ShowPlayerRow(5, kClearBlackColon, "[Black: ", name);
    }
}

void StatusScreen::ShowPlayers(const std::string& white, const std::string& black) {
    ShowPlayerRow(4, kClearWhite, "[White  ", white);
    ShowPlayerRow(5, kClearBlack, "[Black  ", black);
}

void StatusScreen::ShowNewGame(std::int32_t gameNumber, std::int32_t moveErrors) {
    console_.SetColour(ConsoleColour::kNormal);
    PrintAt(console_, 16, 5, "GAME:" + PrintForm(gameNumber));
    console_.EndLine();
    PrintMoveErrorRow(moveErrors);  // the colour stays for what a new game draws next
}

void StatusScreen::ShowMoveErrors(std::int32_t count) {
    PrintMoveErrorRow(count);
    console_.SetColour(ConsoleColour::kNormal);
}

void StatusScreen::PrintMoveErrorRow(std::int32_t count) {
    console_.SetColour(ConsoleColour::kLightRed);
    PrintAt(console_, 22, 50, "Move error count =" + PrintForm(count));
    console_.EndLine();
}

void StatusScreen::ShowMoveLabel() {
    console_.MoveTo(22, 1);
    console_.Print("Move: ");
}

void StatusScreen::ShowMoveText(const std::string& text) {
    // Right after the label: the cursor is where ShowMoveLabel left it.
    console_.Print("(" + text + ")      ");
    console_.EndLine();
}

void StatusScreen::ShowFiftyMoveCount(std::int32_t count) {
    console_.SetColour(ConsoleColour::kLightMagenta);
    PrintAt(console_, 22, 24, "50 Move Rule=" + PrintForm(count));
    console_.EndLine();
    console_.SetColour(ConsoleColour::kNormal);
}

void StatusScreen::ShowPaused(bool paused) {
    PrintAt(console_, 1, 2, paused ? std::string("paused...") : std::string(9, ' '));
    if (paused) console_.Flush();
}

void StatusScreen::DrawBoard(const Cells& cells) {
    if (!showBoard_) return;
    bool painted = false;
    for (int row = 1; row <= 8; ++row) {
        for (int file = 1; file <= 8; ++file) {
            const int cell = CellOf(row, file);
            const std::int32_t v = cells[cell];
            if (v == drawnBoard_[cell]) continue;
            console_.SetColour(v < 0 ? ConsoleColour::kLightBlue : ConsoleColour::kNormal);
            const int type = std::abs(v);
            PrintAt(console_, 6 + row, 2 * file,
                    v == 0 || type > kKing ? std::string(".") : Tables().pieceLetters[type]);
            drawnBoard_[cell] = v;
            painted = true;
        }
    }
    if (painted) console_.SetColour(ConsoleColour::kNormal);
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
    console_.SetColour(ConsoleColour::kBrown);
    PrintAt(console_, 6, 60, "      Dropped:" + PrintForm(count));
    console_.SetColour(ConsoleColour::kNormal);
}

void StatusScreen::ShowQueue(std::int32_t resendCount, std::int32_t pendingCount, bool congested) {
    // Red while any viewer is congested.
    if (resendCount != shownResendCount_ || congested != shownCongested_) {
        console_.SetColour(congested ? ConsoleColour::kLightRed : ConsoleColour::kLightGreen);
        PrintAt(console_, 7, 60, "Re-send queue:" + PrintForm(resendCount));
        console_.SetColour(ConsoleColour::kNormal);
        shownResendCount_ = resendCount;
        shownCongested_ = congested;
    }
    if (pendingCount != shownPendingCount_) {
        console_.SetColour(ConsoleColour::kLightCyan);
        PrintAt(console_, 8, 60, "Message queue:" + PrintForm(pendingCount));
        console_.SetColour(ConsoleColour::kNormal);
        shownPendingCount_ = pendingCount;
    }
}

}  // namespace lantrel
