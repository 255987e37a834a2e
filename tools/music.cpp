// SPDX-License-Identifier: Zlib
// Synthesises the game's background music: the public-domain theme "In the Hall of the
// Mountain King", played by a few simple synthetic instruments.
//
//   music [--mu-law] <out.wav>
//
// With --mu-law the samples are stored as 8-bit G.711 mu-law instead of 16-bit PCM: half
// the bytes, and after gzip a quarter, for the browser build, whose players download the
// music. It is still a WAV file, which the mixer's WAV decoder plays as it is.
//
// The run of the game lasts 145 s and the music is written for exactly that length:
// 16-bit PCM, mono, 22050 Hz. As in the piece, the theme comes round again and again,
// always faster and louder: four rounds of the six phrases A A B B' A A', the tempo rising
// steadily from about 97 to about 250 quarter notes per minute, instruments joining round
// after round (a reed-like melody over plucked bass first, then the melody doubled an
// octave up with a kick drum, then snare, hats and a second doubling, then brass stabs and
// cymbals), ending on a held B minor chord and a short fade.
//
// Everything is computed from the note tables below with plain arithmetic: no randomness
// beyond a fixed-seed noise generator, so every build writes the same bytes.
#include "asset_io.h"

#include <algorithm>
#include <cmath>

using namespace assets;

namespace {

constexpr int rate = 22050;
constexpr double seconds = 145.0;
constexpr size_t total_samples = size_t(seconds * rate);
constexpr double pi = 3.14159265358979323846;

// --- The score ------------------------------------------------------------------------
// Notes as MIDI numbers (47 = B2) and lengths in eighth notes; each phrase is four bars
// of eight eighths.
struct Note {
    int pitch, eighths;
};
using Phrase = std::vector<Note>;

// The theme in B minor, climbing the scale and falling back chromatically.
const Phrase phrase_a = {
    {47, 1}, {49, 1}, {50, 1}, {52, 1}, {54, 1}, {50, 1}, {54, 2},          // B C# D E F# D F#
    {53, 1}, {49, 1}, {53, 2}, {52, 1}, {48, 1}, {52, 2},                   // E# C# E#  E C E
    {47, 1}, {49, 1}, {50, 1}, {52, 1}, {54, 1}, {50, 1}, {54, 1}, {59, 1}, // ... F# B
    {57, 1}, {54, 1}, {50, 1}, {54, 1}, {57, 4},                            // A F# D F# A
};
// The same, closing on the tonic.
const Phrase phrase_a_end = {
    {47, 1}, {49, 1}, {50, 1}, {52, 1}, {54, 1}, {50, 1}, {54, 2}, {53, 1}, {49, 1},
    {53, 2}, {52, 1}, {48, 1}, {52, 2}, {47, 1}, {49, 1}, {50, 1}, {52, 1}, {54, 1},
    {50, 1}, {54, 1}, {59, 1}, {57, 1}, {54, 1}, {50, 1}, {49, 1}, {47, 4}, // A F# D C# B
};
// The theme moved to the dominant, F#.
const Phrase phrase_b = {
    {54, 1}, {56, 1}, {58, 1}, {59, 1}, {61, 1}, {58, 1}, {61, 2}, // F# G# A# B C# A# C#
    {62, 1}, {58, 1}, {62, 2}, {61, 1}, {58, 1}, {61, 2},          // D A# D  C# A# C#
    {54, 1}, {56, 1}, {58, 1}, {59, 1}, {61, 1}, {58, 1}, {61, 1},
    {66, 1}, {64, 1}, {61, 1}, {58, 1}, {61, 1}, {64, 4}, // E C# A# C# E
};
// Dominant phrase settling on F#, leading back to the theme.
const Phrase phrase_b_end = {
    {54, 1}, {56, 1}, {58, 1}, {59, 1}, {61, 1}, {58, 1}, {61, 2}, {62, 1}, {58, 1},
    {62, 2}, {61, 1}, {58, 1}, {61, 2}, {54, 1}, {56, 1}, {58, 1}, {59, 1}, {61, 1},
    {58, 1}, {61, 1}, {66, 1}, {64, 1}, {61, 1}, {58, 1}, {56, 1}, {54, 4}, // E C# A# G# F#
};

struct Section {
    const Phrase *melody;
    int bass_root, bass_fifth; // pedal notes of the plucked bass
};
const Section round_sections[] = {
    {&phrase_a, 35, 42},     {&phrase_a, 35, 42}, {&phrase_b, 42, 37},
    {&phrase_b_end, 42, 37}, {&phrase_a, 35, 42}, {&phrase_a_end, 35, 42},
};
constexpr int rounds = 4;
constexpr int sections_per_round = 6;
constexpr int eighths_per_phrase = 32;
constexpr int total_eighths = rounds * sections_per_round * eighths_per_phrase;

// --- Tempo ----------------------------------------------------------------------------
// The rate of eighth notes grows exponentially with time, from r0 to growth * r0, so that
// all the rounds fit between the first note and the final chord.
constexpr double music_start = 0.25, final_chord = 142.0, growth = 2.6;

double eighth_time(double n) {
    const double span = final_chord - music_start, lg = std::log(growth);
    const double r0 = total_eighths * lg / (span * (growth - 1.0));
    return music_start + span * std::log(1.0 + n * lg / (r0 * span)) / lg;
}

// --- Sound sources --------------------------------------------------------------------
double midi_hz(double m) {
    return 440.0 * std::pow(2.0, (m - 69.0) / 12.0);
}

// Band-limiting correction for the jumps of naive saw and pulse waves.
double poly_blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

enum class Wave { pulse, saw, triangle };

struct Voice {
    Wave wave;
    double duty;         // pulse width, for pulse waves
    double brightness;   // low-pass cutoff as a multiple of the note's frequency
    double attack;       // s
    double decay;        // s, time constant towards the sustain level
    double sustain;      // level held after the decay
    double release;      // s, after the gate closes
    double gate;         // part of the written length the note is held
    double detune_cents; // a second oscillator this far sharp, for width; 0 = none
};

const Voice reed = {Wave::pulse, 0.28, 5.0, 0.008, 0.12, 0.55, 0.035, 0.82, 0};
const Voice pluck = {Wave::saw, 0.5, 4.0, 0.003, 0.11, 0.0, 0.04, 1.0, 0};
const Voice lead = {Wave::pulse, 0.5, 7.0, 0.005, 0.2, 0.45, 0.04, 0.8, 6};
const Voice brass = {Wave::saw, 0.5, 6.0, 0.02, 0.35, 0.5, 0.12, 1.0, 8};

struct Mixer {
    std::vector<double> out = std::vector<double>(total_samples, 0.0);
    uint32_t noise_state = 0x2545F491;

