// Files made by hand for tests and benchmarks that feed the readers what
// nothing of ours writes: PNG pictures row by row (without alpha,
// interlaced, larger than memory should hold at once) and keyed archives
// whose objects share their parts.
#pragma once

#include <foundation/NSPropertyListSerialization.h>

#include <cstdint>
#include <functional>
#include <png.h>
#include <vector>

// A PNG file of 8-bit RGB or RGBA rows, each filled by row(y, bytes) as it
// is written, so the whole picture is never held; Adam7-interlaced on ask.
inline std::vector<uint8_t> encodePNGRows(uint32_t width, uint32_t height, bool alpha, bool interlaced,
    const std::function<void(uint32_t, uint8_t*)>& row, int compressionLevel = 6)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep bytes, size_t length) {
            auto* target = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            target->insert(target->end(), bytes, bytes + length);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
        interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, compressionLevel);
    png_write_info(png, info);
    const size_t rowBytes = size_t(width) * (alpha ? 4 : 3);
    if (interlaced) {
        // Every pass reads the whole picture.
        std::vector<uint8_t> whole(rowBytes * height);
        std::vector<png_bytep> rows(height);
        for (uint32_t y = 0; y < height; ++y) {
            row(y, whole.data() + rowBytes * y);
            rows[y] = whole.data() + rowBytes * y;
        }
        png_write_image(png, rows.data());
    } else {
        std::vector<uint8_t> bytes(rowBytes);
        for (uint32_t y = 0; y < height; ++y) {
            row(y, bytes.data());
            png_write_row(png, bytes.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A binary keyed archive of `levels` arrays, each holding the next one
// twice, then a string: flat in the file, 2^levels copies when read.
inline Value::Bytes sharedArrayArchive(int levels)
{
    Value::Array objects { Value("$null") };
    for (int i = 1; i <= levels; ++i) {
        Value next(Value::Dictionary { { "CF$UID", Value(i + 1) } });
        objects.push_back(Value(Value::Dictionary { { "$class", Value(Value::Dictionary { { "CF$UID", Value(levels + 2) } }) },
            { "NS.objects", Value(Value::Array { next, next }) } }));
    }
    objects.push_back(Value("leaf"));
    objects.push_back(Value(Value::Dictionary { { "$classname", Value("NSArray") } }));
    Value archive(Value::Dictionary { { "$archiver", Value("NSKeyedArchiver") }, { "$version", Value(100000) },
        { "$top", Value(Value::Dictionary { { "root", Value(Value::Dictionary { { "CF$UID", Value(1) } }) } }) },
        { "$objects", Value(objects) } });
    return NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListBinaryFormat_v1_0)
        .value_or(Value::Bytes {});
}
