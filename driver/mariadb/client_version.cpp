#include "driver/mariadb/client_version.h"

#include <climits>

int gnClientVersionMajor = -1;
int gnClientVersionMinor = 0;
int gnClientVersionPatch = 0;
CTString gstrClientVersion;
bool gbClientHasInfoV = false;
bool gbClientHasNextResult = false;

namespace qg {

void ParseClientVersion(const char* text, int* major, int* minor, int* patch) {
  int parts[3] = {0, 0, 0};
  int index = 0;
  for (const char* p = text; p != nullptr && *p != '\0' && index < 3; ++p) {
    if (*p >= '0' && *p <= '9') {
      int digit = *p - '0';
      int& n = parts[index];
      n = n > (INT_MAX - digit) / 10 ? INT_MAX : n * 10 + digit;
    } else {
      ++index;
    }
  }
  *major = parts[0];
  *minor = parts[1];
  *patch = parts[2];
}

void ClearClientVersion() {
  gnClientVersionMajor = -1;
  gnClientVersionMinor = 0;
  gnClientVersionPatch = 0;
  gstrClientVersion.RAZ();
  gbClientHasInfoV = false;
  gbClientHasNextResult = false;
}

}  // namespace qg