    double noise() { // xorshift32, in [-1, 1)
        noise_state ^= noise_state << 13;
        noise_state ^= noise_state >> 17;
        noise_state ^= noise_state << 5;
        return noise_state / 2147483648.0 - 1.0;
    }

    size_t first_sample(double t) const { return size_t(std::max(0.0, t) * rate); }

    void note(const Voice &v, double pitch, double start, double length, double level) {
        const double f = midi_hz(pitch);
        const double held = length * v.gate;
        const double lp = 1.0 - std::exp(-2.0 * pi * std::min(f * v.brightness, 9000.0) / rate);
        const int oscillators = v.detune_cents > 0 ? 2 : 1;
        double phase[2] = {0.0, 0.37},
               dt[2] = {f / rate, f * std::pow(2.0, v.detune_cents / 1200.0) / rate};
        double filtered = 0.0, released_from = 0.0;
        size_t s0 = first_sample(start),
               s1 = std::min(total_samples, first_sample(start + held + v.release));
        for (size_t s = s0; s < s1; s++) {
            double t = double(s - s0) / rate;
            double env = t < v.attack
                             ? t / v.attack
                             : v.sustain + (1.0 - v.sustain) * std::exp(-(t - v.attack) / v.decay);
            if (t < held)
                released_from = env;
            else
                env = released_from * std::exp(-(t - held) / (v.release / 4.0));
            double x = 0.0;
            for (int o = 0; o < oscillators; o++) {
                double p = phase[o], d = dt[o];
                switch (v.wave) {
                case Wave::saw:
                    x += 2.0 * p - 1.0 - poly_blep(p, d);
                    break;
                case Wave::pulse: {
                    double q = p + 1.0 - v.duty;
                    q -= std::floor(q);
                    x += (p < v.duty ? 1.0 : -1.0) + poly_blep(p, d) - poly_blep(q, d);
                    break;
                }
                case Wave::triangle:
                    x += 4.0 * std::fabs(p - 0.5) - 1.0;
                    break;
                }
                phase[o] = p + d - std::floor(p + d);
            }
            filtered += lp * (x / oscillators - filtered);
            out[s] += level * env * filtered;
        }
    }

