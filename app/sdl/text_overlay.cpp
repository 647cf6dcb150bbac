#include "app/sdl/text_overlay.h"

#include <SDL_opengl.h>
#include <stb/stb_easy_font.h>

#include <algorithm>
#include <cstring>

namespace {

// The font's cells are 6 x 12 units; two pixels a unit reads well from
// 640 x 480 up, one where the client area is too small for that.
constexpr float kLargeScale = 2.0f;
constexpr int kMarginUnits = 4;
constexpr int kLineUnits = 12;
constexpr int kColumnGapUnits = 12;
// About 270 bytes a character: room for a screenful.
char vertices[1 << 19];

// One piece of a line (up to a tab or the line's end), as the font takes it.
struct Piece {
    char text[256];
    const char* next;  // after the piece and its tab, or at the line's end
    bool tabbed;
};

Piece pieceAt(const char* at) {
    Piece piece{};
    std::size_t length = std::strcspn(at, "\t\n");
    piece.next = at + length;
    piece.tabbed = *piece.next == '\t';
    if (piece.tabbed) {
        ++piece.next;
    }
    length = std::min(length, sizeof piece.text - 1);
    std::memcpy(piece.text, at, length);
    return piece;
}

// The widest piece before a tab: where the second column starts.
int columnUnits(const char* text) {
    int widest = 0;
    for (const char* at = text; *at != '\0';) {
        Piece piece = pieceAt(at);
        if (piece.tabbed) {
            widest = std::max(widest, stb_easy_font_width(piece.text));
        }
        at = piece.next + (*piece.next == '\n' ? 1 : 0);
    }
    return widest > 0 ? widest + kColumnGapUnits : 0;
}

// Fills `vertices` with the text's quads from (margin, margin); the count of
// quads, and the size the text covers in font units.
int layOut(const char* text, int& widthUnits, int& heightUnits) {
    const int column = columnUnits(text);
    int quads = 0;
    int y = kMarginUnits;
    widthUnits = 0;
    for (const char* at = text; *at != '\0';) {
        int x = kMarginUnits;
        for (;;) {
            Piece piece = pieceAt(at);
            const int used = quads * 64;
            quads += stb_easy_font_print(static_cast<float>(x), static_cast<float>(y), piece.text,
                                         nullptr, vertices + used,
                                         static_cast<int>(sizeof vertices) - used);
            widthUnits = std::max(widthUnits, x + stb_easy_font_width(piece.text));
            at = piece.next;
            if (!piece.tabbed) {
                break;
            }
            x = kMarginUnits + column;
        }
        y += kLineUnits;
        if (*at == '\n') {
            ++at;
        }
    }
    widthUnits += kMarginUnits;
    heightUnits = y + kMarginUnits - 2;
    return quads;
}

void loadPixelProjection(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void restoreProjection() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

}  // namespace

void drawTextBox(const char* text, TextPlace place, int width, int height) {
    if (width <= 0 || height <= 0) {
        return;
    }
    int textWidth = 0;
    int textHeight = 0;
    const int quads = layOut(text, textWidth, textHeight);
    // The box keeps 16 pixels clear of each edge where it can.
    const float fit = std::min(static_cast<float>(width - 32) / static_cast<float>(textWidth),
                               static_cast<float>(height - 32) / static_cast<float>(textHeight));
    const float scale = std::max(1.0f, std::min(kLargeScale, fit));
    const float boxWidth = static_cast<float>(textWidth) * scale;
    const float boxHeight = static_cast<float>(textHeight) * scale;
    float x = 8.0f;
    float y = 8.0f;
    if (place != TextPlace::TopLeft) {
        x = std::max(0.0f, (static_cast<float>(width) - boxWidth) / 2.0f);
        y = std::max(0.0f, place == TextPlace::Center
                               ? (static_cast<float>(height) - boxHeight) / 2.0f
                               : static_cast<float>(height) - boxHeight - 8.0f);
    }
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    loadPixelProjection(width, height);
    glTranslatef(x, y, 0.0f);
    glScalef(scale, scale, 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.8f);
    glRectf(0.0f, 0.0f, static_cast<float>(textWidth), static_cast<float>(textHeight));
    glColor4f(0.9f, 0.95f, 0.9f, 1.0f);
    // Each vertex: x, y, z as floats, then four colour bytes.
    glBegin(GL_QUADS);
    for (int i = 0; i < quads * 4; ++i) {
        float at[2];
        std::memcpy(at, vertices + i * 16, sizeof at);
        glVertex2f(at[0], at[1]);
    }
    glEnd();
    restoreProjection();
    glPopAttrib();
}
