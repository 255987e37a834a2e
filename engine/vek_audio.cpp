// SPDX-License-Identifier: Zlib
// Audio: one streamed music at a time, and sound effects from sound resources.
#include "vek_internal.h"

#include <SDL_mixer.h>

// The current music, owned by the engine; null when none is loaded. It is not a
// registry resource: no id, no de-duplication, no hot reload.
Mix_Music *___vek_music = nullptr;

int VEK_PlayMusic(const char *path, int loop) {
    if (___vek_config.mixer == VEK_MIXER_OFF) {
        LOG("mixer is disabled");
        return -1;
    }
    VEK_StopMusic();
    ___vek_music = Mix_LoadMUS(path);
    if (___vek_music == nullptr) return sdl_error(-1);
    // A music that fails to start stays loaded until the next stop or play.
    if (Mix_PlayMusic(___vek_music, loop) < 0) return sdl_error(-1);
    return 0;
}

void VEK_StopMusic(void) {
    if (___vek_config.mixer == VEK_MIXER_OFF) return;
    if (Mix_PlayingMusic()) Mix_HaltMusic();
    if (___vek_music != nullptr) Mix_FreeMusic(___vek_music);
    ___vek_music = nullptr;
}

// 0..1 onto the mixer's 0..128, truncated toward zero. Values beyond 1 go to the
// mixer as they are (it caps them); only what an int cannot hold is pinned.
static int chunk_volume(float volume) {
    return to_int(128.0f * volume);
}

int _VEK_PlaySound(const VEK_PlaySoundArgs *args) {
    if (args->id == 0) {
        LOG("args->id is 0");
        return -1;
    }
    if (VEK_GetResourceType(args->id) != VEK_RES_SOUND) {
        LOG("%u isn't a sound", args->id);
        return -1;
    }
    Mix_Chunk *chunk = VEK_GetResourcePointer(args->id)->sound.ptr;
    // The volume belongs to the chunk and stays for its later plays.
    Mix_VolumeChunk(chunk, chunk_volume(args->volume));
    if (Mix_PlayChannel(-1, chunk, args->loop) < 0) return sdl_error(-1);
    return 0;
}
