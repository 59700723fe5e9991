// Draws positions on a cm-chessboard so that it keeps up with the game. The
// board's own queue plays every position it is handed, one animation after
// another, and falls behind when moves come faster than it animates: here a
// position waits only for the change in flight, and then only the latest one
// is drawn, at once. A move is animated only when the board is idle and it is
// one ply on from the position drawn.
export class KeptUpBoard {
    // `drawn(ply)` runs once the position after `ply` stands on the board.
    constructor(chessboard, drawn) {
        this.chessboard = chessboard
        this.drawn = drawn
        this.wanted = null      // {fen, ply, animated}: the latest position asked for
        this.busy = false
        this.ply = null         // the ply of the position on the board
    }

    show(fen, ply, animated) {
        this.wanted = {fen, ply, animated}
        if (!this.busy) this.next()
    }

    next() {
        const {fen, ply, animated} = this.wanted
        this.wanted = null
        this.busy = true
        const step = animated && this.ply !== null && ply === this.ply + 1
        this.chessboard.setPosition(fen, step).finally(() => {
            this.busy = false
            this.ply = ply
            if (this.wanted) {
                this.wanted.animated = false    // it waited: no time for an animation
                this.next()
            } else {
                this.drawn(ply)
            }
        })
    }
}
