#pragma once

namespace player {

// Timings of the player, in milliseconds. Tests shorten them.
struct PlayerTimings
{
    // A stream that gives no audio within this time makes way for the next candidate.
    int noAudioTimeoutMs = 8000;
    // Buffering progress extends that wait, but a stream that has still not sounded this long
    // after it was opened never will (data trickling in a byte at a time, framing that leaves
    // almost no audio): it makes way too.
    int firstAudioCapMs = 30000;
    // Waits between reconnection attempts grow from the first to the cap.
    int reconnectFirstMs = 1000;
    int reconnectCapMs = 10000;
    // A live stream paused for up to this long resumes where it was: its connection is held
    // and the sound server's stream corked, and what the station sends meanwhile waits in the
    // buffers. A longer pause lets the connection go: resuming plays the station as it is now.
    int livePauseHoldMs = 10000;
    // A stream that, once it played, spends more than half of this long buffering from when it
    // first ran dry brings less than half of what it plays: it counts as stalled and is
    // reconnected.
    int stallMs = 10000;
};

// The wait before reconnection attempt number `attempt` (counting from 0): doubling from the
// first wait, never more than the cap.
int reconnectDelayMs(int attempt, const PlayerTimings &timings = {});

} // namespace player
