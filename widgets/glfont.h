// Bitmap text over the OpenGL view: 96 glyph display lists for the character codes 32 to
// 127 in a bold sans-serif face with a character height of 24 pixels.
#pragma once

class BitmapFont {
public:
    // Builds the glyph lists (needs a current OpenGL context), printing "Generating font..."
    // once. When no face can be loaded it warns once on stderr and text stays invisible.
    void Build();
    // Formats like printf and draws the text from the current raster position, in the colour
    // that was current when the raster position was set (so set the colour first); builds the
    // glyph lists first if need be. At most 255 characters are drawn; characters outside 32
    // to 127 have no glyph and are skipped.
    void Print(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Name of the first glyph list (character 32); 0 while the font is not built.
    unsigned int Base() const { return base; }

private:
    enum class State { notBuilt, built, failed };

    unsigned int base = 0;
    State state = State::notBuilt;
};
