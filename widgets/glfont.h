// Bitmap text over the OpenGL view: 96 glyph display lists for the character codes 32 to
// 127 in a bold sans-serif face with a character height of 24 pixels.
#pragma once

// Builds the glyph lists (needs a current OpenGL context). It runs at most once per run
// unless KillFont releases the lists; when no face can be loaded it warns once on stderr
// and text stays invisible.
void BuildFont();
// Releases the glyph lists; the next glPrint builds them again.
void KillFont();
// Formats like printf and draws the text from the current raster position, in the colour
// that was current when the raster position was set (so set the colour first). At most
// 255 characters are drawn; characters outside 32 to 127 have no glyph and are skipped.
void glPrint(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Name of the first glyph list (character 32); 0 while the font is not built.
unsigned int FontBase();
