#include "jpegwriter.h"

#include "filecommit.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's standard handler calls exit(), which in a GUI kills the window and the
// user's lists; jump back to the compressor's caller instead.
void returnToCaller(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A growing malloc'd buffer that the caller owns and frees whatever happened, so a
// longjmp out of libjpeg leaves nothing behind.
struct MemoryDestination
{
    jpeg_destination_mgr pub;
    unsigned char *data;
    std::size_t capacity;
    std::size_t size;
};

bool growBuffer(MemoryDestination *dest, std::size_t capacity)
{
    auto *grown = static_cast<unsigned char *>(std::realloc(dest->data, capacity));
    if (!grown)
        return false;
    dest->data = grown;
    dest->pub.next_output_byte = grown + dest->capacity;
    dest->pub.free_in_buffer = capacity - dest->capacity;
    dest->capacity = capacity;
    return true;
}

void initDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    if (!growBuffer(dest, 256 * 1024))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

boolean emptyOutputBuffer(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    if (!growBuffer(dest, dest->capacity * 2))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    auto *dest = reinterpret_cast<MemoryDestination *>(cinfo->dest);
    dest->size = dest->capacity - dest->pub.free_in_buffer;
}

// Only trivially destructible objects live in this frame: a longjmp out of libjpeg
// lands here and must not skip any destructor.
bool compressToMemory(int quality, unsigned int width, unsigned int height,
                      const unsigned char *rgb, MemoryDestination &dest, ErrorManager &jerr)
{
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);

    // 1. Error manager and compressor.
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = returnToCaller;
    jerr.message[0] = '\0';
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);

    // 2.-3. Destination: memory. The file is written whole afterwards, so that a full
    // disk or a vanished directory never leaves a half file (see commitFile).
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyOutputBuffer;
    dest.pub.term_destination = termDestination;
    cinfo.dest = &dest.pub;

    // 4. Image description and parameters.
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);

    // 5. Full-resolution chroma (4:4:4).
    cinfo.comp_info[0].h_samp_factor = 1;
    cinfo.comp_info[0].v_samp_factor = 1;

    // 6. Compress one row at a time.
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + std::size_t(cinfo.next_scanline) * width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }

    // 7. Finish and destroy.
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool encodeJpeg(int quality, unsigned int width, unsigned int height, const unsigned char *rgb,
                QByteArray *jpeg, QString *errorText)
{
    ErrorManager jerr;
    MemoryDestination dest;
    std::memset(&dest, 0, sizeof dest);
    const bool done = compressToMemory(quality, width, height, rgb, dest, jerr);
    if (done)
        *jpeg = QByteArray(reinterpret_cast<const char *>(dest.data), int(dest.size));
    std::free(dest.data);
    if (!done && errorText) {
        *errorText = jerr.message[0] ? QString::fromLocal8Bit(jerr.message)
                                     : QStringLiteral("unknown error");
    }
    return done;
}

bool writeJpegFile(const char *path, int quality, unsigned int width, unsigned int height,
                   const unsigned char *rgb, QString *errorText)
{
    QByteArray jpeg;
    return encodeJpeg(quality, width, height, rgb, &jpeg, errorText)
            && commitFile(QString::fromUtf8(path), jpeg, errorText);
}