    // Bass drum: a sine falling quickly in pitch, with a short click.
    void kick(double start, double level) {
        double phase = 0.0;
        size_t s0 = first_sample(start), s1 = std::min(total_samples, s0 + size_t(0.35 * rate));
        for (size_t s = s0; s < s1; s++) {
            double t = double(s - s0) / rate;
            phase += (45.0 + 95.0 * std::exp(-t / 0.03)) / rate;
            double click = t < 0.004 ? 0.3 * noise() * (1.0 - t / 0.004) : 0.0;
            out[s] += level * (std::sin(2.0 * pi * phase) * std::exp(-t / 0.16) + click);
        }
    }

    // Noise through a one-pole high-pass; snare adds a short tone for its body.
    void noise_hit(double start, double level, double decay, double cut_hz, double body_hz) {
        const double a = 1.0 - std::exp(-2.0 * pi * cut_hz / rate);
        double low = 0.0, phase = 0.0;
        size_t s0 = first_sample(start),
               s1 = std::min(total_samples, s0 + size_t(decay * 6.0 * rate));
        for (size_t s = s0; s < s1; s++) {
            double t = double(s - s0) / rate, n = noise();
            low += a * (n - low);
            double x = (n - low) * std::exp(-t / decay);
            if (body_hz > 0) {
                phase += body_hz / rate;
                x += 0.6 * std::sin(2.0 * pi * phase) * std::exp(-t / 0.05);
            }
            out[s] += level * x;
        }
    }
    void snare(double start, double level) { noise_hit(start, level, 0.08, 1200.0, 185.0); }
    void hat(double start, double level) { noise_hit(start, level, 0.022, 6000.0, 0.0); }
    void crash(double start, double level) { noise_hit(start, level, 0.7, 3500.0, 0.0); }

