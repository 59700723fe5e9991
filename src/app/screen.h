// The operator's status screen: the one module that knows its rows, columns and
// colours. The other parts report values through their screen interfaces; this
// draws them, keeping what it has drawn so that only changes are drawn again.
#pragma once

#include <string>

#include "chess/board.h"
#include "net/net.h"
#include "platform/platform.h"

namespace lantrel {

class StatusScreen final : public NetScreen {
  public:
    explicit StatusScreen(Console& console) : console_(console) {}

    // The console board (rows 7 to 14): repaints the squares that changed since
    // they were drawn, unless the operator has hidden it.
    void DrawBoard(const Cells& cells);
    // Forgets what the console board shows, so the next DrawBoard paints every square.
    void RepaintBoard() { drawnBoard_.fill(kOffBoard); }
    // Operator key B.
    void ToggleBoard() { showBoard_ = !showBoard_; }
    bool BoardShown() const { return showBoard_; }
    const Cells& DrawnBoard() const { return drawnBoard_; }

    // Row 23: "FEN : " and the position.
    void ShowFen(const std::string& fen);

    // NetScreen.
    void ShowClientTable(const ClientTable& table) override;
    void ShowConnects(std::int32_t count) override;
    void ShowChatRelays(std::int32_t count) override;
    void ShowDropped(std::int32_t count) override;
    void ShowQueue(std::int32_t resendCount, std::int32_t pendingCount, bool congested) override;
    void Beep() override { console_.Beep(); }

  private:
    Console& console_;
    Cells drawnBoard_ = OffBoardCells();
    bool showBoard_ = true;
    std::int32_t shownResendCount_ = -1;
    std::int32_t shownPendingCount_ = -1;

    static constexpr Cells OffBoardCells() {
        Cells c{};
        c.fill(kOffBoard);
        return c;
    }
};

}  // namespace lantrel
