// Plays an engine's line on the page's own copy of a position: the feed gives
// the position after every move, but a line ("e4 e5 Nf3" or "e2e4 e7e5 g1f3")
// names only moves. Just enough chess for that: SAN or coordinate moves,
// castling (Chess960's too), en passant, promotion, and no move that leaves
// the king in check. Positions are {squares, turn, castling, ep}: squares[0]
// is a8, squares[63] h1; castling lists the squares of the rooks that may
// still castle.

const FILES = "abcdefgh"
const KNIGHT = [[1, 2], [2, 1], [2, -1], [1, -2], [-1, -2], [-2, -1], [-2, 1], [-1, 2]]
const KING = [[1, 0], [1, 1], [0, 1], [-1, 1], [-1, 0], [-1, -1], [0, -1], [1, -1]]
const ROOK = [[1, 0], [-1, 0], [0, 1], [0, -1]]
const BISHOP = [[1, 1], [1, -1], [-1, 1], [-1, -1]]
const SLIDES = {r: ROOK, b: BISHOP, q: [...ROOK, ...BISHOP]}

const index = (file, rank) => (7 - rank) * 8 + file       // file, rank from 0
const fileOf = (square) => square % 8
const rankOf = (square) => 7 - Math.floor(square / 8)
const onBoard = (file, rank) => file >= 0 && file < 8 && rank >= 0 && rank < 8
const colourOf = (piece) => piece === piece.toUpperCase() ? "w" : "b"

export const squareName = (square) => FILES[fileOf(square)] + (rankOf(square) + 1)

function squareIndex(name) {
    return /^[a-h][1-8]$/.test(name) ? index(FILES.indexOf(name[0]), Number(name[1]) - 1) : -1
}

// The feed's position text ("placement side castling", maybe more); null when unreadable.
export function readFen(fen) {
    const [placement, turn = "w", castling = "-", ep = "-"] = String(fen).trim().split(/\s+/)
    const squares = []
    for (const c of placement) {
        if (c === "/") continue
        if (/[1-8]/.test(c)) squares.push(...Array(Number(c)).fill(""))
        else if (/[pnbrqkPNBRQK]/.test(c)) squares.push(c)
        else return null
    }
    if (squares.length !== 64 || (turn !== "w" && turn !== "b")) return null
    return {squares, turn, castling: castlingRooks(squares, castling), ep: squareIndex(ep)}
}

// The rooks a castling field lets castle: K and Q the outermost rook on that
// side of the king (X-FEN; the corner rook of the standard game), a file
// letter the rook on that file (Shredder-FEN, X-FEN's inner rook), each on
// its side's first rank.
function castlingRooks(squares, field) {
    const rooks = []
    for (const letter of field === "-" ? "" : field) {
        const white = letter !== letter.toLowerCase(), upper = letter.toUpperCase()
        const rank = white ? 0 : 7, rook = white ? "R" : "r"
        const kingFile = [0, 1, 2, 3, 4, 5, 6, 7].find((f) => squares[index(f, rank)] === (white ? "K" : "k"))
        if (kingFile === undefined) continue
        const outward = upper === "K" ? [7, 6, 5, 4, 3, 2, 1] : [0, 1, 2, 3, 4, 5, 6]
        const file = upper === "K" || upper === "Q"
            ? outward.find((f) => (upper === "K" ? f > kingFile : f < kingFile) && squares[index(f, rank)] === rook)
            : FILES.indexOf(letter.toLowerCase())
        if (file !== undefined && file >= 0 && squares[index(file, rank)] === rook) rooks.push(index(file, rank))
    }
    return rooks
}

// The placement part of a FEN, for the board.
export function placement(position) {
    const ranks = []
    for (let row = 0; row < 8; row++) {
        let text = "", empty = 0
        for (const piece of position.squares.slice(row * 8, row * 8 + 8)) {
            if (!piece) { empty++; continue }
            if (empty) text += empty
            text += piece
            empty = 0
        }
        ranks.push(text + (empty || ""))
    }
    return ranks.join("/")
}

