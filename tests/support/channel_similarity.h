#pragma once
// Compares the two channels of a stereo rendering by their frequency content over time: the measure of the
// tracker behaviour tests, whose modules play a pattern on one side and a recording of the
// reference tracker playing it on the other.
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace similarity {

constexpr size_t kWindow = 2048;      // frames per window, a power of two for the FFT
constexpr size_t kHop = 1024;         // frames between window starts
constexpr double kSilentRms = 1e-4;   // full scale 1.0: windows this quiet on both sides are left out

// In-place radix-2 FFT; the size is a power of two.
inline void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * M_PI / double(length);
        const std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> wk(1);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + length / 2] * wk;
                a[i + k] = u + v;
                a[i + k + length / 2] = u - v;
                wk *= w;
            }
        }
    }
}

// Magnitudes of bins 0…N/2 of one Hann-windowed stretch of one channel.
inline std::vector<double> windowMagnitudes(const std::vector<double>& signal, size_t start) {
    std::vector<std::complex<double>> a(kWindow);
    for (size_t k = 0; k < kWindow; ++k) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * double(k) / double(kWindow));
        a[k] = signal[start + k] * hann;
    }
    fft(a);
    std::vector<double> magnitude(kWindow / 2 + 1);
    for (size_t k = 0; k < magnitude.size(); ++k) magnitude[k] = std::abs(a[k]);
    return magnitude;
}

inline double rms(const std::vector<double>& signal, size_t start, size_t count) {
    double sum = 0;
    for (size_t k = start; k < start + count; ++k) sum += signal[k] * signal[k];
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

struct Comparison {
    double similarity;   // mean cosine similarity of the compared windows' magnitudes; 0 with none
    size_t windows;      // windows compared (not silent on at least one side)
    double rmsLeft;      // over the whole rendering, full scale 1.0
    double rmsRight;
};

// `frames` interleaved 16-bit stereo frames, left first.
inline Comparison compareChannels(const int16_t* frames, size_t count) {
    std::vector<double> left(count), right(count);
    for (size_t i = 0; i < count; ++i) {
        left[i] = frames[2 * i] / 32768.0;
        right[i] = frames[2 * i + 1] / 32768.0;
    }
    Comparison c{0, 0, rms(left, 0, count), rms(right, 0, count)};
    double sum = 0;
    for (size_t start = 0; start + kWindow <= count; start += kHop) {
        if (rms(left, start, kWindow) < kSilentRms && rms(right, start, kWindow) < kSilentRms) continue;
        const std::vector<double> l = windowMagnitudes(left, start), r = windowMagnitudes(right, start);
        double dot = 0, ll = 0, rr = 0;
        for (size_t k = 0; k < l.size(); ++k) {
            dot += l[k] * r[k];
            ll += l[k] * l[k];
            rr += r[k] * r[k];
        }
        sum += ll > 0 && rr > 0 ? dot / std::sqrt(ll * rr) : 0.0;
        ++c.windows;
    }
    if (c.windows) c.similarity = sum / double(c.windows);
    return c;
}

}  // namespace similarity
