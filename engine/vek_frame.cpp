// SPDX-License-Identifier: Zlib
// Frame protocol, letterboxed composition, pacing, viewport, camera.
#include "vek_internal.h"

#include <cmath>

SDL_Texture *___vek_target = nullptr;
SDL_Texture *___vek_target_pre = nullptr;
SDL_BlendMode ___vek_blendmode = SDL_BLENDMODE_BLEND;
float ___vek_scale = 1.0f;
int ___vek_off_x = 1, ___vek_off_y = 1;
int ___vek_camera_x = 0, ___vek_camera_y = 0;

int VEK_BlendMode(SDL_BlendMode mode) {
    ___vek_blendmode = mode;
    if (SDL_SetRenderDrawBlendMode(___vek_renderer, mode) != 0) return sdl_error(-1);
    return 0;
}

int VEK_DrawBegin(void) {
    if (VEK_BlendMode(SDL_BLENDMODE_BLEND) != 0) return sdl_error(-1);
    if (___vek_config.hd_render) return 0;
    if (___vek_config.interlace) {
        SDL_Texture *t = ___vek_target;
        ___vek_target = ___vek_target_pre;
        ___vek_target_pre = t;
    }
    if (SDL_SetRenderTarget(___vek_renderer, ___vek_target) < 0) return sdl_error(-1);
    return 0;
}

int VEK_DrawClear(void) {
    if (SDL_RenderClear(___vek_renderer) < 0) return sdl_error(-1);
    return 0;
}

uint32_t pace_frame(uint32_t *next_time, uint32_t min_dt, uint32_t now) {
    *next_time += min_dt;
    // The difference is read as signed so that a due time just past the 32-bit
    // wrap still counts as "ahead" and one just before it as "behind".
    int32_t ahead = static_cast<int32_t>(*next_time - now);
    if (ahead > 0) return static_cast<uint32_t>(ahead);
    *next_time = now;
    return 0;
}

int VEK_DrawEnd(void) {
    if (!___vek_config.hd_render && pixel_draw_end() != 0) return -1;
    uint32_t wait = 0;
    if (___vek_config.target_fps > 0)
        wait = pace_frame(&___vek_next_time, ___vek_min_dt,
                          static_cast<uint32_t>(SDL_GetTicks64()));
    frame_wait(wait);
    SDL_RenderPresent(___vek_renderer);
    ___vek_tick += 1;
    return 0;
}

Letterbox letterbox_fit(int win_w, int win_h, int width, int height, float ratio,
                        bool pixel_perfect) {
    if (win_w == 0) win_w = 1;
    if (win_h == 0) win_h = 1;
    int shown_w = to_int(static_cast<float>(width) * ratio);
    float ratio_w = static_cast<float>(win_w) / static_cast<float>(shown_w);
    float ratio_h = static_cast<float>(win_h) / static_cast<float>(height);
    Letterbox lb;
    lb.scale = ratio_h > ratio_w ? ratio_w : ratio_h;
    if (lb.scale > 1.0f && pixel_perfect) lb.scale = std::trunc(lb.scale);
    lb.x = to_int((static_cast<float>(win_w) - lb.scale * static_cast<float>(shown_w)) / 2.0f);
    lb.y = to_int((static_cast<float>(win_h) - lb.scale * static_cast<float>(height)) / 2.0f);
    lb.w = to_int(lb.scale * static_cast<float>(shown_w));
    lb.h = to_int(lb.scale * static_cast<float>(height));
    return lb;
}

