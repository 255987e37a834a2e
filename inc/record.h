// SPDX-License-Identifier: Zlib
// Microphone level: capture from the default input device and a level meter.
#pragma once

#include <SDL.h>

// Level of the last captured buffer: 20 * log10(RMS) + 40, so 40 is a full-scale
// signal, 0 an RMS of 0.01; minus infinity for exact silence, NaN for a buffer
// shorter than one sample, 0 before the first buffer. Written by the capture
// thread with one 64-bit store, read by the game without a lock.
extern double g_dB;

// Opens the default capture device (mono, 44100 Hz, 32-bit float, 4096-sample
// buffers) and starts it. SDL's audio subsystem must already be running (the
// engine starts it with the mixer). Fatal ("mic > 0") when no device opens.
void record_init(void);

// SDL's capture callback: `len` bytes of 32-bit float samples in `stream`; sets g_dB.
void SDLCALL audioRecordingCallback(void *userdata, Uint8 *stream, int len);

// Draws the level meter for g_dB at the left edge (0 to 40 dB, 100 bars of 2
// pixels, green to red, in a white frame); leaves the draw colour white.
void draw_volume(void);
