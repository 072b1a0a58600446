// JPEG decoding through libjpeg's own API. libjpeg reports errors through a
// callback that must not return; it jumps back to the setjmp in Decode, which
// holds no objects with destructors, and the caller then frees the decoder.

#include "formats/jpegdecode.h"

#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>

#include <csetjmp>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace vexillo {

namespace {

// Memory libjpeg may take for itself: enough for a progressive CMYK picture
// of the largest accepted size, whose coefficients are kept whole.
constexpr long kMaxDecoderMemory = 192L << 20;

struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it leads back here
    std::jmp_buf jump;
    // Why decoding ended: libjpeg's message, or a limit of ours.
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Stop(j_common_ptr cinfo, const char *why)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "%s", why);
    std::longjmp(err->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    Stop(cinfo, text);
}

// Level -1 is a warning about corrupt or missing data (libjpeg would go on
// with grey blocks); it ends decoding like an error. Trace levels are ignored.
void OnMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        OnError(cinfo);
}

// Nothing is printed.
void OnOutput(j_common_ptr)
{
}

// Called while libjpeg reads the scans of a multi-scan stream.
void OnProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        Stop(cinfo, "more scans than the limit of the program");
}

struct Decoded {
    std::vector<JSAMPLE> row;
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
};

uint32_t Argb(unsigned r, unsigned g, unsigned b)
{
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// x * y / 255, rounded.
unsigned Scale(unsigned x, unsigned y)
{
    return (x * y + 127) / 255;
}

// Appends one decoded row. CMYK samples from a stream with an Adobe marker
// are stored inverted (0 = full ink), the convention of Adobe's programs.
void AppendRow(const JSAMPLE *row, int width, int components, bool inverted, std::vector<uint32_t> &pixels)
{
    for (int x = 0; x < width; ++x) {
        const JSAMPLE *p = row + static_cast<size_t>(x) * static_cast<size_t>(components);
        if (components == 3) {
            pixels.push_back(Argb(p[0], p[1], p[2]));
        } else {
            unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            pixels.push_back(Argb(Scale(c, k), Scale(m, k), Scale(y, k)));
        }
    }
}

// Runs libjpeg from the header to the end of the stream. Every local is
// trivially destructible, so a jump back to the setjmp skips no destructor;
// `out` lives in the caller. Allocation failures in `out` leave as
// std::bad_alloc.
bool Decode(jpeg_decompress_struct &cinfo, ErrorManager &err, jpeg_progress_mgr &progress, ByteView bytes, Decoded &out)
{
    if (setjmp(err.jump))
        return false;

    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    progress.progress_monitor = OnProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        Stop(reinterpret_cast<j_common_ptr>(&cinfo), "no picture in the stream");
    constexpr auto kMax = static_cast<JDIMENSION>(kMaxJpegDimension);
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMax || cinfo.image_height > kMax)
        Stop(reinterpret_cast<j_common_ptr>(&cinfo), "a picture size outside 1 to 4096 pixels");

    // Grayscale, YCbCr and RGB come out as RGB; CMYK and YCCK as CMYK,
    // converted here. Anything else makes libjpeg fail.
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const int components = cmyk ? 4 : 3;
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height ||
        cinfo.output_components != components)
        Stop(reinterpret_cast<j_common_ptr>(&cinfo), "an unexpected output layout");

    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.row.resize(static_cast<size_t>(out.width) * static_cast<size_t>(components));
    // The pixels grow row by row, so a header that claims a large picture
    // over a few bytes of data costs no more than the rows those bytes give.
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.row.data();
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            Stop(reinterpret_cast<j_common_ptr>(&cinfo), "the rows end early");
        AppendRow(out.row.data(), out.width, components, cmyk && cinfo.saw_Adobe_marker, out.pixels);
    }
    // Reads on to the end marker, so a stream cut after its last row fails.
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

bool DecodeJpeg(ByteView bytes, PixelImage &out, TReadError *error)
{
    if (bytes.empty() || bytes.size() > std::numeric_limits<unsigned long>::max())
        return Fail(error, BadImage("JPEG: no bytes"));

    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.pub.output_message = OnOutput;

    Decoded decoded;
    bool ok = false;
    try {
        ok = Decode(cinfo, err, progress, bytes, decoded);
    } catch (const std::bad_alloc &) {
        ok = false;
        std::snprintf(err.message, sizeof err.message, "out of memory");
    }
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        return Fail(error, BadImage(std::string("JPEG: ") + err.message));

    out.Width = decoded.width;
    out.Height = decoded.height;
    out.BitsPerPixel = 24;
    out.Pixels = std::move(decoded.pixels);
    return true;
}

} // namespace vexillo
