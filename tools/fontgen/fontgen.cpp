// vorna-fontgen: turns the glyph art of assets/fonts/font8x8.txt into the two
// byte tables the renderer embeds (8x8 and 8x16, code page 437 order, one byte
// per row, bit 7 leftmost).
//
//   vorna-fontgen ART OUT8x8 OUT8x16        write both tables
//   vorna-fontgen --check ART IN8x8 IN8x16  fail unless the committed tables
//                                           are exactly what ART yields
//   vorna-fontgen --show ART [FIRST [LAST]] print glyphs as art, both heights
//
// Build-time tool only. Deterministic: the output depends on the art alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/file_bytes.h"

namespace {

constexpr int kGlyphs = 256;

enum class Kind { None, Art, Box, Shade, Fill, Accent };

// One "@CODE" entry of the art file as written, before expansion.
struct GlyphSource {
    Kind kind = Kind::None;
    int line = 0;         // where the entry starts, for messages
    uint8_t rows[8] = {};  // Art
    int args[4] = {};      // Box: up down left right; Shade: n; Fill: l t r b; Accent: base
    std::string mark;      // Accent
};

struct Font {
    GlyphSource glyph[kGlyphs];
};

bool fail(const char* path, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: %s\n", path, line, what.c_str());
    return false;
}

bool parseRow(const std::string& text, uint8_t* out) {
    if (text.size() != 8) return false;
    uint8_t v = 0;
    for (int i = 0; i < 8; ++i) {
        if (text[i] == '#')
            v |= static_cast<uint8_t>(0x80 >> i);
        else if (text[i] != '.')
            return false;
    }
    *out = v;
    return true;
}

bool parseRule(const char* path, int line, const std::string& text, GlyphSource& g) {
    char word[32] = {}, extra[32] = {};
    int a[4] = {};
    if (std::sscanf(text.c_str(), "= box %d %d %d %d %31s", &a[0], &a[1], &a[2], &a[3], extra) == 4) {
        for (int v : a)
            if (v < 0 || v > 2) return fail(path, line, "box arms are 0, 1 or 2");
        g.kind = Kind::Box;
    } else if (std::sscanf(text.c_str(), "= shade %d %31s", &a[0], extra) == 1) {
        if (a[0] < 1 || a[0] > 3) return fail(path, line, "shade is 1, 2 or 3");
        g.kind = Kind::Shade;
    } else if (std::sscanf(text.c_str(), "= fill %d %d %d %d %31s", &a[0], &a[1], &a[2], &a[3], extra) == 4) {
        if (a[0] < 0 || a[1] < 0 || a[2] > 8 || a[3] > 8 || a[0] >= a[2] || a[1] >= a[3])
            return fail(path, line, "fill edges must satisfy 0 <= left < right <= 8, 0 <= top < bottom <= 8");
        g.kind = Kind::Fill;
    } else if (std::sscanf(text.c_str(), "= accent %d %31s %31s", &a[0], word, extra) == 2) {
        if (a[0] < 0 || a[0] >= kGlyphs) return fail(path, line, "accent base is a character code");
        g.kind = Kind::Accent;
        g.mark = word;
    } else {
        return fail(path, line, "unknown rule: " + text);
    }
    std::memcpy(g.args, a, sizeof a);
    return true;
}

bool readArt(const char* path, Font& font) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return fail(path, 0, "cannot open");
    std::vector<std::string> lines;
    std::string cur;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else if (c != '\r') {
            cur += static_cast<char>(c);
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    std::fclose(f);

    size_t i = 0;
    while (i < lines.size()) {
        const std::string& text = lines[i];
        int line = static_cast<int>(i) + 1;
        ++i;
        if (text.empty() || text[0] == '#') continue;
        if (text[0] != '@') return fail(path, line, "expected \"@CODE\"");
        char* end = nullptr;
        long code = std::strtol(text.c_str() + 1, &end, 10);
        if (end == text.c_str() + 1 || code < 0 || code >= kGlyphs || (*end != '\0' && *end != ' '))
            return fail(path, line, "bad character code");
        GlyphSource& g = font.glyph[code];
        if (g.kind != Kind::None) return fail(path, line, "glyph " + std::to_string(code) + " given twice");
        g.line = line;
        if (i < lines.size() && !lines[i].empty() && lines[i][0] == '=') {
            if (!parseRule(path, line + 1, lines[i], g)) return false;
            ++i;
            continue;
        }
        for (int r = 0; r < 8; ++r, ++i) {
            if (i >= lines.size() || !parseRow(lines[i], &g.rows[r]))
                return fail(path, static_cast<int>(i) + 1, "expected a row of eight '#' or '.'");
        }
        g.kind = Kind::Art;
    }
    for (int c = 0; c < kGlyphs; ++c)
        if (font.glyph[c].kind == Kind::None) return fail(path, 0, "glyph " + std::to_string(c) + " is missing");
    return true;
}

// Accent marks replace the top two rows of a lower-case base.
bool markRows(const std::string& mark, uint8_t out[2]) {
    static const struct { const char* name; const char* rows[2]; } marks[] = {
        {"acute", {"....##..", "...##..."}},      {"grave", {".##.....", "..##...."}},
        {"circumflex", {"..###...", ".##.##.."}}, {"diaeresis", {".##.##..", "........"}},
        {"ring", {"..###...", "..#.#..."}},       {"tilde", {"..##..#.", ".#..##.."}},
    };
    for (const auto& m : marks) {
        if (mark == m.name) return parseRow(m.rows[0], &out[0]) && parseRow(m.rows[1], &out[1]);
    }
    return false;
}

// Box drawing at any even height: single lines run along column 3 and row
// h/2 - 1; double lines one cell either side of them.
void drawBox(const int arms[4], int height, uint8_t* rows) {
    const int up = arms[0], down = arms[1], left = arms[2], right = arms[3];
    const int c = 3, m = height / 2 - 1;
    auto set = [&](int x, int y) { rows[y] |= static_cast<uint8_t>(0x80 >> x); };
    auto hline = [&](int y, int x0, int x1) { for (int x = x0; x <= x1; ++x) set(x, y); };
    auto vline = [&](int x, int y0, int y1) { for (int y = y0; y <= y1; ++y) set(x, y); };
    const bool anyDouble = up == 2 || down == 2 || left == 2 || right == 2;
    const bool anySingle = up == 1 || down == 1 || left == 1 || right == 1;

    if (!anyDouble) {
        if (up) vline(c, 0, m);
        if (down) vline(c, m, height - 1);
        if (left) hline(m, 0, c);
        if (right) hline(m, c, 7);
        return;
    }
    if (!anySingle) {
        // Double lines are the outline of the union of three-wide strokes;
        // beyond the cell counts as inside so the strokes stay open there.
        auto inside = [&](int x, int y) {
            if (x < 0 || x > 7 || y < 0 || y >= height) return true;
            bool midCols = x >= c - 1 && x <= c + 1, midRows = y >= m - 1 && y <= m + 1;
            if (midCols && midRows) return true;
            if (midCols && up && y < m) return true;
            if (midCols && down && y > m) return true;
            if (midRows && left && x < c) return true;
            if (midRows && right && x > c) return true;
            return false;
        };
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 8; ++x) {
                if (!inside(x, y)) continue;
                bool edge = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) edge = edge || !inside(x + dx, y + dy);
                if (edge) set(x, y);
            }
        return;
    }
    // Mixed: one axis double, the other single. A single arm stops at the
    // nearer double line when the double lines run through, else reaches the far one.
    if (left == 2 || right == 2) {
        for (int y : {m - 1, m + 1}) hline(y, left == 2 ? 0 : c, right == 2 ? 7 : c);
        const bool through = left == 2 && right == 2;
        if (up) vline(c, 0, through ? m - 1 : (down ? m : m + 1));
        if (down) vline(c, through ? m + 1 : (up ? m : m - 1), height - 1);
    } else {
        for (int x : {c - 1, c + 1}) vline(x, up == 2 ? 0 : m, down == 2 ? height - 1 : m);
        const bool through = up == 2 && down == 2;
        if (left) hline(m, 0, through ? c - 1 : (right ? c : c + 1));
        if (right) hline(m, through ? c + 1 : (left ? c : c - 1), 7);
    }
}

