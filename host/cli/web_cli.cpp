#include "host/cli/web_cli.h"

#include <png.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "browser/web_api.h"
#include "errors/module_errors.h"
#include "host/core/host_runtime.h"
#include "support/frame/execution_protocol.h"
#include "support/platform/module.h"

namespace qghost {

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// `n` units of `text`, NULs included.
std::string Utf8(const char16_t* text, size_t n) {
  std::string out;
  for (size_t i = 0; text != nullptr && i < n; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

std::string Utf8(const char16_t* text) {
  size_t n = 0;
  while (text != nullptr && text[n] != 0) ++n;
  return Utf8(text, n);
}

// The whole text of a text value: a page's texts may hold NULs.
std::string TextOf(const CAny& value) {
  const char16_t* text = nullptr;
  if (value.nGetPCXSTR(&text) != qg::kAnyOk || text == nullptr) return "";
  int length = 0;
  if (value.pclHolder()->vnGetLongueur(&length) != qg::kAnyOk || length < 0) return Utf8(text);
  return Utf8(text, static_cast<size_t>(length));
}

std::u16string Utf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = s[i];
    char32_t c = b;
    int n = 1;
    if (b >= 0xF0 && i + 3 < s.size() + 0) {
      c = ((b & 7) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      n = 4;
    } else if (b >= 0xE0 && i + 2 < s.size()) {
      c = ((b & 0xF) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if (b >= 0xC0 && i + 1 < s.size()) {
      c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
      n = 2;
    }
    i += n;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += {static_cast<char16_t>(0xD800 + (c >> 10)), static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

// qg300vm and qg300web loaded, bound and opened; closed and unloaded at the end.
class WebModule {
 public:
  bool Load(const std::string& lib_dir, std::ostream& err) {
    host_ = qg::LoadModule((lib_dir + "/qg300vm.so").c_str());
    module_ = qg::LoadModule((lib_dir + "/qg300web.so").c_str());
    if (host_ == nullptr || module_ == nullptr) {
      err << "cannot load qg300vm.so or qg300web.so from " << lib_dir << '\n';
      return false;
    }
    auto runtime_of =
        reinterpret_cast<HostRuntime* (*)()>(qg::FindSymbol(host_, "qghost_Runtime"));
    auto init = reinterpret_cast<int32_t (*)()>(qg::FindSymbol(module_, "bInitLibrary"));
    auto conv = reinterpret_cast<int32_t (*)(void*, int32_t, int32_t)>(
        qg::FindSymbol(module_, "bInitZQConvFromVM"));
    auto commande = reinterpret_cast<intptr_t (*)(int32_t, intptr_t)>(
        qg::FindSymbol(module_, "CommandeComposante"));
    execution_ = reinterpret_cast<intptr_t (*)(int32_t, intptr_t)>(
        qg::FindSymbol(module_, "Execution"));
    auto query = reinterpret_cast<void* (*)(int32_t)>(qg::FindSymbol(module_, "pQueryProxy"));
    if (runtime_of == nullptr || init == nullptr || conv == nullptr || commande == nullptr ||
        execution_ == nullptr || query == nullptr) {
      err << "qg300web.so lacks an export\n";
      return false;
    }
    runtime_ = runtime_of();
    init();
    conv(host_, 2, 2);
    commande(qg::kCmdSetMessageCallback, reinterpret_cast<intptr_t>(runtime_->MessageCallback()));
    qg::ExecutionOpenRecord record{12, reinterpret_cast<intptr_t>(host_), 0, 0,
                                   runtime_->RuntimeObject()};
    opened_ = execution_(qg::kExecOpen, reinterpret_cast<intptr_t>(&record)) == 1;
    manager_ = static_cast<IKQMCef*>(query(1));
    if (manager_ == nullptr) {
      err << "pQueryProxy(1) gave no manager\n";
      return false;
    }
    return true;
  }

  ~WebModule() {
    if (opened_) execution_(qg::kExecClose, 0);
    if (module_ != nullptr) qg::FreeModule(module_);
    if (host_ != nullptr) qg::FreeModule(host_);
  }

  IKQMCef* Manager() { return manager_; }
  void* Instance() { return module_; }

 private:
  qg::ModuleHandle host_ = nullptr;
  qg::ModuleHandle module_ = nullptr;
  HostRuntime* runtime_ = nullptr;
  intptr_t (*execution_)(int32_t, intptr_t) = nullptr;
  bool opened_ = false;
  IKQMCef* manager_ = nullptr;
};

// The host callback of the command: prints events, keeps the last paint.
class PrintingCallback final : public CCallbackFromKQMBrowserBase {
 public:
  explicit PrintingCallback(std::ostream& out) : out_(out) {}
  int32_t AddRef() override { return 1; }
  int32_t Release() override { return 1; }

  void OnBrowserCreated() override { Print("event: created"); }
  void OnAddressChange(const char16_t* url) override {
    Print("event: address " + Utf8(url).substr(0, 80));
  }
  void OnLoadEnd(const char16_t* url, bool, int32_t status) override {
    Print("event: load end " + std::to_string(status) + " " + Utf8(url).substr(0, 80));
    std::lock_guard<std::mutex> lock(mu_);
    ++loads_;
    cv_.notify_all();
  }
  void OnLoadError(const char16_t* url, bool, int32_t code, const char16_t* text) override {
    Print("event: load error " + std::to_string(code) + " " + Utf8(text) + " " + Utf8(url));
  }
  bool bOnConsoleMessage(int32_t level, const char16_t* m, const char16_t*, int32_t line) override {
    Print("console[" + std::to_string(level) + "] line " + std::to_string(line) + ": " + Utf8(m));
    return false;
  }
  void OnJavascriptError(CXError* e) override {
    Print("script error: " + Utf8(e->pszGetUserMessage()));
  }
  void CallProcedure(const char16_t* name, int32_t count, CAny* const* values) override {
    std::string line = "procedure call: " + Utf8(name) + "(";
    for (int32_t i = 0; i < count; ++i) {
      if (i > 0) line += ", ";
      if (values[i]->nGetCode() == 16) {
        line += "\"" + TextOf(*values[i]) + "\"";
      } else if (values[i]->nGetCode() == 8) {
        line += std::to_string(*static_cast<const int32_t*>(values[i]->pValeur()));
      } else if (values[i]->nGetCode() == 12) {
        std::ostringstream s;
        s << *static_cast<const double*>(values[i]->pValeur());
        line += s.str();
      } else if (values[i]->nGetCode() == 1) {
        line += *static_cast<const int32_t*>(values[i]->pValeur()) ? "true" : "false";
      } else {
        line += "null";
      }
    }
    Print(line + ")");
  }
  void OnPaintBuffer(const void* bgra, int32_t bytes, int32_t w, int32_t h) override {
    std::lock_guard<std::mutex> lock(mu_);
    paint_.assign(static_cast<const uint8_t*>(bgra), static_cast<const uint8_t*>(bgra) + bytes);
    w_ = w;
    h_ = h;
    cv_.notify_all();
  }

  bool WaitLoads(int n, int ms) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return loads_ >= n; });
  }
  void ForgetPaint() {
    std::lock_guard<std::mutex> lock(mu_);
    w_ = h_ = 0;
  }
  int Loads() {
    std::lock_guard<std::mutex> lock(mu_);
    return loads_;
  }
  // Waits for a paint of w x h; false after ms.
  bool WaitPaint(int32_t w, int32_t h, int ms, std::vector<uint8_t>* bgra) {
    std::unique_lock<std::mutex> lock(mu_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return w_ == w && h_ == h; })) {
      return false;
    }
    *bgra = paint_;
    return true;
  }

 private:
  void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(print_mu_);
    out_ << line << std::endl;
  }
  std::ostream& out_;
  std::mutex print_mu_;
  std::mutex mu_;
  std::condition_variable cv_;
  int loads_ = 0;
  std::vector<uint8_t> paint_;
  int32_t w_ = 0, h_ = 0;
};

struct PdfWait : ICkExportPdf {
  void OnPdfFinished(bool ok) override {
    std::lock_guard<std::mutex> lock(mu);
    result = ok ? 1 : 0;
    cv.notify_all();
  }
  int Wait(int ms) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return result >= 0; });
    return result;
  }
  std::mutex mu;
  std::condition_variable cv;
  int result = -1;
};

