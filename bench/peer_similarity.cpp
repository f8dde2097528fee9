// peer_similarity: how alike two renderings of one module are, coarsely, for comparing a profile
// of our player with a peer player's render (scripts/compare_with_openmpt.sh).
//
//   peer_similarity REFERENCE.wav RENDER.wav
//
// Both are stereo WAV files at the same rate, 16-bit PCM or 32-bit float; they are compared over
// the frames both have. Three measures, each 1 for renderings that agree:
// - envelope: the Pearson correlation of the 20 ms RMS envelopes, per output channel, averaged
//   over the two channels (how loud, when);
// - spectrum: the Pearson correlation of log-magnitude spectrograms in semitone bands of the
//   channels' sum, 2048-frame Hann windows with a hop of 1024 (which notes, when);
// - balance: 1 − half the mean absolute difference of the per-window left/right balance
//   (R − L) / (R + L) of the 20 ms RMS, over windows where both renderings sound (where).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/channel_similarity.h"

namespace {

constexpr size_t kEnvelopeFrames = 882;  // 20 ms at 44100 Hz
constexpr double kSilentRms = 1e-4;      // full scale 1.0
constexpr double kLowestBandHz = 110.0;  // the 2048-frame window's bins are 21.5 Hz apart

struct Stereo {
    std::vector<double> left, right;  // full scale 1.0
    uint32_t rate = 0;
};

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Reads a stereo WAV file of 16-bit PCM or 32-bit float frames; false with `why` set otherwise.
bool readWav(const char* path, Stereo& out, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        why = "not a WAV file";
        return false;
    }
    uint16_t format = 0, channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = le32(b.data() + at + 4);
        const uint8_t* body = b.data() + at + 8;
        const size_t available = std::min<size_t>(size, b.size() - at - 8);  // streamed files say 0xFFFFFFFF
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && available >= 16) {
            format = le16(body);
            channels = le16(body + 2);
            out.rate = le32(body + 4);
            bits = le16(body + 14);
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            const bool pcm16 = format == 1 && bits == 16, float32 = format == 3 && bits == 32;
            if (channels != 2 || !(pcm16 || float32)) {
                why = "not stereo 16-bit PCM or 32-bit float";
                return false;
            }
            const size_t frameBytes = pcm16 ? 4 : 8, frames = available / frameBytes;
            out.left.resize(frames);
            out.right.resize(frames);
            for (size_t i = 0; i < frames; ++i) {
                const uint8_t* f = body + i * frameBytes;
                if (pcm16) {
                    out.left[i] = int16_t(le16(f)) / 32768.0;
                    out.right[i] = int16_t(le16(f + 2)) / 32768.0;
                } else {
                    float l, r;
                    std::memcpy(&l, f, 4);
                    std::memcpy(&r, f + 4, 4);
                    out.left[i] = l;
                    out.right[i] = r;
                }
            }
            return true;
        }
        at += 8 + size + (size & 1);
    }
    why = "no data chunk";
    return false;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = std::min(a.size(), b.size());
    if (n < 2) return 0;
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(n);
    mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    // Two flat sequences agree when they are equal; one flat sequence tells nothing.
    if (aa == 0 || bb == 0) return aa == bb ? 1 : 0;
    return ab / std::sqrt(aa * bb);
}

std::vector<double> rmsEnvelope(const std::vector<double>& signal, size_t frames) {
    std::vector<double> envelope;
    for (size_t start = 0; start + kEnvelopeFrames <= frames; start += kEnvelopeFrames)
        envelope.push_back(similarity::rms(signal, start, kEnvelopeFrames));
    return envelope;
}

double envelopeSimilarity(const Stereo& a, const Stereo& b, size_t frames) {
    return (correlation(rmsEnvelope(a.left, frames), rmsEnvelope(b.left, frames)) +
            correlation(rmsEnvelope(a.right, frames), rmsEnvelope(b.right, frames))) /
           2;
}

// Log energy per semitone band from A-2 up (bins below it in one band), one row per window.
std::vector<double> semitoneBands(const std::vector<double>& mono, size_t start, uint32_t rate) {
    const std::vector<double> magnitude = similarity::windowMagnitudes(mono, start);
    std::vector<double> bands;
    for (size_t k = 1; k < magnitude.size(); ++k) {
        const double hz = double(k) * rate / double(similarity::kWindow);
        const size_t band = hz < kLowestBandHz ? 0 : 1 + size_t(12 * std::log2(hz / kLowestBandHz));
        if (band >= bands.size()) bands.resize(band + 1, 0.0);
        bands[band] += magnitude[k] * magnitude[k];
    }
    for (double& e : bands) e = std::log10(1e-9 + e);
    return bands;
}

double spectrumSimilarity(const Stereo& a, const Stereo& b, size_t frames) {
    std::vector<double> monoA(frames), monoB(frames);
    for (size_t i = 0; i < frames; ++i) {
        monoA[i] = (a.left[i] + a.right[i]) / 2;
        monoB[i] = (b.left[i] + b.right[i]) / 2;
    }
    std::vector<double> cellsA, cellsB;
    for (size_t start = 0; start + similarity::kWindow <= frames; start += similarity::kHop) {
        if (similarity::rms(monoA, start, similarity::kWindow) < kSilentRms &&
            similarity::rms(monoB, start, similarity::kWindow) < kSilentRms)
            continue;
        const std::vector<double> x = semitoneBands(monoA, start, a.rate), y = semitoneBands(monoB, start, b.rate);
        cellsA.insert(cellsA.end(), x.begin(), x.end());
        cellsB.insert(cellsB.end(), y.begin(), y.end());
    }
    return correlation(cellsA, cellsB);
}

double balanceSimilarity(const Stereo& a, const Stereo& b, size_t frames) {
    const std::vector<double> al = rmsEnvelope(a.left, frames), ar = rmsEnvelope(a.right, frames);
    const std::vector<double> bl = rmsEnvelope(b.left, frames), br = rmsEnvelope(b.right, frames);
    double sum = 0;
    size_t windows = 0;
    for (size_t i = 0; i < al.size(); ++i) {
        if (al[i] + ar[i] < kSilentRms || bl[i] + br[i] < kSilentRms) continue;
        sum += std::fabs((ar[i] - al[i]) / (ar[i] + al[i]) - (br[i] - bl[i]) / (br[i] + bl[i]));
        ++windows;
    }
    return windows ? 1 - sum / double(windows) / 2 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: peer_similarity REFERENCE.wav RENDER.wav\n"
                    "Prints three coarse similarities of two stereo renderings (1 = alike): the correlation of\n"
                    "their 20 ms RMS envelopes per channel, of their log spectrograms in semitone bands, and\n"
                    "their per-window left/right balance.\n");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "peer_similarity: expected REFERENCE.wav RENDER.wav (see --help)\n");
        return 2;
    }
    Stereo a, b;
    std::string why;
    for (auto [path, into] : {std::pair{argv[1], &a}, std::pair{argv[2], &b}}) {
        if (!readWav(path, *into, why)) {
            std::fprintf(stderr, "peer_similarity: %s: %s\n", path, why.c_str());
            return 1;
        }
    }
    if (a.rate != b.rate) {
        std::fprintf(stderr, "peer_similarity: the renderings' rates differ (%u and %u Hz)\n", a.rate, b.rate);
        return 1;
    }
    const size_t frames = std::min(a.left.size(), b.left.size());
    std::printf("envelope %.4f spectrum %.4f balance %.4f frames %zu\n", envelopeSimilarity(a, b, frames),
                spectrumSimilarity(a, b, frames), balanceSimilarity(a, b, frames), frames);
    return 0;
}
