#include "surface/colormap.h"

void BuildColorMap(unsigned char* map) {
    for (int i = 0; i < 1024; ++i) {
        // Extended precision, truncated toward zero: b runs 0..254, c runs 255..0.
        long double t = i * (1.0L / 1024);
        unsigned char b = (unsigned char)(t * 255);
        unsigned char c = (unsigned char)((1 - t) * 255);
        const unsigned char ramps[4][4] = {
            {0, b, 255, 255}, {0, 255, c, 255}, {b, 255, 0, 255}, {255, c, 0, 255}};
        for (int r = 0; r < 4; ++r) {
            unsigned char* e = map + 4 * (1024 * r + i);
            for (int k = 0; k < 4; ++k) e[k] = ramps[r][k];
        }
    }
}
