#include "jpegwriter.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int savedErrno;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's standard handler calls exit(), which in a GUI kills the window and the
// user's lists; jump back to the compressor's caller instead.
void returnToCaller(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    err->savedErrno = errno;
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Writes to path; target is the name the file will have, for messages. Only trivially
// destructible objects live in this frame: a longjmp out of libjpeg lands here and
// must not skip any destructor.
bool compressToFile(const char *path, const char *target, int quality, unsigned int width,
                    unsigned int height, const unsigned char *rgb, ErrorManager &jerr)
{
    jpeg_compress_struct cinfo;
    std::FILE *volatile file = nullptr;
    std::memset(&cinfo, 0, sizeof cinfo);

    // 1. Error manager and compressor.
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = returnToCaller;
    jerr.savedErrno = 0;
    jerr.message[0] = '\0';
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        if (file)
            std::fclose(file);
        return false;
    }
    jpeg_create_compress(&cinfo);

    // 2. Output file.
    errno = 0;
    file = std::fopen(path, "wb");
    if (!file) {
        jerr.savedErrno = errno;
        std::fprintf(stderr, "can't open %s\n", target);
        jpeg_destroy_compress(&cinfo);
        return false;
    }

    // 3. Destination.
    jpeg_stdio_dest(&cinfo, file);

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

    // 7. Finish, close, destroy. The stdio destination flushes in finish and reports
    // a short write there; fclose can still fail on a late write error.
    jpeg_finish_compress(&cinfo);
    std::FILE *done = file;
    file = nullptr;
    errno = 0;
    const bool closed = std::fclose(done) == 0;
    if (!closed)
        jerr.savedErrno = errno;
    jpeg_destroy_compress(&cinfo);
    return closed;
}

QString describeFailure(const ErrorManager &jerr)
{
    QString text = QString::fromLocal8Bit(jerr.message);
    if (jerr.savedErrno != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(jerr.savedErrno));
        text = text.isEmpty() ? reason : text + QStringLiteral(" (") + reason + QLatin1Char(')');
    }
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

} // namespace

bool writeJpegFile(const char *path, int quality, unsigned int width, unsigned int height,
                   const unsigned char *rgb, QString *errorText)
{
    // Compress into a sibling file and move it over the target only when complete, so
    // a failure (disk full, file-size limit) leaves neither a truncated file nor a
    // destroyed older one.
    const std::string partial = std::string(path) + ".part";
    ErrorManager jerr;
    if (!compressToFile(partial.c_str(), path, quality, width, height, rgb, jerr)) {
        std::remove(partial.c_str());
        if (errorText)
            *errorText = describeFailure(jerr);
        return false;
    }

    std::error_code ec;
    std::filesystem::rename(std::filesystem::u8path(partial), std::filesystem::u8path(path), ec);
    if (ec) {
        std::remove(partial.c_str());
        if (errorText)
            *errorText = QString::fromStdString(ec.message());
        return false;
    }
    return true;
}
