// SPDX-License-Identifier: Zlib
// The peer program of the frame benchmark: the peer scene (bench_common.h)
// written with SFML 2.5, the way a program of that library would draw it: a
// 640 x 640 render texture, one sprite re-pointed and re-tinted per glyph, a
// rectangle shape, the texture letterboxed into the window, the 16 ms due-time
// schedule by sleeping (no frame limiter, no vertical sync).
//
//   bench_peer FRAMES PACED FONT_SHEET     one measured run, one result line
#include "bench_common.h"

#include <SFML/Graphics.hpp>
#include <SFML/OpenGL.hpp>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    int frames = atoi(argv[1]);
    bool paced = atoi(argv[2]) != 0;
    if (frames < 2) return 2;

    sf::RenderWindow window(sf::VideoMode(640, 640), "bramble", sf::Style::Default);
    window.setVerticalSyncEnabled(false);
    sf::RenderTexture picture;
    sf::Texture font;
    if (!picture.create(640, 640) || !font.loadFromFile(argv[3])) return 2;

    sf::Sprite glyph(font);
    glyph.setScale(PEER_SCALE, PEER_SCALE);
    sf::RectangleShape rect{sf::Vector2f{float(PEER_RECT[2]), float(PEER_RECT[3])}};
    rect.setPosition(float(PEER_RECT[0]), float(PEER_RECT[1]));
    rect.setFillColor(sf::Color(PEER_RECT_COLOR[0], PEER_RECT_COLOR[1], PEER_RECT_COLOR[2]));
    sf::Sprite shown(picture.getTexture());

    window.setActive(true);
    std::string renderer = std::string("SFML_2.5_OpenGL_on_") +
                           reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    std::vector<char> name(renderer.begin(), renderer.end());
    name.push_back('\0');
    no_blanks(name.data());

    FrameRecorder rec(frames);
    sf::Clock clock;
    sf::Int32 next = clock.getElapsedTime().asMilliseconds();
    for (;;) {
        sf::Event ev;
        while (window.pollEvent(ev))
            if (ev.type == sf::Event::Closed) return 3;
        picture.clear(sf::Color(PEER_BG[0], PEER_BG[1], PEER_BG[2]));
        for (int i = 0; i < PEER_GLYPHS; i++) {
            PeerGlyph g = peer_glyph(i);
            glyph.setTextureRect(sf::IntRect(g.ix, g.iy, 16, 32));
            glyph.setPosition(float(g.x), float(g.y));
            glyph.setColor(sf::Color(g.tint[0], g.tint[1], g.tint[2]));
            picture.draw(glyph);
        }
        picture.draw(rect);
        picture.display();

        // Letterbox: the largest centred square that fits, black around it.
        sf::Vector2u ws = window.getSize();
        float w = float(ws.x ? ws.x : 1), h = float(ws.y ? ws.y : 1);
        window.setView(sf::View(sf::FloatRect(0, 0, w, h)));
        float s = std::min(w / 640.0f, h / 640.0f);
        shown.setScale(s, s);
        shown.setPosition(float(int((w - s * 640) / 2)), float(int((h - s * 640) / 2)));
        window.clear(sf::Color::Black);
        window.draw(shown);

        if (paced) {
            next += 16;
            sf::Int32 now = clock.getElapsedTime().asMilliseconds();
            if (next - now > 0)
                sf::sleep(sf::milliseconds(next - now));
            else
                next = now;
        }
        window.display();
        if (rec.presented()) break;
    }
    rec.print(name.data(), paced ? 16 : 0);
    return 0;
}