function attacked(squares, target, by) {
    const f = fileOf(target), r = rankOf(target)
    const at = (df, dr) => onBoard(f + df, r + dr) ? squares[index(f + df, r + dr)] : ""
    const own = (piece, type) => piece && colourOf(piece) === by && piece.toLowerCase() === type
    const pawnRank = by === "w" ? -1 : 1
    if (own(at(-1, pawnRank), "p") || own(at(1, pawnRank), "p")) return true
    if (KNIGHT.some(([df, dr]) => own(at(df, dr), "n"))) return true
    if (KING.some(([df, dr]) => own(at(df, dr), "k"))) return true
    for (const [directions, types] of [[ROOK, "rq"], [BISHOP, "bq"]]) {
        for (const [df, dr] of directions) {
            for (let step = 1; onBoard(f + df * step, r + dr * step); step++) {
                const piece = squares[index(f + df * step, r + dr * step)]
                if (!piece) continue
                if (colourOf(piece) === by && types.includes(piece.toLowerCase())) return true
                break
            }
        }
    }
    return false
}

// The position after a move {from, to, promotion (a lower-case letter), rook
// (castling's)}, without asking whether the move is legal.
function play(position, {from, to, promotion, rook}) {
    const squares = position.squares.slice()
    const piece = squares[from], type = piece.toLowerCase()
    const turn = position.turn === "w" ? "b" : "w"
    if (rook !== undefined) {
        // King and rook leave their squares before either lands: in Chess960
        // the king may land on its rook's square, or stay where it is.
        const rank = rankOf(from), rookPiece = squares[rook]
        squares[from] = ""
        squares[rook] = ""
        squares[to] = piece
        squares[index(fileOf(rook) > fileOf(from) ? 5 : 3, rank)] = rookPiece
        return {squares, turn, castling: position.castling.filter((square) => rankOf(square) !== rank), ep: -1}
    }
    let ep = -1
    if (type === "p" && to === position.ep) squares[index(fileOf(to), rankOf(from))] = ""
    if (type === "p" && Math.abs(rankOf(to) - rankOf(from)) === 2) ep = index(fileOf(from), (rankOf(from) + rankOf(to)) / 2)
    squares[to] = type === "p" && (rankOf(to) === 0 || rankOf(to) === 7)
        ? (position.turn === "w" ? (promotion || "q").toUpperCase() : promotion || "q") : piece
    squares[from] = ""
    // A king that moves ends its side's castling; a rook that moves, or is
    // taken on its square, its own.
    const kingRank = type !== "k" ? -1 : position.turn === "w" ? 0 : 7
    const castling = position.castling.filter((square) => square !== from && square !== to &&
        rankOf(square) !== kingRank)
    return {squares, turn, castling, ep}
}

