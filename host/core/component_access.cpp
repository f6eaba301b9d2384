#include "host/core/component_access.h"

#include "host/core/host_files.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "errors/xerror.h"
#include "host/core/vm_externe_host.h"

namespace qghost {

namespace {

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Text(const char16_t* s) { return s != nullptr ? std::u16string(s) : u""; }

}  // namespace

// --- description objects: new per request, counted ---------------------------------------

class ItemDescriptionObject final : public qg::IItemDescription {
 public:
  explicit ItemDescriptionObject(ComponentAccess& owner) : owner_(owner) {
    ++owner_.live_descriptions_;
  }
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    int32_t left = --refs_;
    if (left == 0) {
      --owner_.live_descriptions_;
      delete this;
    }
    return left;
  }
  void Set(const char16_t* name, int32_t type, int32_t key) override {
    name_ = Text(name);
    type_ = type;
    key_ = key;
  }
  std::u16string name_;
  int32_t type_ = 0, key_ = 0;

 private:
  ComponentAccess& owner_;
  std::atomic<int32_t> refs_{1};
};

class SourceDescriptionObject final : public qg::ISourceDescription {
 public:
  explicit SourceDescriptionObject(ComponentAccess& owner) : owner_(owner) {
    ++owner_.live_descriptions_;
  }
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    int32_t left = --refs_;
    if (left == 0) {
      for (auto* item : items_) item->Release();
      --owner_.live_descriptions_;
      delete this;
    }
    return left;
  }
  void SetSource(const char16_t* name, const char16_t* path) override {
    name_ = Text(name);
    path_ = Text(path);
  }
  void AddItem(qg::IItemDescription* item) override {
    item->AddRef();
    items_.push_back(item);
  }
  std::u16string name_, path_;
  std::vector<qg::IItemDescription*> items_;
  size_t cursor_ = 0;
  bool open_ = false;

 private:
  ComponentAccess& owner_;
  std::atomic<int32_t> refs_{1};
};

class DataContext final : public Component<qg::IDataContext> {
 public:
  explicit DataContext(ComponentAccess& owner) : owner_(owner) {}
  int32_t nOpen(qg::ISourceDescription* source, int32_t mode, CXError*) override {
    auto* s = static_cast<SourceDescriptionObject*>(source);
    std::lock_guard<std::mutex> lock(owner_.mu_);
    owner_.engine_log_.push_back(u"open " + s->name_ + u" " + s->path_ + u" mode " +
                                 (mode == 0 ? u"0" : u"1"));
    if (owner_.next_open_code_ != 0) {
      int32_t code = owner_.next_open_code_;
      owner_.next_open_code_ = 0;
      return code;
    }
    if (owner_.legacy_.count(s->path_) == 0) return 70002;  // no such file
    s->open_ = true;
    return 0;
  }
  int32_t nRepair(qg::ISourceDescription*, CXError*) override {
    std::lock_guard<std::mutex> lock(owner_.mu_);
    owner_.engine_log_.push_back(u"repair");
    return 0;
  }
  int32_t bRead(qg::ISourceDescription* source, int32_t first, const char16_t*) override {
    auto* s = static_cast<SourceDescriptionObject*>(source);
    std::lock_guard<std::mutex> lock(owner_.mu_);
    if (!s->open_) return 0;
    s->cursor_ = first ? 0 : s->cursor_ + 1;
    return s->cursor_ < Sorted(s->path_).size();
  }
  int32_t bGetItem(qg::ISourceDescription* source, const char16_t* item, const void** bytes,
                   size_t* size) override {
    auto* s = static_cast<SourceDescriptionObject*>(source);
    std::lock_guard<std::mutex> lock(owner_.mu_);
    if (Text(item) != u"Données") return 0;
    const auto& records = Sorted(s->path_);
    if (s->cursor_ >= records.size()) return 0;
    *bytes = records[s->cursor_].bytes.data();
    *size = records[s->cursor_].bytes.size();
    return 1;
  }
  void Close(qg::ISourceDescription* source) override {
    static_cast<SourceDescriptionObject*>(source)->open_ = false;
  }

 private:
  // Records in key order (mu_ held).
  const std::vector<LegacyRecord>& Sorted(const std::u16string& path) {
    auto& records = owner_.legacy_[path];
    std::stable_sort(records.begin(), records.end(),
                     [](const LegacyRecord& a, const LegacyRecord& b) { return a.nKey < b.nKey; });
    return records;
  }
  ComponentAccess& owner_;
};

// --- components ---------------------------------------------------------------------------

void VMData::Request(qg::ListRequest* request, CXError* error) {
  last_ = *request;
  last_first_ = Text(request->pszFirstName);
  last_second_ = Text(request->pszSecondName);
  ++nRequests;
  std::vector<uint8_t> bytes;
  std::string why;
  const char16_t* name = request->pszFirstName != nullptr && *request->pszFirstName != 0
                             ? request->pszFirstName
                             : request->pszSecondName;
  if (!owner_.bBlock(Text(name), &bytes, &why) || request->piOutput == nullptr ||
      !request->piOutput->bAppend(bytes.data(), bytes.size())) {
    if (error != nullptr) {
      error->nSetNiveau(3);
      if (!why.empty()) error->AddUserMessageText(Utf16Of(why).c_str());
    }
  }
}

int32_t ObjGate::bAccepteModule(const char16_t* module, const char16_t* version) {
  asked_module_ = Text(module);
  asked_version_ = Text(version);
  return bAccept ? 1 : 0;
}