bool mixedBoxIsDrawable(const int arms[4]) {
    bool hDouble = arms[2] == 2 || arms[3] == 2, vDouble = arms[0] == 2 || arms[1] == 2;
    bool hSingle = arms[2] == 1 || arms[3] == 1, vSingle = arms[0] == 1 || arms[1] == 1;
    if (!(hDouble || vDouble) || !(hSingle || vSingle)) return true;
    return (hDouble && !hSingle && !vDouble) || (vDouble && !vSingle && !hDouble);
}

// Expands glyph `code` at `height` (8 or 16) into `rows`.
bool expand(const char* path, const Font& font, int code, int height, uint8_t* rows) {
    const GlyphSource& g = font.glyph[code];
    std::memset(rows, 0, static_cast<size_t>(height));
    uint8_t art[8];
    switch (g.kind) {
        case Kind::Box:
            if (!mixedBoxIsDrawable(g.args)) return fail(path, g.line, "double and single arms share an axis");
            drawBox(g.args, height, rows);
            return true;
        case Kind::Shade: {
            static const uint8_t even[4] = {0, 0x88, 0xAA, 0x77}, odd[4] = {0, 0x22, 0x55, 0xDD};
            for (int y = 0; y < height; ++y) rows[y] = (y & 1) ? odd[g.args[0]] : even[g.args[0]];
            return true;
        }
        case Kind::Fill: {
            uint8_t bits = 0;
            for (int x = g.args[0]; x < g.args[2]; ++x) bits |= static_cast<uint8_t>(0x80 >> x);
            for (int y = g.args[1] * height / 8; y < g.args[3] * height / 8; ++y) rows[y] = bits;
            return true;
        }
        case Kind::Accent: {
            const GlyphSource& base = font.glyph[g.args[0]];
            if (base.kind != Kind::Art) return fail(path, g.line, "accent base must be drawn as art");
            std::memcpy(art, base.rows, 8);
            if (!markRows(g.mark, art)) return fail(path, g.line, "unknown accent mark " + g.mark);
            break;
        }
        case Kind::Art:
            std::memcpy(art, g.rows, 8);
            break;
        case Kind::None:
            return fail(path, 0, "glyph missing");
    }
    const int repeat = height / 8;
    for (int y = 0; y < height; ++y) rows[y] = art[y / repeat];
    return true;
}

