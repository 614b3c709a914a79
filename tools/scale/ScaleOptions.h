#pragma once

#include <QByteArray>

// How the simulated scale behaves. The defaults make a well-behaved Level 2
// scale whose runs are predictable: every command gets exactly one answer.
struct ScaleOptions
{
    // Level 2 letters the scale answers and publishes in its "CMD:" line, in
    // the order published. The Level 1 letters (A B D W Z) and the listing
    // letters I and N are answered whatever this holds: a scale that refused
    // I could not publish anything at all.
    QByteArray level2Commands = "HPTMCU";
    // The "SN :" line of the About listing, so that benches of simulated
    // scales tell their checks apart.
    QByteArray serialNumber = "000001";
    // Carry the "CMD:" line in the Information listing.
    bool sendCommandLine = true;
    // End the About and Information listings with an "END:" line. Some
    // scales stop after their last line and answer the next B or N with "?".
    bool endListings = true;
    // Answer "?" to every command, as a scale that understands nothing.
    bool rejectAll = false;
    // End every answer with CR LF instead of CR, as some firmwares do.
    bool crlf = false;
    // Start every answer with LF. Off (with crlf on) gives plain text lines
    // ending CR LF, as a scale printing to a terminal does.
    bool leadingLf = true;
    // Never answer anything (commands are still recorded).
    bool silent = false;
    // R and S repeat the weight until the next command arrives. Off, they
    // answer once like W and H, which keeps a discovery run predictable.
    bool streamRepeats = false;
    // Each weight request steps to the next weight state, so that a host
    // polling W sees every status flag on its own. Off, the state holds.
    bool cycleWeights = true;
};
