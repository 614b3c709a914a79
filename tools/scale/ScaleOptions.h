#pragma once

#include "LineSettings.h"

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
    // Send a weight answer every this many milliseconds without being asked,
    // as scales set to continuous output do; 0 sends only when asked.
    int continuousMs = 0;
    // Ignore commands altogether (they are still recorded), as a scale does
    // whose serial output is set to continuous only.
    bool continuousOnly = false;
    // The scale's own line settings. A host at another baud rate gets noise
    // and is not understood; with 7 data bits each character goes out with
    // its parity bit (or stop bit) where an 8-bit receiver reads bit 7.
    LineSettings line;
    // R and S repeat the weight until the next command arrives. Off, they
    // answer once like W and H, which keeps a discovery run predictable.
    bool streamRepeats = false;
    // Each weight request steps to the next weight state, so that a host
    // polling W sees every status flag on its own. Off, the state holds.
    bool cycleWeights = true;
    // Answer as a firmware whose commands do not do what they claim: T does
    // not tare and answers a gross weight, C answers a net one, U keeps its
    // unit, and H, Q and S answer with the upper-case G or N of the
    // displayed resolution.
    bool lie = false;
};