// House style of letters and digits: seven columns wide, bottom row for
// descenders only.
bool checkStyle(const char* path, const Font& font, const std::vector<uint8_t>& table8) {
    bool ok = true;
    for (int c = 0; c < 128; ++c) {
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum) continue;
        const uint8_t* rows = &table8[static_cast<size_t>(c) * 8];
        for (int r = 0; r < 8; ++r)
            if (rows[r] & 1) ok = fail(path, font.glyph[c].line, std::string("'") + char(c) + "' uses the eighth column");
        bool descender = std::strchr("gjpqyQ", c) != nullptr;
        if (!descender && rows[7]) ok = fail(path, font.glyph[c].line, std::string("'") + char(c) + "' uses the bottom row");
    }
    return ok;
}

bool build(const char* path, std::vector<uint8_t>& t8, std::vector<uint8_t>& t16) {
    static Font font;  // large; one per run
    font = Font{};
    if (!readArt(path, font)) return false;
    t8.assign(kGlyphs * 8, 0);
    t16.assign(kGlyphs * 16, 0);
    for (int c = 0; c < kGlyphs; ++c) {
        if (!expand(path, font, c, 8, &t8[static_cast<size_t>(c) * 8])) return false;
        if (!expand(path, font, c, 16, &t16[static_cast<size_t>(c) * 16])) return false;
    }
    return checkStyle(path, font, t8);
}

bool writeFile(const char* path, const std::vector<uint8_t>& data) {
    return writeFileBytes(path, data.data(), data.size()) || fail(path, 0, "cannot write");
}

bool sameAsFile(const char* path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return fail(path, 0, "cannot open");
    std::vector<uint8_t> have(data.size() + 1);
    size_t n = std::fread(have.data(), 1, have.size(), f);
    std::fclose(f);
    if (n != data.size() || std::memcmp(have.data(), data.data(), n) != 0)
        return fail(path, 0, "differs from the glyph art; regenerate it with vorna-fontgen");
    return true;
}

void show(const std::vector<uint8_t>& t8, const std::vector<uint8_t>& t16, int first, int last) {
    for (int c = first; c <= last; ++c) {
        std::printf("@%d\n", c);
        for (int y = 0; y < 16; ++y) {
            char a[9] = {}, b[9] = {};
            for (int x = 0; x < 8; ++x) {
                a[x] = (y < 8 && (t8[static_cast<size_t>(c) * 8 + y] & (0x80 >> x))) ? '#' : '.';
                b[x] = (t16[static_cast<size_t>(c) * 16 + y] & (0x80 >> x)) ? '#' : '.';
            }
            std::printf("%s  %s\n", y < 8 ? a : "        ", b);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint8_t> t8, t16;
    if (argc == 5 && std::strcmp(argv[1], "--check") == 0) {
        if (!build(argv[2], t8, t16)) return 1;
        bool ok = sameAsFile(argv[3], t8);
        ok = sameAsFile(argv[4], t16) && ok;
        return ok ? 0 : 1;
    }
    if (argc >= 3 && argc <= 5 && std::strcmp(argv[1], "--show") == 0) {
        if (!build(argv[2], t8, t16)) return 1;
        int first = argc > 3 ? std::atoi(argv[3]) : 0;
        int last = argc > 4 ? std::atoi(argv[4]) : (argc > 3 ? first : kGlyphs - 1);
        if (first < 0) first = 0;
        if (last > kGlyphs - 1) last = kGlyphs - 1;
        show(t8, t16, first, last);
        return 0;
    }
    if (argc == 4 && argv[1][0] != '-') {
        if (!build(argv[1], t8, t16)) return 1;
        return writeFile(argv[2], t8) && writeFile(argv[3], t16) ? 0 : 1;
    }
    std::fprintf(stderr,
                 "usage: vorna-fontgen ART OUT8x8 OUT8x16\n"
                 "       vorna-fontgen --check ART IN8x8 IN8x16\n"
                 "       vorna-fontgen --show ART [FIRST [LAST]]\n");
    return 2;
}
