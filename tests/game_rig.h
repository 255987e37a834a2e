// SPDX-License-Identifier: Zlib
// Driving the game by hand: its two clocks read `now_ms` and `now_s`, inputs are
// set straight in the engine's state, and a frame runs the game's main loop, then
// ages the inputs as the engine does at the next frame's start.
#pragma once

#include "rig.h"

#include "minigame_manager.h"

#include <ctime>
#include <functional>

extern clock_t now_ms; // what the game's millisecond clock reads
extern time_t now_s;   // what the game's calendar clock reads

void age_inputs();
void set_mouse(int x, int y);
void press_left();
void press_key(int scancode);
// The scancode of the drawn keyboard's key `index` (0 to 25, QWERTY rows in label
// order: Q W E ... B N M), the order the keyboard prompt judges keys in.
int key_scancode(int index);

// One whole frame of the game `ms` milliseconds after the previous one.
void frame(clock_t ms = 16);

// Starts a frame, clears it to `bg`, runs `draw` and returns the picture, without
// ending the frame.
Pixels picture_of(const color &bg, const std::function<void()> &draw);

// How many pixels differ in colour (alpha aside).
int differing(const Pixels &a, const Pixels &b);

// The start screen keeps its state in globals that the game never resets.
void reset_start_screen();

// The game on a 640 x 640 engine with its assets, the clocks driven from 5000 ms
// and 1700000000 s, every key and button up, a silent microphone and a fresh
// initial record. One composed frame fixes the letterbox, so mouse positions map
// 1:1 to the display.
class GameTest : public EngineTest {
  protected:
    void SetUp() override;
    void TearDown() override;
};
