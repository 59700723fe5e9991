// The operator's status screen: the one module that knows its rows, columns and
// colours. The other parts report values through their screen interfaces; this
// draws them, keeping what it has drawn so that only changes are drawn again.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "chess/board.h"
#include "feed/feed.h"
#include "net/net.h"
#include "platform/platform.h"

namespace lantrel {

class StatusScreen final : public NetScreen, public FeedScreen {
  public:
    explicit StatusScreen(Console& console) : console_(console) {}

    // Rows 1 and 2: the banner under a cleared screen; row 3 the note that no
    // server.ini was found.
    void ShowBanner();
    void ShowNoIniNote();
    // Rows 18 on: the host's addresses, then the port.
    void ShowAddresses(const std::vector<IpAddress>& addresses, std::int32_t port);
    // The port row, column 14: "Web:" and the web listener's port, or "Web:off"
    // when it could not start (server.log says why).
    void ShowWebListener(std::optional<std::int32_t> port);
    // Row 3, column 70: "ICS Mode" while it is on. After the operator's key I
    // the notice row says which way it went.
    void ShowIcsMode(bool on);
    void ShowIcsModeSwitched(bool on);
    // The tournament services' counters and the row where their notices go.
    void ShowResultTableRequests(std::int32_t count);
    void ShowEmails(std::int32_t count);
    void ShowOperatorNotice(const std::string& text);
    // What an operator key switched, on the notice row, over what stood there.
    void ShowKeyNotice(const std::string& text);
    // The cursor waits on the notice row while the mailer starts.
    void ShowMailerStarting() { console_.MoveTo(21, 1); }

    // Operator key B: the board stops following the game, marked "frozen"
    // under it, or follows it again, drawn whole from `cells`. The notice row
    // says which.
    void ToggleBoard(const Cells& cells);
    bool BoardShown() const { return showBoard_; }
    const Cells& DrawnBoard() const { return drawnBoard_; }

    // FeedScreen.
    void ShowPlayerStarted(PieceColour side, const std::string& name) override;
    void ShowPlayers(const std::string& white, const std::string& black) override;
    void ShowNewGame(std::int32_t gameNumber, std::int32_t moveErrors) override;
    void ShowMoveErrors(std::int32_t count) override;
    void ShowMoveLabel() override;
    void ShowMoveText(const std::string& text) override;
    void ShowFiftyMoveCount(std::int32_t count) override;
    // Row 23: "FEN : " and the position.
    void ShowFen(const std::string& fen) override;
    // The console board (rows 7 to 14), unless the operator has hidden it.
    void DrawBoard(const Cells& cells) override;
    void RepaintBoard() override { drawnBoard_.fill(kOffBoard); }
    void ShowPaused(bool paused) override;
    void ShowFeedNotice(const std::string& text) override { ShowKeyNotice(text); }

    // NetScreen.
    void ShowClientTable(const ClientTable& table) override;
    void ShowConnects(std::int32_t count) override;
    void ShowChatRelays(std::int32_t count) override;
    void ShowDropped(std::int32_t count) override;
    void ShowQueue(std::int32_t resendCount, std::int32_t pendingCount, bool congested) override;
    void Beep() override { console_.Beep(); }

  private:
    // A player row: cleared over `clearing`, then label, quoted name and " ]".
    void ShowPlayerRow(int row, const std::string& clearing, const std::string& label,
                       const std::string& name);
    void PrintMoveErrorRow(std::int32_t count);

    Console& console_;
    int portRow_ = 18;
    Cells drawnBoard_ = OffBoardCells();
    bool showBoard_ = true;
    std::int32_t shownResendCount_ = -1;
    bool shownCongested_ = false;
    std::int32_t shownPendingCount_ = -1;

    static constexpr Cells OffBoardCells() {
        Cells c{};
        c.fill(kOffBoard);
        return c;
    }
};

}  // namespace lantrel
