#include "song_notation.h"

#include <cctype>
#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void unreadable(std::string_view token, const char* why) {
    throw std::runtime_error("cannot read \"" + std::string(token) + "\": " + why);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Effect letters as the file numbers them: 0–9, then A = 10 … Z = 35.
int effectNumber(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

// Volume-column commands by their letter: the byte's high nibble.
int volumeCommand(char c) {
    switch (c) {
        case '-': return 0x60;
        case '+': return 0x70;
        case 'd': return 0x80;
        case 'u': return 0x90;
        case 's': return 0xA0;
        case 'v': return 0xB0;
        case 'p': return 0xC0;
        case 'l': return 0xD0;
        case 'r': return 0xE0;
        case 'm': return 0xF0;
        default: return -1;
    }
}

XmCell parseToken(std::string_view token, uint8_t instrument) {
    XmCell cell{};
    size_t i = 0;
    if (token.substr(0, 2) == "==") {
        cell.note = kKeyOff;
        i = 2;
    } else if (token[0] == '.') {
        i = 1;
    } else {
        cell.note = noteNumber(token.substr(0, 3));
        if (!cell.note) unreadable(token, "expected a note, \".\" or \"==\"");
        cell.instrument = instrument;
        i = 3;
    }
    while (i < token.size()) {
        const char kind = token[i++];
        const std::string_view rest = token.substr(i);
        if (kind == '@') {
            size_t digits = 0;
            int value = 0;
            while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits])))
                value = value * 10 + (rest[digits++] - '0');
            if (!digits || value > 128) unreadable(token, "an instrument is 0 to 128");
            cell.instrument = uint8_t(value);
            i += digits;
        } else if (kind == '/' && rest.size() >= 2) {
            const int high = hexDigit(rest[0]), command = volumeCommand(rest[0]), low = hexDigit(rest[1]);
            if (low < 0) unreadable(token, "a volume column ends in a hex digit");
            if (high >= 0 && high * 16 + low <= 0x40)
                cell.volume = uint8_t(0x10 + high * 16 + low);
            else if (command >= 0)
                cell.volume = uint8_t(command + low);
            else
                unreadable(token, "a volume is 00 to 40, a command one of - + d u s v p l r m");
            i += 2;
        } else if (kind == ':' && rest.size() >= 3) {
            const int type = effectNumber(rest[0]), high = hexDigit(rest[1]), low = hexDigit(rest[2]);
            if (type < 0 || high < 0 || low < 0) unreadable(token, "an effect is a letter or digit and two hex digits");
            cell.effectType = uint8_t(type);
            cell.effectParam = uint8_t(high * 16 + low);
            i += 3;
        } else {
            unreadable(token, "expected @instrument, /volume or :effect");
        }
    }
    return cell;
}

}  // namespace

uint8_t noteNumber(std::string_view text) {
    static constexpr int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (text.size() != 3 || text[0] < 'A' || text[0] > 'G' || (text[1] != '-' && text[1] != '#') ||
        text[2] < '0' || text[2] > '7')
        return 0;
    const int semitone = kSemitone[text[0] - 'A'] + (text[1] == '#' ? 1 : 0);
    if (text[1] == '#' && (text[0] == 'E' || text[0] == 'B')) return 0;
    return uint8_t((text[2] - '0') * 12 + semitone + 1);
}

std::vector<XmCell> parseRows(std::string_view text, uint8_t instrument) {
    std::vector<XmCell> rows;
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
        const std::string_view token = text.substr(i, end - i);
        if (token != "|") rows.push_back(parseToken(token, instrument));
        i = end;
    }
    return rows;
}

std::vector<XmCell> transpose(std::vector<XmCell> rows, int semitones) {
    for (XmCell& c : rows) {
        if (c.note == 0 || c.note == kKeyOff) continue;
        const int moved = c.note + semitones;
        if (moved < 1 || moved > 96) throw std::runtime_error("a note transposed by " + std::to_string(semitones) +
                                                              " leaves C-0 … B-7");
        c.note = uint8_t(moved);
    }
    return rows;
}