// Every move of the side to move that leaves its king safe: {from, to, promotion}.
export function legalMoves(position) {
    const {squares, turn} = position
    const moves = []
    const add = (from, to) => {
        if (squares[from].toLowerCase() === "p" && (rankOf(to) === 0 || rankOf(to) === 7)) {
            for (const promotion of "qrbn") moves.push({from, to, promotion})
        } else {
            moves.push({from, to})
        }
    }
    const enemy = (square) => squares[square] && colourOf(squares[square]) !== turn
    for (let from = 0; from < 64; from++) {
        const piece = squares[from]
        if (!piece || colourOf(piece) !== turn) continue
        const f = fileOf(from), r = rankOf(from), type = piece.toLowerCase()
        if (type === "p") {
            const forward = turn === "w" ? 1 : -1
            const one = onBoard(f, r + forward) ? index(f, r + forward) : -1
            if (one >= 0 && !squares[one]) {
                add(from, one)
                const two = index(f, r + 2 * forward)
                if (r === (turn === "w" ? 1 : 6) && !squares[two]) add(from, two)
            }
            for (const df of [-1, 1]) {
                if (!onBoard(f + df, r + forward)) continue
                const to = index(f + df, r + forward)
                if (enemy(to) || to === position.ep) add(from, to)
            }
        } else if (type === "n" || type === "k") {
            for (const [df, dr] of type === "n" ? KNIGHT : KING) {
                if (!onBoard(f + df, r + dr)) continue
                const to = index(f + df, r + dr)
                if (!squares[to] || enemy(to)) add(from, to)
            }
        } else {
            for (const [df, dr] of SLIDES[type]) {
                for (let step = 1; onBoard(f + df * step, r + dr * step); step++) {
                    const to = index(f + df * step, r + dr * step)
                    if (squares[to] && !enemy(to)) break
                    add(from, to)
                    if (squares[to]) break
                }
            }
        }
    }
    // Castling: king and rook to the g- and f-file or the c- and d-file, every
    // square they pass or land on empty but for the two of them, and the king
    // neither in check nor passing or landing on an attacked square.
    const rank = turn === "w" ? 0 : 7, them = turn === "w" ? "b" : "w"
    const king = squares.findIndex((piece) => piece === (turn === "w" ? "K" : "k"))
    const span = (a, b) => [0, 1, 2, 3, 4, 5, 6, 7].filter((f) =>
        f >= Math.min(fileOf(a), fileOf(b)) && f <= Math.max(fileOf(a), fileOf(b))).map((f) => index(f, rank))
    for (const rook of position.castling) {
        if (rankOf(rook) !== rank || rankOf(king) !== rank || squares[rook] !== (turn === "w" ? "R" : "r")) continue
        const kingSide = fileOf(rook) > fileOf(king)
        const kingTo = index(kingSide ? 6 : 2, rank), rookTo = index(kingSide ? 5 : 3, rank)
        if ([...span(king, kingTo), ...span(rook, rookTo)].some((square) =>
            squares[square] && square !== king && square !== rook)) continue
        if (span(king, kingTo).some((square) => attacked(squares, square, them))) continue
        moves.push({from: king, to: kingTo, rook})
    }
    return moves.filter((move) => {
        const after = play(position, move).squares
        const kingSquare = after.findIndex((piece) => piece === (turn === "w" ? "K" : "k"))
        return kingSquare >= 0 && !attacked(after, kingSquare, them)
    })
}

