#include "web/live_pgn.h"

#include <cstdlib>

#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr std::size_t kLineWidth = 80;

// A text from engine output or the GUI in UTF-8, its control characters (C0,
// DEL and C1) dropped, so that no reader's terminal obeys them, and `escape`
// behind a backslash.
std::string PgnText(const std::string& text, std::string_view escape) {
    const std::string utf8 = TextToUtf8(text);
    std::string clean;
    for (std::size_t k = 0; k < utf8.size(); ++k) {
        const char c = utf8[k];
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) continue;
        // U+0080 to U+009F: 0xC2, then 0x80 to 0x9F.
        if (byte == 0xC2 && static_cast<unsigned char>(utf8[k + 1]) <= 0x9F) {
            ++k;
            continue;
        }
        if (escape.find(c) != std::string_view::npos) clean += '\\';
        clean += c;
    }
    return clean;
}

std::string TagLine(const std::string& name, const std::string& value) {
    return "[" + name + " \"" + PgnText(value, "\"\\") + "\"]\n";
}

// The GUI's words for the result as the comment before it: "{White mates}".
// A comment ends at the first "}", so the words hold none.
std::string ReasonComment(const std::string& reason) {
    std::string words = PgnText(reason, "");
    std::erase(words, '}');
    return words.empty() ? std::string() : "{" + words + "}";
}

std::string KnownOr(const std::string& value) {
    return value.empty() ? "?" : value;
}

std::string ClockText(std::int64_t centiseconds) {
    const std::int64_t seconds = centiseconds < 0 ? 0 : centiseconds / 100;
    auto two = [](std::int64_t n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
    return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

// The mover's score from White's side in pawns ("0.17", "-1.05"); none for a
// mate score, which engines write in ways of their own.
std::string EvalText(const ThinkingLine& thinking, PieceColour mover) {
    constexpr std::int64_t kMateScores = 90000;
    if (std::llabs(thinking.score) >= kMateScores) return {};
    const std::int64_t white = mover == PieceColour::kWhite ? thinking.score : -thinking.score;
    const std::int64_t magnitude = std::llabs(white);
    const std::string hundredths = std::to_string(magnitude % 100);
    return (white < 0 ? "-" : "") + std::to_string(magnitude / 100) + "." +
           (hundredths.size() < 2 ? "0" : "") + hundredths;
}

std::string PlyComment(const RecordedPly& ply) {
    std::string inside;
    if (ply.clockAfter) inside = "[%clk " + ClockText(*ply.clockAfter) + "]";
    if (ply.moverThinking) {
        const std::string eval = EvalText(*ply.moverThinking, ply.move.side);
        if (!eval.empty()) inside += (inside.empty() ? "" : " ") + ("[%eval " + eval + "]");
    }
    return inside.empty() ? std::string() : "{" + inside + "}";
}

// Appends `token` to the movetext, starting a new line before it overflows.
void AddToken(std::string& text, std::size_t& lineLength, const std::string& token) {
    if (lineLength > 0 && lineLength + 1 + token.size() > kLineWidth) {
        text += '\n';
        lineLength = 0;
    }
    if (lineLength > 0) {
        text += ' ';
        ++lineLength;
    }
    text += token;
    lineLength += token.size();
}

}  // namespace

std::string PgnTimeControl(const Level& level) {
    if (!level.control) return {};
    const TimeControl& control = *level.control;
    const std::string base = std::to_string(control.baseSeconds);
    if (control.movesPerSession > 0) return std::to_string(control.movesPerSession) + "/" + base;
    return base + (control.increment > 0 ? "+" + std::to_string(control.increment) : "");
}

std::string PgnOfGame(const RecordedGame& game, const std::string& event, const std::string& site) {
    const std::string result = game.result.empty() ? "*" : game.result;
    std::string text = TagLine("Event", KnownOr(event)) + TagLine("Site", KnownOr(site)) +
                       TagLine("Date", KnownOr(game.date)) +
                       TagLine("Round", game.number > 0 ? std::to_string(game.number) : "?") +
                       TagLine("White", KnownOr(game.white)) +
                       TagLine("Black", KnownOr(game.black)) + TagLine("Result", result);
    const std::string timeControl = PgnTimeControl(game.level);
    if (!timeControl.empty()) text += TagLine("TimeControl", timeControl);
    if (game.chess960) text += TagLine("Variant", "Chess960");
    // The deepest named position the game reached names its opening.
    for (auto ply = game.plies.rbegin(); ply != game.plies.rend(); ++ply) {
        if (!ply->opening) continue;
        text += TagLine("ECO", ply->opening->eco) + TagLine("Opening", ply->opening->name);
        break;
    }
    if (!game.startFen.empty()) {
        // The move number is the first move's.
        const std::int32_t firstNumber = game.plies.empty() ? 1 : game.plies[0].move.number;
        const std::string& full = game.startFullFen;
        text += TagLine("SetUp", "1") +
                TagLine("FEN", full.substr(0, full.rfind(' ') + 1) + std::to_string(firstNumber));
    }
    text += '\n';

    std::size_t lineLength = 0;
    bool numberDue = true;  // Black's move needs "n..." after a comment or at the start
    for (const RecordedPly& ply : game.plies) {
        const std::string number = std::to_string(ply.move.number);
        if (ply.move.side == PieceColour::kWhite) {
            AddToken(text, lineLength, number + ".");
        } else if (numberDue) {
            AddToken(text, lineLength, number + "...");
        }
        AddToken(text, lineLength, ply.pgnSan);
        const std::string comment = PlyComment(ply);
        if (!comment.empty()) AddToken(text, lineLength, comment);
        numberDue = !comment.empty();
    }
    if (const std::string reason = ReasonComment(game.reason); !reason.empty())
        AddToken(text, lineLength, reason);
    AddToken(text, lineLength, result);
    return text + "\n";
}

std::string LivePgn(const GameRecorder& record, const std::string& event, const std::string& site) {
    std::string text;
    for (const RecordedGame& game : record.finished())
        text += PgnOfGame(game, event, site) + "\n";
    const RecordedGame& current = record.current();
    const bool named = current.white != kNoWhite || current.black != kNoBlack;
    if (!current.plies.empty() || !current.result.empty() || named)
        text += PgnOfGame(current, event, site) + "\n";
    return text;
}

void LivePgnFile::TourneyEvent(std::string event) {
    if (event == tourneyEvent_) return;
    tourneyEvent_ = std::move(event);
    changed_ = true;
}

void LivePgnFile::TurnEnded() {
    if ((!settings_.livePgn && !published) || catchingUp_) return;
    if (changed_) {
        changed_ = false;
        text_ = LivePgn(record_, tourneyEvent_.empty() ? site_ : tourneyEvent_, site_);
        if (published) published(text_);
        unwritten_ = settings_.livePgn;
    }
    if (unwritten_) unwritten_ = !WriteFile();
}

bool LivePgnFile::WriteFile() const {
    const std::string temporary = path_ + ".tmp";
    if (CreateEmptyFile(temporary) == kFileOk && AppendBytes(temporary, text_) == kFileOk &&
        ReplaceFile(temporary, path_))
        return true;
    RemoveFile(temporary);
    return false;
}

}  // namespace lantrel
