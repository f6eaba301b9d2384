// Start images of the splash: Windows bitmap files (BMP) read by the
// module, and the window the splash draws in on this display.
#ifndef QG_DOTNET_CONNECTOR_SPLASH_IMAGE_H_
#define QG_DOTNET_CONNECTOR_SPLASH_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "dotnet/connector/splash.h"

namespace qgnet {

// Decodes a bitmap: uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel
// (BI_RGB, and BI_BITFIELDS masks for 16 and 32), rows bottom-up or
// top-down, at most 16384 x 16384 pixels. Null for anything else or for
// bytes that are short or inconsistent: the bytes are untrusted.
std::unique_ptr<ISplashImage> LitBMP(const uint8_t* bytes, size_t size);
// The same from a file; null when it cannot be read.
std::unique_ptr<ISplashImage> LitFichierBMP(const std::string& path);

// The image of a splash description: a name ending in ".BMP" (any case) is
// written to a private temporary file (mode 0600, prefix ".BMP") that is
// read and deleted; other images are decoded from memory. Null when the
// bytes are no image this module reads.
std::unique_ptr<ISplashImage> ImageSplash(const std::u16string& name, const uint8_t* bytes,
                                          size_t size);

// A window on the X display of $DISPLAY; null without one (the splash then
// runs headless).
std::unique_ptr<ISplashWindow> FenetreSplash();

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_SPLASH_IMAGE_H_