// The move a text names in `position` (SAN with or without check marks, or
// coordinates as UCI, XBoard and engines' long notation write them: "e2e4",
// "Ng1-f3", "a4xb5", "c7-c8Q"); null when it names no legal move or more
// than one. Brackets and commas around a word (a GUI's "(Rf1-e1 , book)", a
// ponder move's "(Qe8)", Sjeng's "<Rh5>") go.
export function findMove(position, text) {
    const word = String(text).replace(/^[(\[{<]+/, "").replace(/[)\]},>]+$/, "").replace(/[+#!?]+$/, "")
    const moves = legalMoves(position)
    const coordinate = /^[NBRQK]?([a-h][1-8])[-x:]?([a-h][1-8])=?([qrbnQRBN])?$/.exec(word)
    if (coordinate) {
        const from = squareIndex(coordinate[1]), to = squareIndex(coordinate[2])
        const promotion = coordinate[3]?.toLowerCase()
        // Castling also as the king taking its own rook (UCI_Chess960's e1h1);
        // a plain king step comes before a castling to the same square.
        return moves.find((m) => m.from === from && (m.to === to || m.rook === to) &&
            (m.promotion ?? "q") === (promotion ?? "q")) ?? null
    }
    const castle = /^([O0])-\1(-\1)?$/.exec(word)
    if (castle) return moves.find((m) => m.rook !== undefined && fileOf(m.to) === (castle[2] ? 2 : 6)) ?? null
    const san = /^([NBRQK])?([a-h])?([1-8])?x?([a-h][1-8])(?:=?([NBRQ]))?$/.exec(word)
    if (!san) return null
    const [, pieceLetter, fromFile, fromRank, target, promotion] = san
    const type = (pieceLetter ?? "P").toLowerCase(), to = squareIndex(target)
    // A pawn's SAN names its file when it takes: "h3" is the h-pawn's step.
    const pawnFile = type === "p" && !fromFile ? fileOf(to) : null
    const matches = moves.filter((m) => m.to === to && position.squares[m.from].toLowerCase() === type &&
        (pawnFile === null || fileOf(m.from) === pawnFile) &&
        (!fromFile || FILES[fileOf(m.from)] === fromFile) && (!fromRank || rankOf(m.from) + 1 === Number(fromRank)) &&
        (m.promotion ?? "") === (promotion?.toLowerCase() ?? (m.promotion ? "q" : "")))
    return matches.length === 1 ? matches[0] : null
}

// A move number between the moves of a line: "12.", "12..." or HoiChess's "...".
export const MOVE_NUMBER = /^(\d+\.+|\.\.\.)$/

// The move in standard algebraic notation: "Nbd7", "exd5", "e8=Q+",
// "O-O-O", "Qh7#".
export function sanOf(position, move) {
    const piece = position.squares[move.from], type = piece.toLowerCase()
    const capture = move.rook === undefined &&
        (Boolean(position.squares[move.to]) || (type === "p" && move.to === position.ep))
    let san
    if (move.rook !== undefined) {
        san = fileOf(move.to) === 6 ? "O-O" : "O-O-O"
    } else if (type === "p") {
        san = (capture ? FILES[fileOf(move.from)] + "x" : "") + squareName(move.to) +
            (move.promotion ? "=" + move.promotion.toUpperCase() : "")
    } else {
        // The file, else the rank, else both, of a twin that reaches the same square.
        const twins = legalMoves(position).filter((m) => m.to === move.to && m.from !== move.from &&
            position.squares[m.from] === piece)
        const sameFile = twins.some((m) => fileOf(m.from) === fileOf(move.from))
        const sameRank = twins.some((m) => rankOf(m.from) === rankOf(move.from))
        const from = squareName(move.from)
        const which = !twins.length ? "" : !sameFile ? from[0] : !sameRank ? from[1] : from
        san = type.toUpperCase() + which + (capture ? "x" : "") + squareName(move.to)
    }
    const after = play(position, move)
    const king = after.squares.findIndex((p) => p === (after.turn === "w" ? "K" : "k"))
    if (king < 0 || !attacked(after.squares, king, position.turn)) return san
    return san + (legalMoves(after).length ? "+" : "#")
}

// Plays the words of an engine's line from `position` as far as they are
// moves: [{from, to, word, san, capture, position}], one per move played.
// Move numbers ("12." "12..." or HoiChess's "8. ... b4") are passed over;
// the first word that is no legal move ends the line.
export function playLine(position, line) {
    const played = []
    let current = position
    for (const word of String(line).trim().split(/\s+/)) {
        if (!word || MOVE_NUMBER.test(word)) continue
        const move = findMove(current, word)
        if (!move) break
        const capture = move.rook === undefined && (Boolean(current.squares[move.to]) ||
            (current.squares[move.from].toLowerCase() === "p" && move.to === current.ep))
        const san = sanOf(current, move)
        current = play(current, move)
        played.push({from: squareName(move.from), to: squareName(move.to), word, san, capture, position: current})
    }
    return played
}

// `position` with the en-passant square of the move from -> to when that move
// was a pawn's double step (the feed's positions leave it out).
export function withEnPassant(position, from, to) {
    const a = squareIndex(from), b = squareIndex(to)
    if (!position || a < 0 || b < 0 || fileOf(a) !== fileOf(b) || Math.abs(rankOf(a) - rankOf(b)) !== 2) return position
    if (position.squares[b].toLowerCase() !== "p") return position
    return {...position, ep: index(fileOf(a), (rankOf(a) + rankOf(b)) / 2)}
}
