// What the first bytes of an image tell before it is downloaded: its size in
// pixels, the size of its file and a thumbnail. The request goes through the
// shared internet session with the address, agent and accept text of the
// image's download, so it counts against the same per-server limit.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <atomic>
#include <cstdint>
#include <string>

struct TImageProbe {
  // The size in pixels; invalid when the bytes did not tell it.
  QSize Size;
  // The size of the whole file in bytes; -1 when the server did not tell it.
  std::int64_t FileBytes = -1;
  // Of what decoded, at most the side asked for; null when nothing did.
  QImage Thumbnail;
  // Why the size is unknown; empty when it is known.
  std::string Reason;
};

// The first bytes asked for: "Range: bytes=0-65535".
constexpr std::int64_t kProbeBytes = 65536;
// A server that ignores the range sends the whole file. A small one, of at
// most this many bytes (four ranges' worth), is read whole, so its
// thumbnail shows all of it; of a larger one only the first kProbeBytes.
constexpr std::int64_t kSmallImageBytes = 256 * 1024;
// How long a probe waits without a byte: a probe is small, and the image
// stays in the list when it gives up.
constexpr long kProbeIdleMs = 15000;

// Probes the image at address (as the lists show it). Blocks the calling
// thread; ends early, with the reason "stopped", once *stop is set.
// thumbnailSide: the largest side of the thumbnail; 0 for none.
TImageProbe ProbeImage(const std::string& address, int thumbnailSide,
                       const std::atomic<bool>* stop = nullptr);

// What bytes (the first of a file, or all of it) tell of an image.
TImageProbe ReadImageBytes(const QByteArray& bytes, int thumbnailSide);
