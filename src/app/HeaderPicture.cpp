#include "HeaderPicture.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {

// libjpeg reports a fatal error through error_exit, which by default ends
// the process; this one jumps back to the decoder instead.
struct TJpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  std::longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}  // warnings are not shown

// Owns the decompressor; destroying it releases libjpeg's memory.
struct TDecompressor {
  jpeg_decompress_struct info{};
  ~TDecompressor() { jpeg_destroy_decompress(&info); }
};

}  // namespace

namespace {

// The libjpeg calls, behind the jump target. Only trivially destructible
// locals live in this frame, so a jump back here skips no destructor; the
// image belongs to the caller.
bool Decode(TDecompressor& d, TJpegError& error, const QByteArray& bytes, QImage* out) {
  if (setjmp(error.jump) != 0) return false;
  jpeg_create_decompress(&d.info);
  jpeg_mem_src(&d.info, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  d.info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.info);
  if (d.info.output_components != 3) return false;
  *out = QImage(static_cast<int>(d.info.output_width), static_cast<int>(d.info.output_height),
                QImage::Format_RGB888);
  if (out->isNull()) return false;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = out->scanLine(static_cast<int>(d.info.output_scanline));
    jpeg_read_scanlines(&d.info, &row, 1);
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes) {
  if (bytes.isEmpty()) return {};
  TJpegError error{};
  TDecompressor d;
  d.info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.output_message = OnJpegMessage;
  QImage image;
  if (!Decode(d, error, bytes, &image)) return {};
  return image;
}

QImage LoadHeaderPicture(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}
