#include "toneanalysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace testsupport {

namespace {

void fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * std::numbers::pi / double(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

Spectrum::Spectrum(std::span<const float> samples, double sampleRate)
    : m_rate(sampleRate)
{
    const size_t count = samples.size();
    if (count == 0) {
        return;
    }
    double squares = 0;
    for (float s : samples) {
        squares += double(s) * double(s);
    }
    m_rms = std::sqrt(squares / double(count));
    size_t n = 1;
    while (n < count) {
        n <<= 1;
    }
    m_fftSize = int(n);
    std::vector<std::complex<double>> data(n);
    for (size_t i = 0; i < count; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(count));
        data[i] = double(samples[i]) * hann;
    }
    fft(data);
    m_power.resize(n / 2 + 1);
    for (size_t k = 1; k <= n / 2; ++k) { // bin 0 (DC) is left out
        m_power[k] = std::norm(data[k]);
        m_total += m_power[k];
    }
}

double Spectrum::peakFrequency() const
{
    if (m_total <= 0) {
        return 0;
    }
    const auto top = std::max_element(m_power.begin() + 1, m_power.end());
    const size_t k = size_t(top - m_power.begin());
    double offset = 0;
    if (k > 1 && k + 1 < m_power.size()) {
        const double a = std::log(m_power[k - 1] + 1e-30);
        const double b = std::log(m_power[k] + 1e-30);
        const double c = std::log(m_power[k + 1] + 1e-30);
        const double denominator = a - 2 * b + c;
        if (denominator != 0) {
            offset = std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5);
        }
    }
    return (double(k) + offset) * binWidth();
}

double Spectrum::bandShare(double frequency, double halfWidthHz) const
{
    if (m_total <= 0) {
        return 0;
    }
    const double width = binWidth();
    const long first = std::max(1L, long(std::floor((frequency - halfWidthHz) / width)));
    const long last
        = std::min(long(m_power.size()) - 1, long(std::ceil((frequency + halfWidthHz) / width)));
    double band = 0;
    for (long k = first; k <= last; ++k) {
        band += m_power[size_t(k)];
    }
    return band / m_total;
}

ToneReading readTones(std::span<const float> samples, double sampleRate,
    std::span<const double> frequencies, double halfWidthHz)
{
    const Spectrum spectrum(samples, sampleRate);
    ToneReading reading;
    reading.rms = spectrum.rms();
    reading.peakFrequency = spectrum.peakFrequency();
    for (double f : frequencies) {
        reading.shares.push_back(spectrum.bandShare(f, halfWidthHz));
    }
    return reading;
}

} // namespace testsupport
