#include "browser/script_context.h"

namespace qg::web {

CIKQMContexteJavacript::CIKQMContexteJavacript(std::shared_ptr<Engine> engine)
    : CIKQMBrowser(std::move(engine), /*javascript_disabled=*/false, /*windowless=*/true) {
  ignore_paints_ = true;
  SetFixedView(1024, 1024);
}

std::shared_ptr<CIKQMContexteJavacript> CIKQMContexteJavacript::Create(
    std::shared_ptr<Engine> engine) {
  auto c = std::make_shared<CIKQMContexteJavacript>(std::move(engine));
  c->self_ = c;
  c->host_count_ = 1;
  stCreationBrowser record{};
  record.nVersion = 6;
  record.bWindowless = 1;
  record.nBackground = -1;
  record.pszURL = u"about:blank";
  if (!c->Attach(record)) {
    c->closing_ = true;
    c->self_.reset();
    return nullptr;
  }
  return c;
}

}  // namespace qg::web
