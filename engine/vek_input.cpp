// Input. (Minimal event drain; the state machine comes next.)
#include "vek_internal.h"

VEK_Joystick *___vek_joysticks = nullptr;
size_t ___vek_joysticks_size = 0;
size_t ___vek_joysticks_capacity = 0;

void VEK_CycleEvents(void) {
    SDL_Event ev;
    while (SDL_PollEvent(&ev))
        if (ev.type == SDL_QUIT) ___vek_should_quit = 1;
}