namespace {

class GreyImage final : public qg::IHostImage {
 public:
  GreyImage(ObjGate& gate, int32_t w, int32_t h) : gate_(gate), w_(w), h_(h) {}
  int32_t AddRef() override { return ++refs_; }
  int32_t Release() override {
    int32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  int32_t nLargeur() override { return w_; }
  int32_t nHauteur() override { return h_; }
  int32_t bRedimensionne(int32_t w, int32_t h) override {
    if (w <= 0 || h <= 0) return 0;
    w_ = w;
    h_ = h;
    return 1;
  }
  int32_t bSauve(int32_t format, qg::IListOutput* out) override {
    if (format != 3 || out == nullptr) return 0;
    gate_.saved_width_ = w_;
    gate_.saved_height_ = h_;
    // A 24-bit BMP whose rows are a grey ramp; rows padded to 4 bytes.
    const uint32_t row = (static_cast<uint32_t>(w_) * 3 + 3) & ~3u;
    const uint32_t pixels = row * static_cast<uint32_t>(h_);
    std::vector<uint8_t> b(54 + pixels, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w_));
    put32(22, static_cast<uint32_t>(h_));
    b[26] = 1;
    b[28] = 24;
    put32(34, pixels);
    for (uint32_t y = 0; y < static_cast<uint32_t>(h_); ++y) {
      for (uint32_t x = 0; x < static_cast<uint32_t>(w_) * 3; ++x) {
        b[54 + y * row + x] = static_cast<uint8_t>(x + y);
      }
    }
    return out->bAppend(b.data(), b.size()) ? 1 : 0;
  }

 private:
  ObjGate& gate_;
  int32_t w_, h_;
  std::atomic<int32_t> refs_{1};
};

}  // namespace

qg::IHostImage* ObjGate::piCaptureFenetre(const int32_t rect[4]) {
  const int32_t w = rect[2] - rect[0], h = rect[3] - rect[1];
  if (w <= 0 || h <= 0) return nullptr;
  return new GreyImage(*this, w, h);
}

ComponentAccess::ComponentAccess() : vmdata_(*this), context_(new DataContext(*this)) {
  gate_.vm_ = &main_vm_;
}

ComponentAccess::~ComponentAccess() { delete context_; }

qg::IHostComponent* ComponentAccess::piGetComponent(int32_t flags, const void* owner,
                                                    int32_t kind, int32_t version,
                                                    const char16_t* name, int32_t module,
                                                    CXError*) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back({flags, owner, kind, version, Text(name), module});
    if (absent_[kind]) return nullptr;
  }
  switch (kind) {
    case qg::kComponentMainVM:
      return &main_vm_;
    case qg::kComponentVMData:
      return &vmdata_;
    case qg::kComponentObjGate:
      return &gate_;
    case qg::kComponentMainPnt:
      return &main_pnt_;
    case qg::kComponentDataContext:
      return context_;
    case qg::kComponentSourceDescription:
      return new SourceDescriptionObject(*this);
    case qg::kComponentItemDescription:
      return new ItemDescriptionObject(*this);
    case qgnet::kComponentVMExterne:
      return VMExterneComponent();
    case qgnet::kComponentImage:
      return NewImageComponent();
    default: {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = extra_.find(kind);
      return it != extra_.end() ? it->second : nullptr;
    }
  }
}

void ComponentAccess::SetExtraComponent(int32_t kind, qg::IHostComponent* component) {
  std::lock_guard<std::mutex> lock(mu_);
  if (component == nullptr) {
    extra_.erase(kind);
  } else {
    extra_[kind] = component;
  }
}

void ComponentAccess::Continue(int32_t, CXError*) {
  std::lock_guard<std::mutex> lock(mu_);
  ++continues_;
}

void* ComponentAccess::hGetHostModule(int32_t number) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = modules_.find(number);
  return it != modules_.end() ? it->second : nullptr;
}

void ComponentAccess::Reset() {
  std::lock_guard<std::mutex> lock(mu_);
  requests_.clear();
  absent_.clear();
  continues_ = 0;
  blocks_.clear();
  folder_.clear();
  vmdata_fails_ = false;
  legacy_.clear();
  next_open_code_ = 0;
  engine_log_.clear();
  modules_.clear();
  gate_.bAccept = true;
  gate_.version_ = u"17.0.1.0";
  gate_.access_ = nullptr;
  main_vm_.Reset();
}

void ComponentAccess::SetAbsent(int32_t kind, bool absent) {
  std::lock_guard<std::mutex> lock(mu_);
  absent_[kind] = absent;
}

std::vector<ComponentRequest> ComponentAccess::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void ComponentAccess::SetBlock(const std::u16string& name, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  blocks_[name] = std::move(bytes);
}

bool ComponentAccess::bBlock(const std::u16string& name, std::vector<uint8_t>* bytes,
                             std::string* why) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (vmdata_fails_) return false;
  auto it = blocks_.find(name);
  if (it != blocks_.end()) {
    *bytes = it->second;
    return true;
  }
  if (folder_.empty() || name.empty() || name.find(u'/') != std::u16string::npos) {
    if (why != nullptr) {
      *why = folder_.empty() ? "no folder of lists is set"
                             : "\"" + Utf8(name) + "\" names no list of " + folder_;
    }
    return false;
  }
  // Lists are read only as far as their own sizes reach, at most 256 MiB.
  std::string reason;
  if (ReadListFile(folder_ + "/" + Utf8(name) + ".qgl", size_t{256} << 20, bytes, &reason)) {
    return true;
  }
  if (why != nullptr) *why = reason;
  return false;
}

void ComponentAccess::SetLegacyFile(const std::u16string& path, std::vector<LegacyRecord> records) {
  std::lock_guard<std::mutex> lock(mu_);
  legacy_[path] = std::move(records);
}

std::vector<std::u16string> ComponentAccess::EngineLog() const {
  std::lock_guard<std::mutex> lock(mu_);
  return engine_log_;
}

}  // namespace qghost
