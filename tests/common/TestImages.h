// Pictures made by QImage for the tests that serve images, and their bytes
// in a given format.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>
#include <string>

namespace testimages {

// A picture of one colour; with noise, of random pixels, which compress
// badly, so that its file is large.
inline QImage Picture(int width, int height, bool noise = false) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  if (noise)
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.setPixel(x, y, QRandomGenerator::global()->generate() | 0xFF000000u);
  return image;
}

// The picture's file in format ("PNG", "JPEG", "WEBP"); empty when Qt cannot
// write it.
inline std::string Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) return {};
  return bytes.toStdString();
}

}  // namespace testimages
