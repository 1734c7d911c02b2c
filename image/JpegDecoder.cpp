#include "image/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// libjpeg's default error handler exits the process; this one jumps back.
struct TErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
};

void ErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TErrorManager*>(info->err)->Jump, 1);
}

void SilentMessage(j_common_ptr) {}

// Kept apart from DecodeJpeg so that no object with a destructor lives in the
// frame that setjmp returns to.
bool DecodeInto(jpeg_decompress_struct& info, TErrorManager& errors, const void* data, size_t size,
                TDecodedPixels& pixels) {
  if (setjmp(errors.Jump)) return false;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  if (info.image_width < 1 || info.image_height < 1 || info.image_width > unsigned(MaxJpegSide) ||
      info.image_height > unsigned(MaxJpegSide))
    return false;
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  pixels.Width = static_cast<int>(info.output_width);
  pixels.Height = static_cast<int>(info.output_height);
  pixels.Rows.assign(size_t(pixels.Stride()) * size_t(pixels.Height), 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &pixels.Rows[size_t(info.output_scanline) * size_t(pixels.Stride())];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

bool DecodeJpeg(const void* data, size_t size, TDecodedPixels& pixels) {
  pixels = TDecodedPixels();
  if (!data || size == 0) return false;
  jpeg_decompress_struct info{};
  TErrorManager errors{};
  info.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = ErrorExit;
  errors.Base.output_message = SilentMessage;
  const bool decoded = DecodeInto(info, errors, data, size, pixels);
  jpeg_destroy_decompress(&info);
  if (!decoded) pixels = TDecodedPixels();
  return decoded;
}
