// SPDX-License-Identifier: Zlib
// The play-through: start screen, a timed run of short challenges in random
// order, then the finish screen. One global record `game` holds all of it.
#pragma once

#include <ctime>

#include "cfg.h"

typedef struct color {
    float red, green, blue; // 0..1
} color;

// A challenge: called once per frame of the run, inside the frame; it reads
// input, draws itself and calls minigame_switch when it is done.
typedef void (*minigame_fn)(void);

typedef struct minigame {
    minigame_fn minigames[30]; // challenge table; slots after the last filled one are null
    minigame_fn cur_minigame;  // challenge running now; null before the first switch
    int nbr_minigame;          // filled slots of the table
    int start;                 // 0 start screen, 1 pre-start blink, 2 running, 3 finished
    int point;                 // kept at 0
    time_t time_start;         // calendar time the music (and the run's clock) started
    double secondes;           // whole seconds since time_start, updated while running
    double secondes_max;       // length of the run in seconds
    double time_each_game;     // seconds a challenge's condition must be held
    clock_t dur_init;          // tick the current challenge began
    clock_t dur_start;         // tick the current hold began
    clock_t dur;               // tick of the current running frame: "now"
    bool music;                // the music (and the run's clock) has started
    int click;                 // presses counted by the current challenge
    int last_pos_mouse[2];     // mouse position remembered for "STOP !"
    double dir_r[2];           // "FOLLOW ME !" rectangle velocity, pixels per frame
    double pos_r[2];           // "FOLLOW ME !" rectangle centre
    color bg_color;            // colour each frame is cleared with
} minigame;

extern minigame game;

// Sequencer.
void minigame_init(void);        // fill the table and the initial state
void minigame_manage(void);      // per-frame update, before the frame is drawn
void minigame_draw(void);        // per-frame drawing, inside the frame
void minigame_start_music(void); // start the music and the run's clock
void minigame_pre_start(void);   // start clicked: blink state
void minigame_start(void);       // blink over: running state and first challenge
void minigame_switch(void);      // pick and prepare the next challenge
void minigame_end(void);         // back to the start-screen state

// Backgrounds drawn again since minigame_init because the first draw would have
// made more than three flashes within a second.
int minigame_redraws(void);

// Whole seconds of a calendar-time difference as the run's clock counts them:
// truncated toward zero, and a negative difference (the system clock was set
// back) counts as no time at all.
double run_seconds(double elapsed);

// The challenges of src/minigames (the keyboard prompt, draw_keyboard, is in draw.h).
void just_yell(void);     // "YELL !"
void silence(void);       // "CHUT !"
void do_nothing(void);    // "STOP !"
void spam_click(void);    // "ClICK !"
void spam_e(void);        // "PRESS E !"
void follow_square(void); // "FOLLOW ME !"
