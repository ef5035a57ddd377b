// PNG files: a decoded image has the header's size, within the decoder's
// bound, and encodes again.
#include "FuzzTarget.h"

#include <graphics/CGImage.h>
#include <graphics/ImageIO.h>

QV_FUZZ_TARGET(png)
{
    std::vector<uint8_t> bytes(data, data + size);
    auto source = CGImageSourceCreateWithData(bytes);
    if (!source)
        return;
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    if (!image)
        return;
    size_t width = CGImageGetWidth(image);
    size_t height = CGImageGetHeight(image);
    fuzzRequire(width > 0 && height > 0 && width <= 8192 && height <= 8192, "decoded sizes stay within the bound");
    fuzzRequire(!CGImageCreatePNGData(image).empty(), "a decoded image encodes again");
}
