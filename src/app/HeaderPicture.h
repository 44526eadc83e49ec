// Decoding of the header pictures, JPEG files stored with the window.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes JPEG bytes with libjpeg into an RGB image; a null image when the
// bytes are not a JPEG picture libjpeg can read.
QImage DecodeJpeg(const QByteArray& bytes);

// Reads and decodes the picture at path (a file or a resource path).
QImage LoadHeaderPicture(const QString& path);
