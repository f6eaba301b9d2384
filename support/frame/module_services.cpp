#include "support/frame/module_services.h"

namespace qg {

ModuleServices& Services() {
  static ModuleServices services;
  return services;
}

}  // namespace qg
