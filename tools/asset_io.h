// SPDX-License-Identifier: Zlib
// Small file helpers shared by the asset generators: little-endian byte packing,
// an all-or-nothing file write and a 32-bit BMP writer with an alpha mask.
// The generators are standalone build tools, so nothing here depends on the engine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace assets {

using Bytes = std::vector<uint8_t>;

inline void put_u16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void put_u32(Bytes &b, uint32_t v) {
    put_u16(b, v & 0xFFFF);
    put_u16(b, v >> 16);
}

inline void put_tag(Bytes &b, const char (&tag)[5]) {
    for (int i = 0; i < 4; i++) b.push_back(uint8_t(tag[i]));
}

[[noreturn]] inline void fail(const std::string &what) {
    std::fprintf(stderr, "asset generator: %s\n", what.c_str());
    std::exit(1);
}

// Writes beside the target and renames over it, so an interrupted or failed run never
// leaves a truncated asset whose fresh time stamp would make the build consider it done.
inline void write_file(const std::string &path, const Bytes &bytes) {
    std::string tmp = path + ".part";
    std::FILE *f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) fail("cannot create " + tmp);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        fail("cannot write " + path);
    }
}

inline Bytes read_file(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) fail("cannot open " + path);
    Bytes out;
    uint8_t buf[1 << 14];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

// A picture in memory: 0xAARRGGBB per pixel, row by row from the top.
struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> px;
    Image(int width, int height, uint32_t fill) : w(width), h(height), px(size_t(w) * h, fill) {}
    uint32_t &at(int x, int y) { return px[size_t(y) * w + x]; }
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
    void fill_rect(int x0, int y0, int x1, int y1, uint32_t c) { // [x0, x1) x [y0, y1)
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (x >= 0 && y >= 0 && x < w && y < h) at(x, y) = c;
    }
};

// 32 bits per pixel, BITMAPV4HEADER with BI_BITFIELDS and explicit masks for red, green,
// blue and alpha, rows stored bottom-up. The alpha mask is what makes SDL_LoadBMP give
// the surface an alpha channel.
inline Bytes encode_bmp32(const Image &img) {
    const uint32_t file_header = 14, info_header = 108;
    const uint32_t data_size = uint32_t(img.w) * uint32_t(img.h) * 4;
    Bytes b;
    b.reserve(file_header + info_header + data_size);
    b.push_back('B');
    b.push_back('M');
    put_u32(b, file_header + info_header + data_size);
    put_u32(b, 0); // reserved
    put_u32(b, file_header + info_header);

    put_u32(b, info_header);
    put_u32(b, uint32_t(img.w));
    put_u32(b, uint32_t(img.h)); // positive: bottom-up
    put_u16(b, 1);               // planes
    put_u16(b, 32);              // bits per pixel
    put_u32(b, 3);               // BI_BITFIELDS
    put_u32(b, data_size);
    put_u32(b, 2835); // 72 dpi, in pixels per metre
    put_u32(b, 2835);
    put_u32(b, 0); // colours used
    put_u32(b, 0); // important colours
    put_u32(b, 0x00FF0000);
    put_u32(b, 0x0000FF00);
    put_u32(b, 0x000000FF);
    put_u32(b, 0xFF000000);
    put_tag(b, "BGRs"); // LCS_sRGB, stored little-endian as the tag 'sRGB'
    for (int i = 0; i < 9 + 3; i++) put_u32(b, 0); // endpoints and gamma: unused with sRGB

    for (int y = img.h - 1; y >= 0; y--)
        for (int x = 0; x < img.w; x++) put_u32(b, img.at(x, y));
    return b;
}

} // namespace assets
