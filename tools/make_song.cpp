// make-song: composes the demo's song and writes it as an XM module.
//
// The music is written below as text, one token per row (the notation is described in
// song_notation.h): phrases of one bar for one channel, and sections that stack phrases into
// the 14 channels of one pattern. Each section is one pattern and one order entry, played in
// rising order, so the demo's scene timeline follows it; after the last one the song goes back
// to the entry where the beat starts. Every instrument is synthesised (song_instruments.cpp),
// with integer arithmetic, so the file is the same byte for byte on every run.
//
// The piece: A minor, 125 BPM at speed 6 (16 rows a bar, 7.68 s a 64-row pattern).
//   0–3   intro, two bars each: pads swell, a bell foretells the hook over its echo
//   4–7   the beat: kick, hats, offbeat bass under the bell; snare from 5, chip arpeggios from 6
//   8–11  the lift: sixteenth hats, rolling bass, claps, a brighter progression
//   12–13 the lead plays the hook
//   14    break: no drums, the bell plays the hook, the bass dives
//   15    build: snare roll and a noise riser (one bar looped), a breath before the drop
//   16–17 the full theme, with gated pads; 18–19 the second theme, turning to B minor
//   20–22 both themes a tone higher; 23–24 outro, slowing down
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "song_instruments.h"
#include "song_notation.h"
#include "xm_writer.h"

