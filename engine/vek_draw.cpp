// SPDX-License-Identifier: Zlib
// Drawing primitives: the current colour, points, lines, rectangles and image
// cut-outs, in game pixels with the camera offset added.
#include "vek_internal.h"

#include <cmath>

VEK_Color ___vek_color = {._ = 0, .r = 0, .g = 0, .b = 0, .a = 1};

int color_byte(float c) {
    // Not clamped: 1.2 gives 306, whose low byte 50 is what callers use. Only
    // values no int can hold (never a colour) are cut to 0 rather than
    // converted, which would be undefined.
    float v = 255.0f * c;
    if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
    return static_cast<int>(v);
}

static Uint8 byte_of(float c) {
    return static_cast<Uint8>(color_byte(c));
}

static int apply_draw_color(void) {
    if (SDL_SetRenderDrawColor(___vek_renderer, byte_of(___vek_color.r), byte_of(___vek_color.g),
                               byte_of(___vek_color.b), byte_of(___vek_color.a)) < 0)
        return sdl_error(-1);
    return 0;
}

int _VEK_DrawSetColor(const VEK_Color *color) {
    // A negative component keeps the current one; 0 is a value like any other.
    if (color->r >= 0) ___vek_color.r = color->r;
    if (color->g >= 0) ___vek_color.g = color->g;
    if (color->b >= 0) ___vek_color.b = color->b;
    if (color->a >= 0) ___vek_color.a = color->a;
    return apply_draw_color();
}

int VEK_DrawSetColor8(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    // Every byte survives the round trip through color_byte, so images are
    // tinted with exactly these bytes.
    ___vek_color.r = static_cast<float>(r) / 255.0f;
    ___vek_color.g = static_cast<float>(g) / 255.0f;
    ___vek_color.b = static_cast<float>(b) / 255.0f;
    ___vek_color.a = static_cast<float>(a) / 255.0f;
    if (SDL_SetRenderDrawColor(___vek_renderer, r, g, b, a) < 0) return sdl_error(-1);
    return 0;
}

int VEK_DrawPoint(int x, int y) {
    if (SDL_RenderDrawPoint(___vek_renderer, x + VEK_GetCameraX(), y + VEK_GetCameraY()) < 0)
        return sdl_error(-1);
    return 0;
}

int VEK_DrawLine(int x0, int y0, int x1, int y1) {
    int cx = VEK_GetCameraX(), cy = VEK_GetCameraY();
    if (SDL_RenderDrawLine(___vek_renderer, x0 + cx, y0 + cy, x1 + cx, y1 + cy) < 0)
        return sdl_error(-1);
    return 0;
}

int _VEK_DrawRectangle(const VEK_DrawRectangleArgs *args) {
    // Integer halving: a centred rectangle of width 41 at x 320 starts at 300.
    SDL_Rect rect = {args->x - (args->center ? args->w / 2 : 0) + VEK_GetCameraX(),
                     args->y - (args->center ? args->h / 2 : 0) + VEK_GetCameraY(), args->w,
                     args->h};
    int rv = args->fill ? SDL_RenderFillRect(___vek_renderer, &rect)
                        : SDL_RenderDrawRect(___vek_renderer, &rect);
    if (rv < 0) return sdl_error(-1);
    return 0;
}

// Source extent along one axis: INT_MIN means the whole image, a negative size
// mirrors (by flipping the scale), and the extent is cut at the image's edge.
static int source_extent(int size, int offset, int full, float *scale) {
    int extent = size == INT_MIN ? full : size;
    if (extent < 0) {
        extent = -extent;
        *scale = -*scale;
    }
    if (static_cast<long long>(offset) + extent > full) extent = full - offset;
    return extent;
}

int _VEK_DrawImage(const VEK_DrawImageArgs *args) {
    if (args->id == 0) {
        LOG("args->id is 0");
        return -1;
    }
    const VEK_Resource *res = resource_find(args->id);
    if (res == nullptr) {
        LOG("resource id %u out of range", args->id);
        return -1;
    }
    if (res->type != VEK_RES_IMAGE) {
        LOG("%u isn't an image", args->id);
        return -1;
    }
    const VEK_Image &img = res->image;

    // The tint stays set on the texture; every draw sets it anew.
    if (SDL_SetTextureColorMod(img.ptr, byte_of(___vek_color.r), byte_of(___vek_color.g),
                               byte_of(___vek_color.b)) != 0)
        return sdl_error(-1);
    if (SDL_SetTextureAlphaMod(img.ptr, byte_of(___vek_color.a)) != 0) return sdl_error(-1);
    if (SDL_SetTextureBlendMode(img.ptr, ___vek_blendmode) != 0) return sdl_error(-1);

    float scale_x = args->sx, scale_y = args->sy;
    int simg_width = source_extent(args->w, args->ix, img.width, &scale_x);
    int simg_height = source_extent(args->h, args->iy, img.height, &scale_y);

    // An explicit flip and a negative scale cancel each other out.
    int flip = SDL_FLIP_NONE;
    if (args->flip_x != (scale_x < 0)) flip |= SDL_FLIP_HORIZONTAL;
    if (args->flip_y != (scale_y < 0)) flip |= SDL_FLIP_VERTICAL;

    SDL_Rect src = {args->ix, args->iy, simg_width, simg_height};
    int drawn_w = to_int(std::fabs(static_cast<double>(scale_x)) * simg_width);
    int drawn_h = to_int(std::fabs(static_cast<double>(scale_y)) * simg_height);

    // A negative scale draws to the left of (above) the anchor, whatever flip says.
    int anchor_x = scale_x < 0 ? args->x - drawn_w : args->x;
    int anchor_y = scale_y < 0 ? args->y - drawn_h : args->y;
    // The centring term keeps the scale's sign, so a centred image sits on
    // (x, y) either way; the sum is truncated only at the end.
    float half_x = args->center ? static_cast<float>(simg_width) * scale_x / 2.0f : 0.0f;
    float half_y = args->center ? static_cast<float>(simg_height) * scale_y / 2.0f : 0.0f;
    SDL_Rect dst = {
        to_int(static_cast<float>(anchor_x) - half_x + static_cast<float>(VEK_GetCameraX())),
        to_int(static_cast<float>(anchor_y) - half_y + static_cast<float>(VEK_GetCameraY())),
        drawn_w, drawn_h};

    double angle = static_cast<double>(360.0f * args->r);
    if (SDL_RenderCopyEx(___vek_renderer, img.ptr, &src, &dst, angle, nullptr,
                         static_cast<SDL_RendererFlip>(flip)) < 0)
        return sdl_error(-1);
    return 0;
}

void VEK_RectFromSDLRect(VEK_Rect *dest, const SDL_Rect *src) {
    dest->from.x = src->x;
    dest->from.y = src->y;
    dest->to.x = src->x + src->w - 1;
    dest->to.y = src->y + src->h - 1;
}
