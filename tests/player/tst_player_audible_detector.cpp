// The tone detector the audible tests judge by: it must name the sounding tone, tell two tones
// apart in short windows and see silence as silence, or the audible tests could pass on nothing.

#include "toneanalysis.h"

#include <QTest>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using testsupport::Spectrum;

namespace {

constexpr double rate = 16000;

std::vector<float> tone(double frequency, int ms, double amplitude = 0.01, double phase = 0.3)
{
    std::vector<float> out(size_t(rate * ms / 1000));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = float(
            amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / rate + phase));
    }
    return out;
}

std::vector<float> mixed(const std::vector<float> &a, const std::vector<float> &b)
{
    std::vector<float> out(a);
    for (size_t i = 0; i < out.size() && i < b.size(); ++i) {
        out[i] += b[i];
    }
    return out;
}

} // namespace

class ToneDetectorTest : public QObject
{
    Q_OBJECT

private slots:
    void namesTheSoundingTone_data();
    void namesTheSoundingTone();
    void tellsTwoTonesApartInShortWindows();
    void silenceIsSilence();
    void toneStandsOutOfNoise();
};

void ToneDetectorTest::namesTheSoundingTone_data()
{
    QTest::addColumn<double>("frequency");
    QTest::addColumn<int>("ms");
    for (double f : { 440.0, 500.0, 1250.0, 1700.0, 2250.0 }) {
        QTest::addRow("%g Hz, 100 ms", f) << f << 100;
        QTest::addRow("%g Hz, 40 ms", f) << f << 40;
    }
}

void ToneDetectorTest::namesTheSoundingTone()
{
    QFETCH(double, frequency);
    QFETCH(int, ms);
    const auto samples = tone(frequency, ms);
    const Spectrum spectrum(samples, rate);
    QVERIFY2(std::abs(spectrum.peakFrequency() - frequency) < 5.0,
        qPrintable(QString::number(spectrum.peakFrequency())));
    QVERIFY(spectrum.bandShare(frequency, 60) > 0.9);
    // Neighbouring tones of the test servers lie 60 Hz apart.
    if (ms >= 100) {
        QVERIFY(spectrum.bandShare(frequency + 60) < testsupport::tonePresentShare);
        QVERIFY(spectrum.bandShare(frequency - 60) < testsupport::tonePresentShare);
    }
    QVERIFY(std::abs(spectrum.rms() - 0.01 / std::sqrt(2.0)) < 0.0005);
}

void ToneDetectorTest::tellsTwoTonesApartInShortWindows()
{
    const auto both = mixed(tone(1250, 40), tone(1700, 40, 0.01, 1.1));
    const Spectrum spectrum(both, rate);
    QVERIFY(spectrum.bandShare(1250) > 0.3 && spectrum.bandShare(1250) < 0.7);
    QVERIFY(spectrum.bandShare(1700) > 0.3 && spectrum.bandShare(1700) < 0.7);

    // A cut inside the window: old tone for 10 ms, then nothing.
    auto cut = tone(1250, 40);
    std::fill(cut.begin() + 160, cut.end(), 0.0f);
    const Spectrum tail(cut, rate);
    QVERIFY(tail.bandShare(1250, 60) > testsupport::tonePresentShare);
    QVERIFY(tail.bandShare(1700) < testsupport::tonePresentShare);
}

void ToneDetectorTest::silenceIsSilence()
{
    const std::vector<float> zeros(1600, 0.0f);
    const Spectrum spectrum(zeros, rate);
    QCOMPARE(spectrum.rms(), 0.0);
    QCOMPARE(spectrum.bandShare(1000), 0.0);
    QCOMPARE(spectrum.peakFrequency(), 0.0);
    QVERIFY(spectrum.rms() <= testsupport::silenceRms);
    // A tone at the player's half volume is well above the silence threshold.
    QVERIFY(Spectrum(tone(1000, 100, 0.003), rate).rms() > 4 * testsupport::silenceRms);
}

void ToneDetectorTest::toneStandsOutOfNoise()
{
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.001f);
    auto samples = tone(920, 100);
    for (float &s : samples) {
        s += noise(random);
    }
    const Spectrum spectrum(samples, rate);
    QVERIFY(spectrum.bandShare(920) >= testsupport::toneShareThreshold);
    QVERIFY(spectrum.bandShare(980) < testsupport::tonePresentShare);
    QVERIFY(std::abs(spectrum.peakFrequency() - 920) < 5.0);
}

QTEST_GUILESS_MAIN(ToneDetectorTest)
#include "tst_player_audible_detector.moc"
