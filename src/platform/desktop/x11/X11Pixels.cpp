#include "X11Pixels.h"

#include <foundation/VectorClones.h>

#include <algorithm>
#include <cstring>

namespace X11Pixels {

QV_VECTOR_CLONES bool rowIsOpaque(const uint8_t* rgba, int width)
{
    uint8_t all = 0xff;
    for (int x = 0; x < width; ++x)
        all &= rgba[size_t(x) * 4 + 3];
    return all == 0xff;
}

QV_VECTOR_CLONES void opaqueToServer(const uint8_t* __restrict rgba, uint8_t* __restrict out, int width)
{
    for (int x = 0; x < width; ++x) {
        out[size_t(x) * 4] = rgba[size_t(x) * 4 + 2];
        out[size_t(x) * 4 + 1] = rgba[size_t(x) * 4 + 1];
        out[size_t(x) * 4 + 2] = rgba[size_t(x) * 4];
        out[size_t(x) * 4 + 3] = 0xff;
    }
}

void blendToServer(const uint8_t* rgba, uint8_t* row, int width, const uint8_t* under, int offset, int underWidth,
    uint8_t emptyGrey, const uint8_t* backdrop)
{
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = rgba + size_t(x) * 4;
        uint8_t* out = row + size_t(x) * 4;
        unsigned a = p[3];
        int bx = x + offset;
        if (a == 255) {
            out[0] = p[2], out[1] = p[1], out[2] = p[0];
        } else if (const uint8_t* b = under && bx >= 0 && bx < underWidth ? under + size_t(bx) * 4 : backdrop) {
            unsigned rest = 255 - a;
            out[0] = uint8_t(std::min(255u, p[2] + (b[2] * rest + 127) / 255));
            out[1] = uint8_t(std::min(255u, p[1] + (b[1] * rest + 127) / 255));
            out[2] = uint8_t(std::min(255u, p[0] + (b[0] * rest + 127) / 255));
        } else if (a > 0) {
            out[0] = uint8_t(std::min(255u, p[2] * 255u / a));
            out[1] = uint8_t(std::min(255u, p[1] * 255u / a));
            out[2] = uint8_t(std::min(255u, p[0] * 255u / a));
        } else {
            out[0] = out[1] = out[2] = emptyGrey;
        }
        out[3] = 0xff;
    }
}

QV_VECTOR_CLONES void serverToRGBA(const uint8_t* __restrict server, uint8_t* __restrict rgba, size_t count, bool withAlpha)
{
    uint8_t opaque = withAlpha ? 0 : 0xff;
    for (size_t i = 0; i < count; ++i) {
        rgba[i * 4] = server[i * 4 + 2];
        rgba[i * 4 + 1] = server[i * 4 + 1];
        rgba[i * 4 + 2] = server[i * 4];
        rgba[i * 4 + 3] = server[i * 4 + 3] | opaque;
    }
}

}
