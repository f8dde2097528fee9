#pragma once
// The text notation the song is written in: one token per row of one channel, read like a
// tracker column.
//
//   token     = head modifier*        e.g.  C-5   G#4/20   .:A04   ==   E-5@0:308
//   head      = note | "." (no note) | "==" (key off)
//   note      = letter ('-' | '#') octave, C-0 … B-7
//   modifier  = "@" decimal           instrument (0: none, even with a note)
//             | "/" hex hex           volume column: set volume 00…40
//             | "/" letter hex        volume column command: - slide down, + slide up,
//                                     d fine down, u fine up, s vibrato speed, v vibrato,
//                                     p panning, l slide left, r slide right, m tone portamento
//             | ":" effect hex hex    effect column: the effect's letter or digit and parameter
//
// Tokens are separated by white space; a "|" between them marks a beat and is skipped.
// A note without "@" gets the phrase's instrument.
#include <cstdint>
#include <string_view>
#include <vector>

#include "tools/xm_writer.h"

constexpr uint8_t kKeyOff = 97;  // the file's key-off note

// The cells of `text`, one per row. Throws std::runtime_error naming the token it cannot read.
std::vector<XmCell> parseRows(std::string_view text, uint8_t instrument);

// The cells moved by `semitones` (key-offs and empty notes stay). Throws std::runtime_error when
// a note leaves C-0 … B-7.
std::vector<XmCell> transpose(std::vector<XmCell> rows, int semitones);

// "C-4" → 49 (C-0 is 1); 0 when `text` is not a note.
uint8_t noteNumber(std::string_view text);
