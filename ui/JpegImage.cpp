#include "ui/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace ui {
namespace {

// Pictures larger than this are refused before any memory is taken for them.
constexpr JDIMENSION MaxSide = 16384;

// libjpeg reports a fatal error through error_exit, which must not return. It jumps back to
// the setjmp of the one step that called into libjpeg; each step below holds no C++ object
// with a destructor, so the jump never skips one.
struct ErrorTrap {
    jpeg_error_mgr manager; // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
    char firstWarning[JMSG_LENGTH_MAX];
};

ErrorTrap *TrapOf(j_common_ptr info) {
    return reinterpret_cast<ErrorTrap *>(info->err);
}

void ErrorExit(j_common_ptr info) {
    ErrorTrap *trap = TrapOf(info);
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

// Level -1 is a warning about damaged data (libjpeg then goes on with made-up pixels); higher
// levels are trace messages.
void EmitMessage(j_common_ptr info, int level) {
    if (level >= 0)
        return;
    ErrorTrap *trap = TrapOf(info);
    if (trap->warnings++ == 0)
        (*info->err->format_message)(info, trap->firstWarning);
}

bool Create(jpeg_decompress_struct *info, ErrorTrap *trap) {
    if (setjmp(trap->jump))
        return false;
    jpeg_create_decompress(info);
    return true;
}

bool ReadHeader(jpeg_decompress_struct *info, ErrorTrap *trap) {
    if (setjmp(trap->jump))
        return false;
    return jpeg_read_header(info, TRUE) == JPEG_HEADER_OK;
}

bool Start(jpeg_decompress_struct *info, ErrorTrap *trap) {
    if (setjmp(trap->jump))
        return false;
    info->out_color_space = JCS_RGB;
    return jpeg_start_decompress(info) == TRUE;
}

bool ReadRow(jpeg_decompress_struct *info, ErrorTrap *trap, JSAMPROW row) {
    if (setjmp(trap->jump))
        return false;
    return jpeg_read_scanlines(info, &row, 1) == 1;
}

bool Finish(jpeg_decompress_struct *info, ErrorTrap *trap) {
    if (setjmp(trap->jump))
        return false;
    return jpeg_finish_decompress(info) == TRUE;
}

class DecompressGuard {
public:
    explicit DecompressGuard(jpeg_decompress_struct *info) : info_(info) {}
    ~DecompressGuard() { jpeg_destroy_decompress(info_); }
    DecompressGuard(const DecompressGuard &) = delete;
    DecompressGuard &operator=(const DecompressGuard &) = delete;

private:
    jpeg_decompress_struct *info_;
};

[[noreturn]] void Fail(const std::string &why) {
    throw EJpegError("JPEG picture: " + why);
}

} // namespace

QImage DecodeJpeg(const unsigned char *data, std::size_t size) {
    if (data == nullptr || size == 0)
        Fail("no data");

    ErrorTrap trap{};
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = ErrorExit;
    trap.manager.emit_message = EmitMessage;
    if (!Create(&info, &trap))
        Fail(trap.message);
    const DecompressGuard guard(&info);

    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (!ReadHeader(&info, &trap))
        Fail(trap.message[0] ? trap.message : "no picture in the data");
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > MaxSide ||
        info.image_height > MaxSide)
        Fail("unsupported size " + std::to_string(info.image_width) + " x " +
             std::to_string(info.image_height));
    if (!Start(&info, &trap))
        Fail(trap.message);
    if (info.output_components != 3)
        Fail("unexpected colour layout");

    QImage image(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image.isNull())
        Fail("out of memory");
    for (int y = 0; y < image.height(); ++y) {
        if (!ReadRow(&info, &trap, image.scanLine(y)))
            Fail(trap.message[0] ? trap.message : "picture data ends early");
    }
    if (!Finish(&info, &trap))
        Fail(trap.message);
    if (trap.warnings > 0)
        Fail(trap.firstWarning);
    return image;
}

} // namespace ui