bool WritePng(const std::string& path, const std::vector<uint8_t>& bgra, int32_t w, int32_t h) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&image, path.c_str(), 0, bgra.data(), 0, nullptr) != 0;
}

void PrintInitFailure(const CXError& error, std::ostream& err) {
  err << "Initialize failed: " << Utf8(error.pszGetUserMessage());
  const char16_t* system = error.nGetSystemError() != 0 ? error.pszGetSystemMessage() : nullptr;
  if (system != nullptr && *system != 0) err << " (" << Utf8(system) << ")";
  err << '\n';
}

// The whole of `text` read as a decimal number: no sign, space or other
// text around it.
template <typename T>
bool WholeNumber(const std::string& text, T* out) {
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  T value{};
  const char* end = text.data() + text.size();
  const std::from_chars_result r = std::from_chars(text.data(), end, value);
  if (r.ec != std::errc() || r.ptr != end) return false;
  *out = value;
  return true;
}

int Start(WebModule& web, std::ostream& out, std::ostream& err) {
  _CXErrorModule80 error;
  const auto t0 = Clock::now();
  if (!web.Manager()->InitializeDefault(web.Instance(), &error)) {
    PrintInitFailure(error, err);
    return 1;
  }
  const auto t1 = Clock::now();
  web.Manager()->Shutdown();
  const auto t2 = Clock::now();
  out << "interface version " << web.Manager()->GetInterfaceVersion() << '\n'
      << "started in " << Ms(t1 - t0) << " ms\n"
      << "stopped in " << Ms(t2 - t1) << " ms\n";
  return 0;
}

