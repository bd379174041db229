// Drawing and text helpers shared by the widgets. Coordinates are widget pixels.
#pragma once

#include <cstddef>

class BitmapFont;

// A quad over the rectangle in the current colour.
void FillRect(int x0, int y0, int x1, int y1);
// The rectangle's closed outline in the current colour.
void OutlineRect(int x0, int y0, int x1, int y1);
// A raised grey face: lighter top and right edges, darker left and bottom edges.
void DrawBevel(int x0, int y0, int x1, int y1);
// Draws a label in white with its raster position at (x, y); nothing without a font.
void DrawLabel(BitmapFont* font, int x, int y, const char* text);
// Baseline of a label centred on a box of height h whose bottom edge is at y.
int LabelBaseline(int y, int h);
// Copies text (null reads as empty) into dst of the given size, cut to fit.
void CopyText(char* dst, size_t size, const char* text);
