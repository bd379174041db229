#include "widgets/glfont.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kFirstChar = 32;
const int kGlyphCount = 96;   // codes 32 to 127
const int kPixelHeight = 24;  // character (em) height in pixels
const int kMaxDrawn = 255;
const char kFacePattern[] = "sans-serif:bold";

// The file and face index that fontconfig picks for the pattern; false when it has none.
bool FindFace(std::string& file, int& index) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return false;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFacePattern));
    bool found = false;
    if (pattern) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcChar8* path = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            file = reinterpret_cast<const char*>(path);
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
            found = true;
        }
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return found;
}

// Whether pixel x of a glyph row is set, for 1-bit and 8-bit grey renderings alike.
bool PixelSet(const FT_Bitmap& bm, const unsigned char* row, int x) {
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    return row[x] >= 128;
}

// Repacks a FreeType rendering (rows top-down, any pitch) into the bottom-up, byte-aligned,
// most-significant-bit-first rows that glBitmap reads.
void PackBitmap(const FT_Bitmap& bm, std::vector<GLubyte>& out) {
    const int w = (int)bm.width, h = (int)bm.rows, stride = (w + 7) / 8;
    const int pitch = bm.pitch < 0 ? -bm.pitch : bm.pitch;
    out.assign((size_t)stride * h, 0);
    for (int r = 0; r < h; ++r) {
        // A negative pitch stores the bottom row first.
        const unsigned char* row = bm.buffer + (size_t)pitch * (bm.pitch < 0 ? h - 1 - r : r);
        GLubyte* dst = &out[(size_t)stride * (h - 1 - r)];
        for (int x = 0; x < w; ++x) {
            if (PixelSet(bm, row, x)) dst[x >> 3] |= (GLubyte)(0x80 >> (x & 7));
        }
    }
}

// Compiles one list per character: the glyph placed by its bearings relative to the pen on
// the baseline, then the pen moved on by the advance. A glyph that fails to load stays an
// empty list.
void CompileGlyphs(FT_Face face, unsigned int first) {
    std::vector<GLubyte> bits;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (int i = 0; i < kGlyphCount; ++i) {
        glNewList(first + i, GL_COMPILE);
        if (FT_Load_Char(face, kFirstChar + i, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
            const FT_GlyphSlot g = face->glyph;
            PackBitmap(g->bitmap, bits);
            // Some drivers refuse a null image even for an empty bitmap such as the space.
            if (bits.empty()) bits.push_back(0);
            const int rows = (int)g->bitmap.rows;
            glBitmap((GLsizei)g->bitmap.width, rows, (GLfloat)-g->bitmap_left,
                     (GLfloat)(rows - g->bitmap_top), g->advance.x / 64.0f, g->advance.y / 64.0f,
                     bits.data());
        }
        glEndList();
    }
    glPopClientAttrib();
}

// Loads the face and fills new glyph lists, whose first name goes to `base`; on failure
// returns false with a reason.
bool LoadGlyphs(unsigned int& base, const char*& reason) {
    std::string file;
    int index = 0;
    if (!FindFace(file, index)) {
        reason = "fontconfig found no matching face";
        return false;
    }
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) {
        reason = "FreeType did not start";
        return false;
    }
    FT_Face face;
    bool ok = false;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) {
        reason = "the face file could not be loaded";
    } else {
        if (FT_Set_Pixel_Sizes(face, 0, kPixelHeight) != 0) {
            reason = "the face cannot be sized";
        } else if ((base = glGenLists(kGlyphCount)) == 0) {
            reason = "no display lists are available";
        } else {
            CompileGlyphs(face, base);
            ok = true;
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return ok;
}

// Keeps only characters that have a glyph list, in place; returns the new length.
int KeepPrintable(char* text, int length) {
    int kept = 0;
    for (int i = 0; i < length; ++i) {
        const unsigned char c = (unsigned char)text[i];
        if (c >= kFirstChar && c < kFirstChar + kGlyphCount) text[kept++] = (char)c;
    }
    return kept;
}

}  // namespace

void BitmapFont::Build() {
    if (state != State::notBuilt) return;
    printf("Generating font...\n");
    const char* reason = "";
    if (LoadGlyphs(base, reason)) {
        state = State::built;
        return;
    }
    base = 0;
    state = State::failed;
    fprintf(stderr, "WARNING: no \"%s\" font: %s; text will not be shown.\n", kFacePattern, reason);
}

void BitmapFont::Print(const char* fmt, ...) {
    if (base == 0) Build();
    if (fmt == nullptr || base == 0) return;
    char text[kMaxDrawn + 1];
    va_list args;
    va_start(args, fmt);
    const int formatted = vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    if (formatted <= 0) return;
    const int length = KeepPrintable(text, std::min(formatted, kMaxDrawn));
    glPushAttrib(GL_LIST_BIT);
    glListBase(base - kFirstChar);
    glCallLists(length, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}