struct RenderOptions {
  std::string url = "about:blank";
  std::string html_file, js, png, pdf;
  int32_t width = 800, height = 600;
  double zoom = 100;
};

// Pixels of a view side at the zoom: the paint is in device pixels.
int32_t PaintSize(int32_t side, double zoom) {
  const double pixels = side * (zoom / 100.0) + 0.5;
  return pixels >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(pixels);
}

int Render(WebModule& web, const RenderOptions& o, std::ostream& out, std::ostream& err) {
  _CXErrorModule80 error;
  if (!web.Manager()->InitializeDefault(web.Instance(), &error)) {
    PrintInitFailure(error, err);
    return 1;
  }
  int status = 0;
  // Outlives the browser: a late answer of the export (a page that never
  // loads) comes at the latest while the browser closes.
  PdfWait pdf_done;
  PrintingCallback cb(out);
  const std::u16string url = Utf16(o.url);
  stCreationBrowser record{};
  record.nVersion = 6;
  record.bWindowless = 1;
  record.nBackground = -1;
  record.pszURL = url.c_str();
  record.piCallback = &cb;
  IKQMBrowserCef* b = web.Manager()->CreateBrowser(&record);
  if (b == nullptr) {
    err << "no browser\n";
    web.Manager()->Shutdown();
    return 1;
  }
  b->SetViewSize(o.width, o.height);
  if (o.zoom != 100) b->SetZoom(o.zoom);
  if (!cb.WaitLoads(1, 30000)) {
    err << "the first page did not load\n";
    status = 1;
  }
  if (!o.html_file.empty()) {
    std::ifstream in(o.html_file, std::ios::binary);
    if (!in) {
      err << "cannot read " << o.html_file << '\n';
      status = 1;
    } else {
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const int before = cb.Loads();
      b->LoadHtml(Utf16(bytes).c_str());
      if (!cb.WaitLoads(before + 1, 30000)) {
        err << "the HTML did not load\n";
        status = 1;
      }
    }
  }
  if (!o.js.empty()) {
    CAny value;
    _CXErrorModule80 js_error;
    if (b->vbExecuteJavascript_RetVal(Utf16(o.js).c_str(), nullptr, &value, &js_error)) {
      out << "script result: " << TextOf(value) << std::endl;
    } else {
      out << "script failed: " << Utf8(js_error.pszGetUserMessage()) << std::endl;
      status = 1;
    }
  }
  if (!o.png.empty()) {
    const int32_t w = PaintSize(o.width, o.zoom), h = PaintSize(o.height, o.zoom);
    std::vector<uint8_t> bgra;
    cb.ForgetPaint();  // a paint of the page as it is now
    b->Invalidate();
    if (!cb.WaitPaint(w, h, 15000, &bgra)) {
      err << "no paint of " << w << "x" << h << '\n';
      status = 1;
    } else if (!WritePng(o.png, bgra, w, h)) {
      err << "cannot write " << o.png << '\n';
      status = 1;
    } else {
      out << "png: " << w << "x" << h << " " << o.png << std::endl;
    }
  }
  if (!o.pdf.empty()) {
    b->vExportToPDF(Utf16(o.pdf).c_str(), &pdf_done, 100);
    if (pdf_done.Wait(30000) == 1) {
      out << "pdf: " << o.pdf << std::endl;
    } else {
      err << "the PDF export failed\n";
      status = 1;
    }
  }
  b->SetCallback(nullptr);
  b->Release();
  web.Manager()->Shutdown();
  return status;
}

}  // namespace

