#pragma once

#include <span>
#include <vector>

namespace testsupport {

// The power spectrum of one stretch of mono audio (Hann window, zero-padded to a power of two),
// for telling which tone is sounding and how much of the signal it makes up.
class Spectrum
{
public:
    Spectrum(std::span<const float> samples, double sampleRate);

    // Root mean square of the samples (full scale = 1).
    double rms() const { return m_rms; }
    // Frequency of the strongest component, interpolated between bins.
    double peakFrequency() const;
    // Share of the total power lying within halfWidthHz of frequency (0 to 1).
    double bandShare(double frequency, double halfWidthHz = 25.0) const;
    double binWidth() const { return m_rate / double(m_fftSize); }

private:
    std::vector<double> m_power; // bins 0 .. n/2
    double m_total = 0;
    double m_rate;
    double m_rms = 0;
    int m_fftSize = 0;
};

// What one window of a recording holds: its level and, for each frequency asked about, its share.
struct ToneReading
{
    double rms = 0;
    double peakFrequency = 0;
    std::vector<double> shares;
};

ToneReading readTones(std::span<const float> samples, double sampleRate,
    std::span<const double> frequencies, double halfWidthHz = 25.0);

// Level below which a window counts as silence. The player plays at half volume, which puts a
// full-scale tone at about 0.01 rms; digital silence of the null sink is 0.
inline constexpr double silenceRms = 0.0005;
// A tone counts as sounding when it makes up at least this share of a window above silence.
inline constexpr double toneShareThreshold = 0.5;
// A tone counts as present at all (for "never two at once") from this share.
inline constexpr double tonePresentShare = 0.1;

} // namespace testsupport
