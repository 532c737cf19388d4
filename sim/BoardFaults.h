#pragma once

// Misbehaviour the simulated programmer board can be told to show, so the
// host's error paths can be driven. Block numbers count from 0 within one
// write or read transfer; -1 switches a fault off.
struct BoardFaults {
    // Commands are taken in but nothing is ever sent back.
    bool neverAnswer = false;
    // Write block k is programmed but its acknowledgement is not sent.
    int dropAckOfBlock = -1;
    // Write block k is answered 0xFF and not programmed.
    int failBlock = -1;
    // The first request for read block k gets no reply; the repeat request
    // (0xFF) is answered.
    int loseReadBlock = -1;
    // Every reply is replaced by random bytes of the same length that carry
    // no meaning the host knows.
    bool garbage = false;
    // Every reply waits this long before it goes out.
    int replyDelayMs = 0;
    // The board closes the line after answering block k of a write or read.
    int closeAfterBlock = -1;
    // The frame that closes a write (a command 0 in write mode) is taken,
    // ending the write, but never answered.
    bool noEndAnswer = false;
};