namespace {

enum SongChannel : int {
    kKickChannel,
    kSnareChannel,
    kPercChannel,   // claps and toms
    kHatsChannel,
    kBassChannel,
    kLeadChannel,
    kEchoChannel,   // written from another channel, 3 rows late (see echoOf)
    kArpChannel,
    kPad1Channel,   // the three chord voices, low to high
    kPad2Channel,
    kPad3Channel,
    kBellChannel,
    kFxChannel,     // crashes, and the effects that steer the song: loop, delay, tempo, volume
    kRiserChannel,
    kChannelCount,
};

constexpr int kRowsPerBar = 16;
constexpr int kRestartPosition = 4;  // the beat: where the song continues after the outro

struct Phrase {
    const char* name;
    uint8_t     instrument;  // given to every note without "@"
    const char* rows;        // one bar
};

// clang-format off
const Phrase kPhrases[] = {
    // Drums.
    {"kick",       kKick,  "C-4 . . . | C-4 . . . | C-4 . . . | C-4 . . ."},
    // Where the song comes back after the outro: the tempo the outro slowed down is restored.
    {"kickTop",    kKick,  "C-4:F7D . . . | C-4 . . . | C-4 . . . | C-4 . . ."},
    {"kickPush",   kKick,  "C-4 . . . | C-4 . . . | C-4 . . . | C-4 . C-4/20 ."},
    {"kickHalf",   kKick,  "C-4 . . . | . . . . | C-4 . . . | . . . ."},
    {"kickBuild",  kKick,  "C-4 . C-4 . | C-4 . C-4 . | C-4 C-4/30 C-4/34 C-4/38 | . . . ."},
    {"snare",      kSnare, ". . . . | C-4 . . . | . . . . | C-4 . . ."},
    // The last one is a ghost note, three ticks late.
    {"snareGhost", kSnare, ". . . . | C-4 . . . | . . . . | C-4 . . C-4/12:ED3"},
    {"snareFill",  kSnare, ". . . . | C-4 . . . | . . C-4/18 C-4/20 | C-4 C-4/28 C-4/30 C-4/38"},
    {"pickup",     kSnare, ". . . . | . . . . | . . . . | C-4/14 C-4/1C C-4/24 C-4/2C"},
    {"roll1",      kSnare, "C-4/14 . . . | C-4/16 . . . | C-4/18 . . . | C-4/1A . . ."},
    {"roll2",      kSnare, "C-4/1C . C-4/14 . | C-4/1E . C-4/16 . | C-4/20 . C-4/18 . | C-4/22 . C-4/1A ."},
    {"roll3",      kSnare, "C-4/24 C-4/18 C-4/26 C-4/1A | C-4/28 C-4/1C C-4/2A C-4/1E | "
                           "C-4/2C C-4/20 C-4/2E C-4/22 | C-4/30 C-4/24 C-4/32 C-4/26"},
    // Retriggered: 32nds rising by one step of volume, then 48ths, then a breath.
    {"roll4",      kSnare, "C-4/30:R93 C-4/32:R93 C-4/34:R93 C-4/36:R93 | C-4/38:R93 C-4/3A:R93 C-4/3C:R93 C-4/3E:R93 | "
                           "C-4/3A:R92 C-4/3C:R92 C-4/3E:R92 C-4/40:R92 | . . . ."},
    {"clap",       kClap,  ". . . . | C-4 . . . | . . . . | C-4 . . ."},
    {"clapSkip",   kClap,  ". . . . | C-4 . . . | . . . . | C-4 . . C-4/14"},
    // The kick tuned up serves as toms.
    {"toms",       kKick,  ". . . . | . . . . | G-5/28 . E-5/2C . | C-5/30 . A-4/34 A-4/24"},
    {"hatOff",     kHats,  ". . C-4 . | . . C-4 . | . . C-4 . | . . C-4 ."},
    {"hatOpen",    kHats,  "C-4/10 . C-5 . | C-4/10 . C-5 . | C-4/10 . C-5 . | C-4/10 . C-5 C-4/14"},
    {"hat16",      kHats,  "C-4/12 C-4/0C C-5/1C C-4/0C | C-4/12 C-4/0C C-5/1C C-4/0C | "
                           "C-4/12 C-4/0C C-5/1C C-4/0C | C-4/12 C-4/0C C-5/1C C-4/18"},
    // Each row struck again on its third tick.
    {"hatRoll",    kHats,  "C-4/10:E93 C-4/12:E93 C-4/14:E93 C-4/16:E93 | C-4/18:E93 C-4/1A:E93 C-4/1C:E93 C-4/1E:E93 | "
                           "C-4/20:E93 C-4/22:E93 C-4/24:E93 C-4/26:E93 | . . . ."},
    // Open hats cut after two ticks: a dry tick on the off-beat.
    {"hatCut",     kHats,  ". . C-5/18:EC2 . | . . C-5/18:EC2 . | . . C-5/18:EC2 . | . . C-5/18:EC2 ."},

    // Bass, written on A and moved to each chord's root by transposition. Volume 0 on the
    // kick's rows ducks the bass out of its way.
    {"bassDrone",  kBass,  "A-1 . . . | . . . . | . . . . | . . . ."},
    {"bassOff",    kBass,  "./00 . A-1 . | ./00 . A-2 . | ./00 . A-1 . | ./00 . A-2 ."},
    {"bassPump",   kBass,  "A-1 . A-2 . | . . A-2 . | A-1 . A-2 . | . . A-2 A-1"},
    {"bassRoll",   kBass,  "./00 A-1 A-1 A-2 | ./00 A-1 A-1 A-2 | ./00 A-1 A-1 A-2 | ./00 A-1 A-2 A-1"},
    // The last note swoops up a fourth.
    {"bassWhoop",  kBass,  "./00 A-1 A-1 A-2 | ./00 A-1 A-1 A-2 | ./00 A-1 A-1 A-2 | A-2:104 .:100 .:100 .:100"},
    // The break's last bar: the bass falls away under the riser.
    {"bassDive",   kBass,  "A-1 . . . | . . . . | . . .:208 .:200 | .:200 .:200 .:200 =="},
    {"bassStop",   kBass,  "./00 . A-1 . | ./00 . A-2 . | ./00 . A-1 . | == . . ."},

    // Chip arpeggios: the effect spells the chord every tick, the notes hop an octave and across
    // the stereo field. Minor written on A, major on C.
    {"arpMin",     kArp,   "A-4/pB:037 .:037 A-5/p4:037 .:037 | A-4/pB:037 .:037 A-5/p4:037 .:037 | "
                           "A-4/pB:037 .:037 A-5/p4:037 .:037 | A-4/pB:037 .:037 A-5/p4:037 .:037"},
    {"arpMaj",     kArp,   "C-5/pB:047 .:047 C-6/p4:047 .:047 | C-5/pB:047 .:047 C-6/p4:047 .:047 | "
                           "C-5/pB:047 .:047 C-6/p4:047 .:047 | C-5/pB:047 .:047 C-6/p4:047 .:047"},

    // The hook, over Am F C G | Am F Dm E.
    {"hook1",      kLead,  "E-5 . . D-5 | . . E-5 . | A-5 . . G-5 | . . E-5 ."},
    {"hook2",      kLead,  "F-5 . . E-5 | . . F-5 . | A-5 . . G-5 | . . F-5 ."},
    {"hook3",      kLead,  "G-5 . . A-5 | . . G-5 . | E-5 . . D-5 | . . C-5 ."},
    // A glide up to G, then vibrato.
    {"hook4",      kLead,  "D-5 . . B-4 | . . D-5 . | G-5@0:310 .:462 .:400 .:400 | .:400 .:400 == ."},
    {"hook6",      kLead,  "F-5 . . E-5 | . . F-5 . | A-5 . . C-6 | . . A-5 ."},
    {"hook7",      kLead,  "D-5 . . E-5 | . . F-5 . | A-5 . . G-5 | . . F-5 ."},
    {"hook8",      kLead,  "G#5 . . .:462 | .:400 .:400 .:400 == | E-5 . . B-4 | . . D-5 ."},
    // The second theme, long notes over F G Em Am | F G Em F#.
    {"theme1",     kLead,  "C-6 . . . | . . .:462 .:400 | A-5 . . . | C-6 . . ."},
    {"theme2",     kLead,  "B-5 . . . | . . .:462 .:400 | G-5 . . . | A-5 . B-5 ."},
    {"theme3",     kLead,  "E-5 . . . | . . .:462 .:400 | G-5 . . . | B-5 . . ."},
    // Fades on its last beat.
    {"theme4",     kLead,  "A-5 . . .:462 | .:400 .:400 .:400 .:400 | .:400 .:400 .:400 .:400 | .:A02 .:A02 .:A04 =="},
    {"theme5",     kLead,  "C-6 . . . | . . .:462 .:400 | A-5 . . . | F-5 . A-5 ."},
    {"theme6",     kLead,  "B-5 . . . | . . .:462 .:400 | D-5 . . . | G-5 . B-5 ."},
    {"theme7",     kLead,  "E-5 . . . | . . G-5 . | B-5 . . . | A-5 . G-5 ."},
    // Up to C#: the dominant of B minor, where the theme goes next.
    {"theme8",     kLead,  "F#5 . . . | . . .:462 .:400 | A#5@0:306 .:300 .:300 .:300 | .:462 .:400 .:400 C#6"},

    // Bell lines. The intro's foretell the hook; the arpeggios answer the second theme.
    {"bellC",      kBell,  "G-5 . . . | E-5 . . . | C-5 . . . | . . . ."},
    {"bellG",      kBell,  "D-5 . . . | G-5 . . . | B-5 . . . | . . . ."},
    {"bellAm",     kBell,  "E-5 . . D-5 | . . E-5 . | A-5 . . . | . . . ."},
    {"bellF",      kBell,  "F-5 . . E-5 | . . F-5 . | A-5 . . . | C-6 . . ."},
    {"bellDm",     kBell,  "D-5 . . E-5 | . . F-5 . | A-5 . . G-5 | . . F-5 ."},
    {"bellE",      kBell,  "G#5 . . . | . . . . | B-5 . . . | E-6 . . ."},
    {"bellArpMin", kBell,  "A-4 . E-5 . | C-5 . E-5 . | A-5 . E-5 . | C-5 . E-5 ."},
    {"bellArpMaj", kBell,  "C-5 . G-5 . | E-5 . G-5 . | C-6 . G-5 . | E-5 . G-5 ."},
    {"bellLast",   kBell,  "F#5 . . . | . . . . | B-5 . . . | . . . ."},

    // Effects. G40 and F7D undo the outro's fade and slowing when the song comes round again.
    {"crash",      kCrash, "C-4 . . . | . . . . | . . . . | . . . ."},
    {"crashTop",   kCrash, "C-4:G40 . . . | . . . . | . . . . | . . . ."},
    {"loopBar",    0,      ".:E60 . . . | . . . . | . . . . | . . . .:E61"},
    {"breath",     0,      ". . . . | . . . . | . . . . | . . . .:EE1"},
    {"slowDown1",  0,      ".:F78 . . . | . . . . | .:F73 . . . | . . . ."},
    {"slowDown2",  0,      ".:F6E . . . | .:F69 . .:H01 . | .:F64 . .:H01 . | .:F5A .:H01 .:H01 .:F50"},
    // Noise pitched up by portamento while its volume climbs.
    {"riser",      kNoise, "C-3/08:102 ./u2:100 ./u2:100 ./u2:100 | ./u2:100 ./u2:100 ./u2:100 ./u2:100 | "
                           "./u2:100 ./u2:100 ./u2:100 ./u2:100 | ./u2:100 ./u2:100 ./u2:100 .:K00"},
    {"riserLong1", kNoise, "C-3/06:101 . ./u1:100 . | ./u1:100 . ./u1:100 . | ./u1:100 . ./u1:100 . | ./u1:100 . ./u1:100 ."},
    {"riserLong2", kNoise, "./u1:100 ./u1:100 ./u1:100 ./u1:100 | ./u1:100 ./u1:100 ./u1:100 ./u1:100 | "
                           "./u1:100 ./u1:100 ./u1:100 ./u1:100 | ./u1:100 ./u1:100 ./u1:100 ./u1:100"},
    {"riserLong4", kNoise, "./u2:100 ./u2:100 ./u2:100 ./u2:100 | ./u2:100 ./u2:100 ./u2:100 ./u2:100 | "
                           "./u2:100 ./u2:100 ./u2:100 ./u2:100 | .:K00 . . ."},

    // Pad overlays: the first chord swells from silence; the drop silences the chords at once.
    {"swell",      0,      "./00 ./u2 ./u2 ./u2 | ./u2 ./u2 ./u2 ./u2 | ./u2 ./u2 ./u2 ./u2 | ./u2 ./u2 ./u2 ./u2"},
    {"hush",       0,      ". . . . | . . . . | . . . . | ./00 . . ."},
    // Releases a note held over from the section before.
    {"off",        0,      "== . . . | . . . . | . . . . | . . . ."},
};
// clang-format on

// Phrase references for each channel of a section, separated by spaces:
//   name[+N|-N][@I][*K]   the phrase moved by N semitones, its notes played by instrument I
//                         (by name), K times
//   _                     an empty bar
struct Tracks {
    const char* kick = "";
    const char* snare = "";
    const char* perc = "";
    const char* hats = "";
    const char* bass = "";
    const char* lead = "";
    const char* arp = "";
    const char* pads = "";   // laid over the chord notes of all three pad channels
    const char* bell = "";
    const char* fx = "";
    const char* riser = "";
};

struct Section {
    const char* name;
    int         rows;
    const char* chords;          // one chord per bar for the pad channels: root, "#", "m" for minor
    uint8_t     padInstrument = kPad;
    int         echoSource = -1;  // the channel the echo channel repeats; −1: silent
    Tracks      tracks;
};

// clang-format off
const Section kSections[] = {
    {"intro 1", 32, "Am F", kPad, -1, {.pads = "swell _"}},
    {"intro 2", 32, "C G", kPad, kBellChannel, {.bell = "bellC bellG"}},
    {"intro 3", 32, "Am F", kPad, kBellChannel, {.bass = "bassDrone bassDrone-4", .bell = "bellAm bellF"}},
    {"intro 4", 32, "Dm E", kPad, kBellChannel,
     {.snare = "_ pickup", .bass = "bassDrone+5 bassDrone+7", .bell = "bellDm bellE", .riser = "_ riser"}},

    {"beat 1", 64, "Am F C G", kPad, kBellChannel,
     {.kick = "kickTop kick*3", .hats = "hatOff*4", .bass = "bassOff bassOff-4 bassOff+3 bassOff-2",
      .bell = "bellAm bellF bellC bellG", .fx = "crashTop _*3"}},
    {"beat 2", 64, "Am F Dm E", kPad, kBellChannel,
     {.kick = "kick*4", .snare = "snare*3 snareGhost", .hats = "hatOff*4",
      .bass = "bassOff bassOff-4 bassOff+5 bassOff+7", .bell = "bellAm bellF bellDm bellE"}},
    {"beat 3", 64, "Am F C G", kPad, -1,
     {.kick = "kick*4", .snare = "snare*3 snareGhost", .hats = "hatOpen*4",
      .bass = "bassPump bassPump-4 bassPump+3 bassPump-2", .arp = "arpMin arpMaj-7 arpMaj arpMaj-5"}},
    {"beat 4", 64, "Am F Dm E", kPad, -1,
     {.kick = "kick*3 kickPush", .snare = "snare*3 snareFill", .perc = "_*3 toms", .hats = "hatOpen*4",
      .bass = "bassPump bassPump-4 bassPump+5 bassPump+7", .arp = "arpMin arpMaj-7 arpMin-7 arpMaj-8"}},

    {"lift 1", 64, "F G Em Am", kPad, -1,
     {.kick = "kick*4", .snare = "snare*4", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+7 bassWhoop", .arp = "arpMaj-7 arpMaj-5 arpMin-5 arpMin",
      .fx = "crash _*3"}},
    {"lift 2", 64, "F G C E", kPad, -1,
     {.kick = "kick*4", .snare = "snare*3 snareGhost", .perc = "clap*4", .hats = "hat16*4",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+3 bassRoll+7", .arp = "arpMaj-7 arpMaj-5 arpMaj arpMaj-8"}},
    {"lift 3", 64, "F G Em Am", kPad, kBellChannel,
     {.kick = "kick*4", .snare = "snare*4", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+7 bassWhoop", .arp = "arpMaj-7 arpMaj-5 arpMin-5 arpMin",
      .bell = "bellArpMaj-7 bellArpMaj-5 bellArpMin-5 bellArpMin"}},
    {"lift 4", 64, "F G C E", kPad, kBellChannel,
     {.kick = "kick*3 kickPush", .snare = "snare*3 snareFill", .perc = "clap*3 toms", .hats = "hat16*3 hatRoll",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+3 bassRoll+7", .arp = "arpMaj-7 arpMaj-5 arpMaj arpMaj-8",
      .bell = "bellArpMaj-7 bellArpMaj-5 bellArpMaj bellArpMaj+4", .riser = "_*3 riser"}},

    {"lead 1", 64, "Am F C G", kPad, kLeadChannel,
     {.kick = "kick*4", .perc = "clap*4", .hats = "hatOpen*4",
      .bass = "bassPump bassPump-4 bassPump+3 bassPump-2", .lead = "hook1 hook2 hook3 hook4", .fx = "crash _*3"}},
    {"lead 2", 64, "Am F Dm E", kPad, kLeadChannel,
     {.kick = "kick*4", .perc = "clap*3 clapSkip", .hats = "hatOpen*4",
      .bass = "bassPump bassPump-4 bassPump+5 bassPump+7", .lead = "hook1 hook6 hook7 hook8"}},

    {"break", 64, "Am F C G", kPad, kBellChannel,
     {.bass = "bassDrone bassDrone-4 bassDrone+3 bassDive-2", .lead = "off _*3",
      .bell = "hook1@bell hook2@bell hook3@bell hook4@bell"}},
    {"build", 64, "Am F Dm E", kGate, -1,
     {.kick = "kickHalf kick*2 kickBuild", .snare = "roll1 roll2 roll3 roll4", .hats = "_ hatOff hat16 hatRoll",
      .bass = "bassOff bassOff-4 bassOff+5 bassStop+7", .pads = "_*3 hush", .fx = "_*2 loopBar breath",
      .riser = "riserLong1 riserLong2*2 riserLong4"}},

    {"theme 1", 64, "Am F C G", kGate, kLeadChannel,
     {.kick = "kick*4", .snare = "snare*4", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll bassRoll-4 bassRoll+3 bassRoll-2", .lead = "hook1 hook2 hook3 hook4",
      .arp = "arpMin arpMaj-7 arpMaj arpMaj-5", .fx = "crash _*3"}},
    {"theme 2", 64, "Am F Dm E", kGate, kLeadChannel,
     {.kick = "kick*3 kickPush", .snare = "snare*3 snareFill", .perc = "clap*3 toms", .hats = "hat16*4",
      .bass = "bassRoll bassRoll-4 bassRoll+5 bassRoll+7", .lead = "hook1 hook6 hook7 hook8",
      .arp = "arpMin arpMaj-7 arpMin-7 arpMaj-8"}},
    {"theme 3", 64, "F G Em Am", kGate, kLeadChannel,
     {.kick = "kick*4", .snare = "snare*4", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+7 bassWhoop", .lead = "theme1 theme2 theme3 theme4",
      .arp = "arpMaj-7 arpMaj-5 arpMin-5 arpMin", .bell = "bellArpMaj-7 bellArpMaj-5 bellArpMin-5 bellArpMin",
      .fx = "crash _*3"}},
    {"theme 4", 64, "F G Em F#", kGate, kLeadChannel,
     {.kick = "kick*3 kickPush", .snare = "snare*3 snareFill", .perc = "clap*3 toms", .hats = "hat16*3 hatRoll",
      .bass = "bassRoll-4 bassRoll-2 bassRoll+7 bassWhoop-3", .lead = "theme5 theme6 theme7 theme8",
      .arp = "arpMaj-7 arpMaj-5 arpMin-5 arpMaj-6",
      .bell = "bellArpMaj-7 bellArpMaj-5 bellArpMin-5 bellArpMaj-6", .riser = "_*3 riser"}},

    {"high 1", 64, "Bm G D A", kGate, kLeadChannel,
     {.kick = "kick*4", .snare = "snare*4", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll+2 bassRoll-2 bassRoll+5 bassRoll", .lead = "hook1+2 hook2+2 hook3+2 hook4+2",
      .arp = "arpMin+2 arpMaj-5 arpMaj-10 arpMaj-3", .fx = "crash _*3"}},
    {"high 2", 64, "Bm G Em F#", kGate, kLeadChannel,
     {.kick = "kick*4", .snare = "snare*3 snareFill", .perc = "clap*3 toms", .hats = "hat16*4",
      .bass = "bassRoll+2 bassRoll-2 bassRoll+7 bassRoll-3", .lead = "hook1+2 hook6+2 hook7+2 hook8+2",
      .arp = "arpMin+2 arpMaj-5 arpMin-5 arpMaj-6"}},

    {"high 3", 64, "G A F#m Bm", kGate, kLeadChannel,
     {.kick = "kick*4", .snare = "snare*3 snareGhost", .perc = "clap*3 clapSkip", .hats = "hat16*4",
      .bass = "bassRoll-2 bassRoll bassRoll-3 bassWhoop+2", .lead = "theme1+2 theme2+2 theme3+2 theme4+2",
      .arp = "arpMaj-5 arpMaj-3 arpMin-3 arpMin+2", .bell = "bellArpMaj-5 bellArpMaj-3 bellArpMin-3 bellArpMin+2",
      .fx = "crash _*3"}},

    {"outro 1", 64, "Bm G D A", kPad, kBellChannel,
     {.kick = "kick*4", .hats = "hatCut*4", .bass = "bassPump+2 bassPump-2 bassPump+5 bassPump",
      .bell = "hook1+2@bell hook2+2@bell hook3+2@bell hook4+2@bell", .fx = "crash _*3"}},
    {"outro 2", 64, "Bm G Em Bm", kPad, kBellChannel,
     {.kick = "kickHalf _*3", .bass = "bassDrone+2 bassDrone-2 bassDrone+7 bassDrone+2",
      .bell = "hook1+2@bell hook6+2@bell bellArpMin-5 bellLast", .fx = "_*2 slowDown1 slowDown2"}},
};
// clang-format on

// ---------------------------------------------------------------------------------------------
// Assembly
// ---------------------------------------------------------------------------------------------

using Rows = std::vector<XmCell>;

[[noreturn]] void fail(const std::string& where, const std::string& why) {
    throw std::runtime_error(where + ": " + why);
}

const Phrase& findPhrase(std::string_view name, const std::string& where) {
    for (const Phrase& p : kPhrases)
        if (name == p.name) return p;
    fail(where, "no phrase \"" + std::string(name) + "\"");
}

// Instruments by the names the phrase references use.
uint8_t instrumentNamed(std::string_view name, const std::string& where) {
    static constexpr std::pair<const char*, uint8_t> kNames[] = {
        {"kick", kKick}, {"snare", kSnare}, {"clap", kClap}, {"hats", kHats},   {"bass", kBass},   {"lead", kLead},
        {"pad", kPad},   {"gate", kGate},   {"arp", kArp},   {"bell", kBell},   {"crash", kCrash}, {"noise", kNoise}};
    for (const auto& [n, number] : kNames)
        if (name == n) return number;
    fail(where, "no instrument \"" + std::string(name) + "\"");
}

// Reads an integer from `text` at `i` (after a sign or marker), advancing `i`.
int readNumber(std::string_view text, size_t& i, const std::string& where) {
    size_t start = i;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i++] - '0');
    if (i == start) fail(where, "a number is missing in \"" + std::string(text) + "\"");
    return value;
}

// The rows one reference stands for: "name[+N|-N][@I][*K]" or "_" (an empty bar).
Rows expandReference(std::string_view ref, const std::string& where) {
    const auto isMarker = [](char c) { return c == '+' || c == '-' || c == '@' || c == '*'; };
    size_t i = 0;
    while (i < ref.size() && !isMarker(ref[i])) ++i;
    const std::string_view name = ref.substr(0, i);
    int semitones = 0, instrument = -1, times = 1;
    while (i < ref.size()) {
        const char marker = ref[i++];
        if (marker == '@') {
            const size_t start = i;
            while (i < ref.size() && !isMarker(ref[i])) ++i;
            instrument = instrumentNamed(ref.substr(start, i - start), where);
            continue;
        }
        const int n = readNumber(ref, i, where);
        if (marker == '+') semitones = n;
        if (marker == '-') semitones = -n;
        if (marker == '*') times = n;
    }
    Rows bar;
    if (name == "_") {
        bar.assign(kRowsPerBar, XmCell{});
    } else {
        const Phrase& p = findPhrase(name, where);
        try {
            bar = transpose(parseRows(p.rows, p.instrument), semitones);
        } catch (const std::runtime_error& e) {
            fail(where + ", phrase " + p.name, e.what());
        }
        if (int(bar.size()) != kRowsPerBar)
            fail(where, std::string("phrase ") + p.name + " has " + std::to_string(bar.size()) + " rows, not 16");
        if (instrument >= 0)
            for (XmCell& c : bar)
                if (c.instrument) c.instrument = uint8_t(instrument);
    }
    Rows rows;
    for (int k = 0; k < times; ++k) rows.insert(rows.end(), bar.begin(), bar.end());
    return rows;
}

// One channel of a section from its references; empty text gives empty rows.
Rows expandTrack(const char* text, int rowCount, const std::string& where) {
    Rows rows;
    const std::string_view t = text;
    size_t i = 0;
    while (i < t.size()) {
        if (t[i] == ' ') {
            ++i;
            continue;
        }
        size_t end = t.find(' ', i);
        if (end == std::string_view::npos) end = t.size();
        const Rows part = expandReference(t.substr(i, end - i), where);
        rows.insert(rows.end(), part.begin(), part.end());
        i = end;
    }
    if (rows.empty()) rows.assign(size_t(rowCount), XmCell{});
    if (int(rows.size()) != rowCount)
        fail(where, std::to_string(rows.size()) + " rows where the section has " + std::to_string(rowCount));
    return rows;
}

// Pitch classes of a chord symbol: root letter, optional "#", optional "m".
std::vector<int> chordTones(std::string_view symbol, const std::string& where) {
    static constexpr int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (symbol.empty() || symbol[0] < 'A' || symbol[0] > 'G') fail(where, "bad chord \"" + std::string(symbol) + "\"");
    size_t i = 1;
    int root = kSemitone[symbol[0] - 'A'];
    if (i < symbol.size() && symbol[i] == '#') {
        root = (root + 1) % 12;
        ++i;
    }
    const bool minor = i < symbol.size() && symbol[i] == 'm';
    if (i + (minor ? 1 : 0) != symbol.size()) fail(where, "bad chord \"" + std::string(symbol) + "\"");
    return {root, (root + (minor ? 3 : 4)) % 12, (root + 7) % 12};
}

// The chord's three notes inside F#4…F-5, low to high: every chord sits in the same octave
// window, so consecutive chords move by small steps and share common tones.
std::array<uint8_t, 3> voicing(const std::vector<int>& tones) {
    constexpr int kLowest = 55;  // F#4
    std::array<uint8_t, 3> notes{};
    for (size_t v = 0; v < 3; ++v) {
        const int pitchClass = (kLowest - 1) % 12;  // of the lowest note
        notes[v] = uint8_t(kLowest + (tones[v] - pitchClass + 12) % 12);
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

struct PatternRows {
    std::string name;
    int rowCount;
    std::array<Rows, kChannelCount> channels;
};

// Fields of `over` that are set replace those of `cell`.
void layOver(XmCell& cell, const XmCell& over) {
    if (over.note) cell.note = over.note;
    if (over.instrument) cell.instrument = over.instrument;
    if (over.volume) cell.volume = over.volume;
    if (over.effectType || over.effectParam) {
        cell.effectType = over.effectType;
        cell.effectParam = over.effectParam;
    }
}

// Writes the chord notes of a section into the pad channels. A voice that keeps its note from
// the chord before is held, not struck again, also across sections, unless the instrument
// changes or the section before laid something over its pads (it may have silenced them).
// `held` is the chord sounding when the section starts, or all zeros when it cannot be known
// (the song comes back to the section from elsewhere).
void writeChords(PatternRows& p, const Section& s, std::array<uint8_t, 3>& held, uint8_t& heldInstrument) {
    std::vector<std::string> symbols;
    const std::string_view chords = s.chords;
    for (size_t i = 0; i < chords.size();) {
        size_t end = chords.find(' ', i);
        if (end == std::string_view::npos) end = chords.size();
        if (end > i) symbols.emplace_back(chords.substr(i, end - i));
        i = end + 1;
    }
    if (int(symbols.size()) * kRowsPerBar != s.rows)
        fail(s.name, std::to_string(symbols.size()) + " chords for " + std::to_string(s.rows) + " rows");
    for (size_t bar = 0; bar < symbols.size(); ++bar) {
        const std::array<uint8_t, 3> notes = voicing(chordTones(symbols[bar], s.name));
        for (int v = 0; v < 3; ++v) {
            if (notes[size_t(v)] == held[size_t(v)] && s.padInstrument == heldInstrument) continue;
            XmCell& c = p.channels[size_t(kPad1Channel + v)][bar * kRowsPerBar];
            c.note = notes[size_t(v)];
            c.instrument = s.padInstrument;
        }
        held = notes;
        heldInstrument = s.padInstrument;
    }
}

std::array<const char*, kChannelCount> trackTexts(const Tracks& t) {
    std::array<const char*, kChannelCount> text{};
    text.fill("");
    text[kKickChannel] = t.kick;
    text[kSnareChannel] = t.snare;
    text[kPercChannel] = t.perc;
    text[kHatsChannel] = t.hats;
    text[kBassChannel] = t.bass;
    text[kLeadChannel] = t.lead;
    text[kArpChannel] = t.arp;
    text[kBellChannel] = t.bell;
    text[kFxChannel] = t.fx;
    text[kRiserChannel] = t.riser;
    return text;
}

// ---------------------------------------------------------------------------------------------
// The echo: another channel's notes three rows (a dotted eighth) later, quieter and to the right.
// ---------------------------------------------------------------------------------------------

constexpr int     kEchoDelay = 3;     // rows
constexpr int     kEchoLevel = 28;    // of 64: the echo's volume relative to its source
constexpr uint8_t kEchoPanning = 0xB8;

// Effects the echo repeats: those that shape a note's pitch or volume, not the song's flow.
bool echoes(uint8_t effectType) {
    switch (effectType) {
        case 0x0: case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: case 0x6: case 0xA: return true;
        default: return false;
    }
}

XmCell echoOf(const XmCell& s, const std::vector<XmInstrument>& instruments) {
    XmCell e{};
    if (s.note == kKeyOff) {
        e.note = kKeyOff;
        return e;
    }
    const bool setsVolume = s.volume >= 0x10 && s.volume <= 0x50;
    if (setsVolume) e.volume = uint8_t(0x10 + (s.volume - 0x10) * kEchoLevel / 64);
    if (s.note) {
        e.note = s.note;
        e.instrument = s.instrument;
        if (s.instrument && !setsVolume) {
            const XmInstrument& ins = instruments[size_t(s.instrument - 1)];
            e.volume = uint8_t(0x10 + ins.samples[0].volume * kEchoLevel / 64);
        }
    }
    if (echoes(s.effectType) && (s.effectType || s.effectParam)) {
        e.effectType = s.effectType;
        e.effectParam = s.effectParam;
    } else if (e.instrument) {
        e.effectType = 0x8;  // the instrument resets the panning: set it again
        e.effectParam = kEchoPanning;
    }
    return e;
}

// Fills the echo channel of every pattern, reading the source across section boundaries.
void writeEchoes(std::vector<PatternRows>& patterns, const std::vector<XmInstrument>& instruments) {
    struct Place {
        size_t pattern;
        int    row;
    };
    std::vector<Place> timeline;
    for (size_t p = 0; p < patterns.size(); ++p)
        for (int r = 0; r < patterns[p].rowCount; ++r) timeline.push_back({p, r});
    for (size_t t = kEchoDelay; t < timeline.size(); ++t) {
        const Place here = timeline[t], source = timeline[t - kEchoDelay];
        const int channel = kSections[here.pattern].echoSource;
        if (channel < 0) continue;
        const XmCell& s = patterns[source.pattern].channels[size_t(channel)][size_t(source.row)];
        patterns[here.pattern].channels[kEchoChannel][size_t(here.row)] = echoOf(s, instruments);
    }
}

// ---------------------------------------------------------------------------------------------
// The module
// ---------------------------------------------------------------------------------------------

std::vector<uint8_t> composeSong() {
    const std::vector<XmInstrument> instruments = makeInstruments();
    std::vector<PatternRows> patterns;
    std::array<uint8_t, 3> held{};
    uint8_t heldInstrument = 0;
    for (const Section& s : kSections) {
        if (&s == &kSections[kRestartPosition]) held = {};  // reached from the outro as well
        PatternRows p{s.name, s.rows, {}};
        const std::array<const char*, kChannelCount> texts = trackTexts(s.tracks);
        for (int c = 0; c < kChannelCount; ++c) p.channels[size_t(c)] = expandTrack(texts[size_t(c)], s.rows, s.name);
        if (*s.chords) writeChords(p, s, held, heldInstrument);
        if (*s.tracks.pads) heldInstrument = 0;
        const Rows pads = expandTrack(s.tracks.pads, s.rows, s.name);
        for (int v = 0; v < 3; ++v)
            for (int r = 0; r < s.rows; ++r) layOver(p.channels[size_t(kPad1Channel + v)][size_t(r)], pads[size_t(r)]);
        patterns.push_back(std::move(p));
    }
    writeEchoes(patterns, instruments);

    XmLayout layout;
    layout.name = "Skr4mm3lb0d";
    layout.trackerName = "make-song";
    layout.channels = kChannelCount;
    layout.flags = 1;  // linear frequencies
    layout.tempo = 6;
    layout.bpm = 125;
    layout.restartPosition = kRestartPosition;
    layout.orders.clear();
    for (size_t p = 0; p < patterns.size(); ++p) {
        layout.orders.push_back(uint8_t(p));
        XmPattern x;
        x.rows = uint16_t(patterns[p].rowCount);
        x.cells.resize(size_t(x.rows) * kChannelCount);
        for (int r = 0; r < x.rows; ++r)
            for (int c = 0; c < kChannelCount; ++c)
                x.cells[size_t(r) * kChannelCount + size_t(c)] = patterns[p].channels[size_t(c)][size_t(r)];
        layout.patterns.push_back(std::move(x));
    }
    layout.instruments = instruments;
    return buildXm(layout);
}

void printUsage(std::ostream& to) {
    to << "usage: make-song OUTPUT.xm\n"
          "\n"
          "Composes the demo's song (every instrument synthesised, every pattern written in the\n"
          "generator's source) and writes it as an XM module; resources/118-song.xm is its output.\n"
          "The same bytes on every run.\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        printUsage(std::cout);
        return 0;
    }
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        printUsage(std::cerr);
        return 1;
    }
    try {
        const std::vector<uint8_t> bytes = composeSong();
        const std::string path(args[0]);
        const std::string temporary = path + ".partial";
        std::ofstream out(temporary, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out || std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::remove(temporary.c_str());
            throw std::runtime_error(path + ": cannot write the file");
        }
        std::cout << path << ": " << bytes.size() << " bytes\n";
    } catch (const std::exception& e) {
        std::cerr << "make-song: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