    // Kettle drum: a low sine with an inharmonic partial and a slight fall in pitch.
    void timpani(double pitch, double start, double level) {
        const double f = midi_hz(pitch);
        double p1 = 0.0, p2 = 0.0;
        size_t s0 = first_sample(start), s1 = std::min(total_samples, s0 + size_t(2.5 * rate));
        for (size_t s = s0; s < s1; s++) {
            double t = double(s - s0) / rate, bend = 1.0 + 0.04 * std::exp(-t / 0.05);
            p1 += f * bend / rate;
            p2 += 1.51 * f * bend / rate;
            out[s] +=
                level * std::exp(-t / 0.5) *
                (std::sin(2.0 * pi * p1) + 0.35 * std::sin(2.0 * pi * p2) * std::exp(-t / 0.15));
        }
    }
};

// --- Arrangement ----------------------------------------------------------------------
// Level of every part at a point of the piece (0 = first note, 1 = final chord): it grows
// all the way through, a little faster towards the end.
double loudness(double x) {
    return 0.45 + 0.55 * std::pow(x, 1.3);
}

void arrange(Mixer &m) {
    int position = 0; // in eighths from the first note
    for (int round = 0; round < rounds; round++) {
        for (int sec = 0; sec < sections_per_round; sec++) {
            const Section &section = round_sections[sec];
            const int phrase_start = position;
            for (const Note &n : *section.melody) {
                double t0 = eighth_time(position), t1 = eighth_time(position + n.eighths);
                double x = double(position) / total_eighths, loud = loudness(x);
                m.note(reed, n.pitch, t0, t1 - t0, 0.55 * loud);
                if (round >= 1)
                    m.note(lead, n.pitch + 12, t0, t1 - t0, (round == 1 ? 0.2 : 0.3) * loud);
                if (round >= 2) m.note(lead, n.pitch + 24, t0, t1 - t0, 0.16 * loud);
                position += n.eighths;
            }

            // Bass, drums and stabs follow the beat of the phrase.
            for (int e = 0; e < eighths_per_phrase; e++) {
                int at = phrase_start + e, in_bar = e % 8;
                double t0 = eighth_time(at), t1 = eighth_time(at + 1), t2 = eighth_time(at + 2);
                double x = double(at) / total_eighths, loud = loudness(x);
                bool beat = in_bar % 2 == 0;
                int bass = (in_bar / 2) % 2 == 0 ? section.bass_root : section.bass_fifth;
                if (beat)
                    m.note(pluck, bass, t0, t2 - t0, 0.6 * loud);
                else if (round == 3)
                    m.note(pluck, bass + 12, t0, t1 - t0, 0.3 * loud);

                if (round >= 1 && beat && (round >= 2 || in_bar % 4 == 0)) m.kick(t0, 0.55 * loud);
                if (round >= 2 && (in_bar == 2 || in_bar == 6)) m.snare(t0, 0.35 * loud);
                if (round >= 2 && (!beat || round == 3)) m.hat(t0, (beat ? 0.08 : 0.12) * loud);
                if (round == 3 && in_bar == 0) {
                    for (int p :
                         {section.bass_root + 12, section.bass_root + 19, section.bass_root + 24})
                        m.note(brass, p, t0, t1 - t0, 0.12 * loud);
                    if (e == 0) m.crash(t0, 0.3 * loud);
                }
            }
        }
    }

    // Final chord: B minor over the whole range, with drums, held and left to ring.
    const double t = eighth_time(total_eighths), hold = 1.6;
    for (int p : {35, 47, 54, 59, 62, 66}) m.note(brass, p, t, hold, 0.16);
    for (int p : {59, 71}) m.note(lead, p, t, hold, 0.18);
    m.note(reed, 47, t, hold, 0.4);
    m.kick(t, 0.7);
    m.crash(t, 0.45);
    m.timpani(35, t, 0.5);
}

// Scales the mix to a peak of about -1 dB full scale, fades out the last moments and
// converts to 16-bit samples.
std::vector<int16_t> master(std::vector<double> &mix) {
    const size_t fade = size_t(0.8 * rate);
    for (size_t i = 0; i < fade; i++) {
        double u = double(i) / double(fade); // 0 at the start of the fade
        mix[total_samples - fade + i] *= 0.5 + 0.5 * std::cos(pi * u);
    }
    mix.back() = 0.0;
    double peak = 0.0;
    for (double s : mix) peak = std::max(peak, std::fabs(s));
    if (peak == 0.0) fail("the mix is silent");
    const double gain = 0.89 * 32767.0 / peak;
    std::vector<int16_t> pcm(mix.size());
    for (size_t i = 0; i < mix.size(); i++)
        pcm[i] = int16_t(std::lround(std::clamp(mix[i] * gain, -32767.0, 32767.0)));
    return pcm;
}

// The RIFF header of a mono WAV file whose samples take `bytes` bytes each, up to
// the data chunk's size. PCM (format 1) needs no more; other formats (mu-law, 7)
// carry an empty format extension and a fact chunk with the sample count.
Bytes wav_header(uint16_t format, uint16_t bytes, uint32_t samples) {
    const bool pcm = format == 1;
    const uint32_t data_size = samples * bytes;
    Bytes b;
    b.reserve((pcm ? 44 : 58) + data_size);
    put_tag(b, "RIFF");
    put_u32(b, (pcm ? 36 : 50) + data_size);
    put_tag(b, "WAVE");
    put_tag(b, "fmt ");
    put_u32(b, pcm ? 16 : 18);
    put_u16(b, format);
    put_u16(b, 1); // mono
    put_u32(b, rate);
    put_u32(b, rate * bytes);        // bytes per second
    put_u16(b, bytes);               // bytes per frame
    put_u16(b, uint16_t(8 * bytes)); // bits per sample
    if (!pcm) {
        put_u16(b, 0); // no extension
        put_tag(b, "fact");
        put_u32(b, 4);
        put_u32(b, samples);
    }
    put_tag(b, "data");
    put_u32(b, data_size);
    return b;
}

Bytes encode_wav(const std::vector<int16_t> &pcm) {
    Bytes b = wav_header(1, 2, uint32_t(pcm.size()));
    for (int16_t s : pcm) put_u16(b, uint16_t(s));
    return b;
}

// G.711 mu-law: sign, a 3-bit segment (the position of the highest bit of the biased
// magnitude) and the 4 bits below it, all inverted.
uint8_t mu_law(int16_t sample) {
    int s = sample;
    const int sign = s < 0 ? 0x80 : 0;
    s = std::min(sign ? -s : s, 32635) + 0x84;
    int segment = 7;
    for (int mask = 0x4000; (s & mask) == 0 && segment > 0; mask >>= 1) segment--;
    const int mantissa = (s >> (segment + 3)) & 0x0F;
    return uint8_t(~(sign | (segment << 4) | mantissa));
}

Bytes encode_wav_mu_law(const std::vector<int16_t> &pcm) {
    Bytes b = wav_header(7, 1, uint32_t(pcm.size()));
    for (int16_t s : pcm) b.push_back(mu_law(s));
    return b;
}

} // namespace

int main(int argc, char **argv) {
    const bool mu = argc == 3 && std::string(argv[1]) == "--mu-law";
    if (argc != 2 && !mu) fail("usage: music [--mu-law] <out.wav>");
    Mixer m;
    arrange(m);
    std::vector<int16_t> pcm = master(m.out);
    write_file(argv[argc - 1], mu ? encode_wav_mu_law(pcm) : encode_wav(pcm));
    return 0;
}
