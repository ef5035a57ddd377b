#include "PNGDecoding.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <png.h>

namespace {

// Deflate never expands data more than about 1032 to 1, so a file whose
// header claims more pixels than its bytes could hold is lying.
constexpr uint64_t kMaxDeflateRatio = 1032;
// Interlaced rows arrive in passes over the whole picture, so such a
// picture is decoded whole before it is shrunk; only up to this size.
constexpr uint64_t kMaxInterlacedPixels = uint64_t(4096) * 4096;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void readBytes(png_structp png, png_bytep out, size_t length)
{
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->at)
        png_error(png, "truncated");
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
}

void ignoreWarning(png_structp, png_const_charp) { }
void stopOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Sums the blocks of one band of rows: per result pixel, the opacity and
// each channel weighted by it.
class BlockAverager {
public:
    explicit BlockAverager(DecodedPNG& out)
        : m_out(out)
    {
    }

    // Rows of RGB (an opaque picture) or RGBA bytes.
    void start(uint32_t width, uint32_t factor, bool opaque)
    {
        m_width = width;
        m_factor = factor;
        m_opaque = opaque;
        m_sums.assign(size_t(m_out.width) * 4, 0);
    }

    void addRow(const uint8_t* row)
    {
        if (m_factor == 1) {
            size_t at = m_out.rgba.size();
            m_out.rgba.resize(at + size_t(m_width) * 4);
            uint8_t* target = m_out.rgba.data() + at;
            if (!m_opaque) {
                std::memcpy(target, row, size_t(m_width) * 4);
                return;
            }
            for (uint32_t x = 0; x < m_width; ++x, row += 3, target += 4) {
                std::memcpy(target, row, 3);
                target[3] = 255;
            }
            return;
        }
        if (m_opaque)
            addRow<true>(row);
        else
            addRow<false>(row);
        if (++m_rows == m_factor)
            finishBand();
    }

    void finish()
    {
        if (m_rows)
            finishBand();
    }

private:
    // Sums of each channel weighted by opacity, and of opacity; a picture
    // without alpha is all 255, which the sums leave out.
    template <bool Opaque>
    void addRow(const uint8_t* row)
    {
        constexpr size_t kPixelBytes = Opaque ? 3 : 4;
        uint64_t* sum = m_sums.data();
        for (uint32_t x = 0, column = 0; x < m_width; ++x, row += kPixelBytes) {
            uint32_t a = Opaque ? 1 : row[3];
            sum[0] += uint64_t(row[0]) * a;
            sum[1] += uint64_t(row[1]) * a;
            sum[2] += uint64_t(row[2]) * a;
            sum[3] += a;
            if (++column == m_factor) {
                column = 0;
                sum += 4;
            }
        }
    }

    void finishBand()
    {
        size_t row = m_out.rgba.size();
        m_out.rgba.resize(row + size_t(m_out.width) * 4);
        uint8_t* target = m_out.rgba.data() + row;
        for (uint32_t x = 0; x < m_out.width; ++x) {
            uint64_t* sum = m_sums.data() + size_t(x) * 4;
            uint64_t columns = std::min<uint64_t>(m_factor, m_width - uint64_t(x) * m_factor);
            uint64_t pixels = columns * m_rows;
            uint64_t alpha = sum[3];
            for (int c = 0; c < 3; ++c)
                target[x * 4 + c] = alpha ? uint8_t((sum[c] + alpha / 2) / alpha) : 0;
            target[x * 4 + 3] = m_opaque ? 255 : uint8_t((alpha + pixels / 2) / pixels);
        }
        std::fill(m_sums.begin(), m_sums.end(), 0);
        m_rows = 0;
    }

    DecodedPNG& m_out;
    uint32_t m_width { 0 };
    uint32_t m_factor { 1 };
    bool m_opaque { false };
    std::vector<uint64_t> m_sums;
    uint32_t m_rows { 0 };
};

// The part of decoding that may jump back here on a libpng error: every
// object with a destructor lives in the caller, so the jump skips none.
bool decodeRows(png_structp png, png_infop info, uint32_t fitWidth, uint32_t fitHeight, size_t encodedBytes,
    DecodedPNG& out, BlockAverager& averager, std::vector<uint8_t>& row, std::vector<uint8_t>& whole)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!pngSizeIsPlausible(width, height, encodedBytes))
        return false;
    int colorType = png_get_color_type(png, info);
    out.hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    // The data's own checksums are skipped: a damaged picture decodes to
    // other pixels or fails, never past its bounds.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // Opaque pictures come as RGB rows, the rest as RGBA.
    const size_t pixelBytes = out.hasAlpha ? 4 : 3;
    if (png_get_rowbytes(png, info) != size_t(width) * pixelBytes)
        return false;
    uint32_t factor = 1;
    if (fitWidth && fitHeight)
        factor = std::max<uint32_t>(1, std::min(width / fitWidth, height / fitHeight));
    out.width = (width + factor - 1) / factor;
    out.height = (height + factor - 1) / factor;
    out.rgba.reserve(size_t(out.width) * out.height * 4);
    averager.start(width, factor, !out.hasAlpha);
    if (interlaced) {
        if (uint64_t(width) * height > kMaxInterlacedPixels)
            return false;
        whole.resize(size_t(width) * height * pixelBytes);
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(png, whole.data() + size_t(y) * width * pixelBytes, nullptr);
        for (png_uint_32 y = 0; y < height; ++y)
            averager.addRow(whole.data() + size_t(y) * width * pixelBytes);
    } else {
        row.resize(size_t(width) * pixelBytes);
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, row.data(), nullptr);
            averager.addRow(row.data());
        }
    }
    averager.finish();
    return true;
}

} // namespace

bool pngSizeIsPlausible(uint32_t width, uint32_t height, size_t encodedBytes)
{
    if (width == 0 || height == 0 || width > kMaxPNGSide || height > kMaxPNGSide)
        return false;
    if (uint64_t(width) * height > kMaxPNGPixels)
        return false;
    // Each row is at least one filter byte and one bit per pixel.
    uint64_t leastRawBytes = uint64_t(height) * (1 + (uint64_t(width) + 7) / 8);
    return leastRawBytes <= uint64_t(encodedBytes) * kMaxDeflateRatio;
}

std::optional<DecodedPNG> decodePNG(const uint8_t* data, size_t size, uint32_t fitWidth, uint32_t fitHeight)
{
    if (!data || size < 8 || png_sig_cmp(data, 0, 8))
        return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreWarning);
    if (!png)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return std::nullopt;
    }
    Reader reader { data, size, 0 };
    png_set_read_fn(png, &reader, readBytes);
    DecodedPNG out;
    BlockAverager averager(out);
    std::vector<uint8_t> row, whole;
    bool ok = decodeRows(png, info, fitWidth, fitHeight, size, out, averager, row, whole);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok || out.rgba.size() != size_t(out.width) * out.height * 4)
        return std::nullopt;
    return out;
}
