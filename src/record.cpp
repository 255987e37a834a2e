// SPDX-License-Identifier: Zlib
// Microphone level: capture callback turning each buffer into g_dB, and the meter.
#include "record.h"

#include "VEK.h"
#include "_.h"
#include "cfg.h"

#include <cmath>
#include <cstring>
#include <limits>

double g_dB = 0;

// What to do when no microphone opens, for the notice of the stop (README.txt
// names the same setting).
static const char *const MICROPHONE_ADVICE =
    "No microphone could be opened: the game listens to one. Plug a microphone in and let "
    "desktop programs use it (on Windows: Settings > Privacy & security > Microphone > "
    "\"Let desktop apps access your microphone\"), then start the game again.";
// Without any sound system SDL opens no audio at all, and no microphone plugged
// in would help: the missing piece is the system's sound library.
static const char *const SOUND_SYSTEM_ADVICE =
    "No sound system could be opened, so no microphone either: the game listens to one. "
    "Install a sound server (PulseAudio or PipeWire) or ALSA's library (Debian, Ubuntu: "
    "libasound2; Fedora: alsa-lib), then start the game again.";

void record_init(void) {
    SDL_AudioSpec desiredSpec;
    SDL_AudioSpec obtainedSpec;
    SDL_memset(&desiredSpec, 0, sizeof desiredSpec);
    desiredSpec.freq = 44100;
    desiredSpec.format = AUDIO_F32LSB;
    desiredSpec.channels = 1;
    desiredSpec.samples = 4096;
    desiredSpec.callback = audioRecordingCallback;
    desiredSpec.userdata = NULL;

    // No format change allowed: SDL converts whatever the device delivers, so the
    // callback always receives 32-bit floats in [-1, 1].
    SDL_AudioDeviceID mic = SDL_OpenAudioDevice(NULL, 1, &desiredSpec, &obtainedSpec, 0);
    ASSERT_ADVISE(mic > 0,
                  SDL_WasInit(SDL_INIT_AUDIO) != 0 ? MICROPHONE_ADVICE : SOUND_SYSTEM_ADVICE);
    SDL_PauseAudioDevice(mic, 0);
}

void SDLCALL audioRecordingCallback(void *userdata, Uint8 *stream, int len) {
    (void)userdata;
    int numSamples = len / (int)sizeof(float);
    if (numSamples <= 0) {
        // No whole sample: there is no level to tell.
        g_dB = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    double sum = 0;
    for (int i = 0; i < numSamples; i++) {
        float sample;
        memcpy(&sample, stream + (size_t)i * sizeof(float), sizeof sample);
        sum += (double)(sample * sample);
    }
    double rms = sqrt(sum / numSamples);
    // One store of the finished value: the game thread reads it without a lock.
    g_dB = 20.0 * log10(rms) + 40.0;
}

void draw_volume(void) {
    const uint8_t size_h = 200;
    const uint8_t size_w = 20;
    const uint8_t max = 40;
    const double gap = 0.01;
    const int left = 10;

    // One read of the shared level per frame; NaN and minus infinity count as 0.
    double level = g_dB;
    double volume_percentage = fmin(fmax(level, 0.0), (double)max) / max;

    for (double i = 0; i < volume_percentage && i < 1; i += gap) {
        // Green at the bottom to red at the top; a negative green keeps the last one.
        VEK_DrawSetColor(.r = (float)i, .g = (float)(0.8f - i), .b = 0);
        VEK_DrawRectangle(.x = left, .y = (int)(cfg.display_height - size_h * i - 11), .w = size_w,
                          .h = (int)(size_h * gap), .fill = true, .center = false);
    }
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawRectangle(.x = left, .y = cfg.display_height - size_h - 10, .w = size_w, .h = size_h,
                      .fill = false, .center = false);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
}