int RunWeb(const std::string& lib_dir, const std::vector<std::string>& args, std::ostream& out,
           std::ostream& err) {
  const std::string verb = args.empty() ? "" : args[0];
  RenderOptions o;
  bool ok = verb == "start" || verb == "open" || verb == "render";
  for (size_t i = 1; ok && i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--html") {
      ok = next(&o.html_file);
    } else if (a == "--js") {
      ok = next(&o.js);
    } else if (a == "--png") {
      ok = next(&o.png);
    } else if (a == "--pdf" && verb == "render") {
      ok = next(&o.pdf);
    } else if (a == "--size" && verb == "render") {
      size_t x = std::string::npos;
      ok = next(&v) && (x = v.find('x')) != std::string::npos &&
           WholeNumber(v.substr(0, x), &o.width) && WholeNumber(v.substr(x + 1), &o.height) &&
           o.width > 0 && o.height > 0;
    } else if (a == "--zoom" && verb == "render") {
      // A percentage from 1 to 10000.
      ok = next(&v) && WholeNumber(v, &o.zoom) && std::isfinite(o.zoom) && o.zoom >= 1 &&
           o.zoom <= 10000;
    } else if (!a.empty() && a[0] != '-') {
      o.url = a;
    } else {
      ok = false;
    }
  }
  // A paint with no pixel cannot be written.
  if (ok && !o.png.empty() && (PaintSize(o.width, o.zoom) < 1 || PaintSize(o.height, o.zoom) < 1)) {
    ok = false;
  }
  if (!ok) {
    err << "usage: qghost web start\n"
           "       qghost web open [URL] [--html FILE] [--js EXPR] [--png OUT]\n"
           "       qghost web render [URL] [--html FILE] [--js EXPR] [--png OUT] [--pdf OUT]\n"
           "                         [--size WxH] [--zoom P]\n";
    return 2;
  }
  // Outputs are checked before the browser starts: a folder that is missing
  // or not writable is named at once.
  for (const std::string* file : {&o.png, &o.pdf}) {
    if (file->empty()) continue;
    const size_t slash = file->find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file->substr(0, slash);
    struct stat st;
    const int e = stat(folder.c_str(), &st) != 0 ? errno
                  : !S_ISDIR(st.st_mode)          ? ENOTDIR
                  : access(folder.c_str(), W_OK) != 0 ? errno
                                                      : 0;
    if (e != 0) {
      err << "cannot write " << *file << ": " << strerror(e) << '\n';
      return 1;
    }
  }
  WebModule web;
  if (!web.Load(lib_dir, err)) return 1;
  if (verb == "start") return Start(web, out, err);
  return Render(web, o, out, err);
}

}  // namespace qghost