int pixel_draw_end(void) {
    const VEK_Config &c = ___vek_config;
    if (c.interlace) {
        // Parity persists across frames: the first composition takes the odd rows
        // from the previous picture, the next one the even rows, and so on.
        static int odd = 0;
        odd = !odd;
        for (int i = odd; i < c.height; i += 2) {
            SDL_Rect row = {0, i, c.width, 1};
            if (SDL_RenderCopy(___vek_renderer, ___vek_target_pre, &row, &row) != 0)
                return sdl_error(-1);
        }
    }
    if (SDL_SetRenderTarget(___vek_renderer, nullptr) != 0) return sdl_error(-1);
    if (SDL_SetRenderDrawColor(___vek_renderer, 0, 0, 0, 255) != 0) return sdl_error(-1);
    if (SDL_RenderClear(___vek_renderer) != 0) return sdl_error(-1);

    // The letterbox is laid out in the drawable's pixels, which outnumber the
    // window's points on a scaled screen (Windows at 150 %, a high-density
    // display); the mouse arrives in points, so the scale and offset kept for
    // VEK_ScreenTransform are in points. Without scaling the two are the same.
    int win_w = 0, win_h = 0, out_w = 0, out_h = 0;
    SDL_GetWindowSize(___vek_window, &win_w, &win_h);
    if (SDL_GetRendererOutputSize(___vek_renderer, &out_w, &out_h) != 0 || out_w <= 0 ||
        out_h <= 0) {
        out_w = win_w;
        out_h = win_h;
    }
    Letterbox lb = letterbox_fit(out_w, out_h, c.width, c.height, c.ratio, c.pixel_perfect);
    float points_x =
        out_w > 0 && win_w > 0 ? static_cast<float>(win_w) / static_cast<float>(out_w) : 1.0f;
    float points_y =
        out_h > 0 && win_h > 0 ? static_cast<float>(win_h) / static_cast<float>(out_h) : 1.0f;
    ___vek_scale = lb.scale * points_x;
    ___vek_off_x = to_int(static_cast<float>(lb.x) * points_x);
    ___vek_off_y = to_int(static_cast<float>(lb.y) * points_y);
    SDL_Rect dst = {lb.x, lb.y, lb.w, lb.h};
    if (SDL_RenderCopy(___vek_renderer, ___vek_target, nullptr, &dst) != 0) return sdl_error(-1);
    return 0;
}

int VEK_SetViewportSize(int width, int height) {
    int old_w = ___vek_config.width, old_h = ___vek_config.height;
    ___vek_config.width = width;
    ___vek_config.height = height;
    if (___vek_config.hd_render) {
        if (SDL_RenderSetLogicalSize(___vek_renderer, width, height) < 0) return sdl_error(-1);
        return 0;
    }
    if (___vek_target != nullptr && old_w == width && old_h == height) return 0;

    if (___vek_target != nullptr) SDL_DestroyTexture(___vek_target);
    ___vek_target = SDL_CreateTexture(___vek_renderer, SDL_PIXELFORMAT_RGB888,
                                      SDL_TEXTUREACCESS_TARGET, width, height);
    if (___vek_target == nullptr) return sdl_error(-1);
    if (___vek_config.interlace) {
        if (___vek_target_pre != nullptr) SDL_DestroyTexture(___vek_target_pre);
        ___vek_target_pre = SDL_CreateTexture(___vek_renderer, SDL_PIXELFORMAT_RGB888,
                                              SDL_TEXTUREACCESS_TARGET, width, height);
        if (___vek_target_pre == nullptr) return sdl_error(-1);
    }
    return 0;
}

void VEK_ToggleFullscreen(void) {
    static bool fullscreen = false;
    fullscreen = !fullscreen;
    SDL_SetWindowFullscreen(___vek_window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void VEK_ScreenTransform(int *x, int *y) {
    if (___vek_scale == 0.0f) return;
    // x is also divided by the pixel aspect, since the composition stretches it by
    // that; before start-up the configuration holds no aspect yet, which reads as 1.
    float ratio = ___vek_config.ratio > 0.0f ? ___vek_config.ratio : 1.0f;
    if (x != nullptr) *x = to_int(static_cast<float>(*x - ___vek_off_x) / (___vek_scale * ratio));
    if (y != nullptr) *y = to_int(static_cast<float>(*y - ___vek_off_y) / ___vek_scale);
}

// The offset is held within +-2^30 so that adding it to any drawing coordinate of
// that size stays in int's range; a camera that far away shows nothing either way.
static int camera_offset(float position) {
    constexpr int limit = 1 << 30;
    int offset = to_int(-(position + 0.5f)); // negated before truncating: no -INT_MIN
    return offset > limit ? limit : offset < -limit ? -limit : offset;
}

void VEK_SetCamera(float x, float y) {
    ___vek_camera_x = camera_offset(x);
    ___vek_camera_y = camera_offset(y);
}

int VEK_GetCameraX(void) { return ___vek_camera_x; }
int VEK_GetCameraY(void) { return ___vek_camera_y; }
