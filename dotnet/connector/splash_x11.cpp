#include "dotnet/connector/splash_image.h"

namespace qgnet {

std::unique_ptr<ISplashWindow> FenetreSplash() { return nullptr; }

}  // namespace qgnet
