#include "host/cli/maria_walk.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "driver/core/host_interfaces.h"
#include "host/cli/maria_module.h"
#include "host/core/driver_objects.h"
#include "support/any.h"

namespace qghost {
namespace {

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != 0 || value < low || value > high) return false;
  *out = value;
  return true;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

const char* WalkUsage() {
  return "usage: qghost maria walk (--socket PATH | --host H --port N) --user U [--password P]\n"
         "         --database DB --table T --key NAME [--backward] [--fetch N] [--seek VALUE]\n";
}

bool ParseWalkArguments(const std::vector<std::string>& args, WalkOptions* options,
                        std::string* error) {
  *options = WalkOptions();
  bool has_port = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--backward") {
      options->backward = true;
      continue;
    }
    std::string* text = nullptr;
    if (name == "--socket") text = &options->socket;
    else if (name == "--host") text = &options->host;
    else if (name == "--user") text = &options->user;
    else if (name == "--password") text = &options->password;
    else if (name == "--database") text = &options->database;
    else if (name == "--table") text = &options->table;
    else if (name == "--key") text = &options->key;
    else if (name == "--seek") text = &options->seek;
    else if (name != "--port" && name != "--fetch") {
      *error = "unknown option " + name;
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = name + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (text != nullptr) {
      *text = value;
      if (name == "--seek") options->has_seek = true;
    } else if (name == "--port") {
      int64_t port = 0;
      if (!ParseNumber(value, 1, 65535, &port)) {
        *error = "--port needs a number from 1 to 65535";
        return false;
      }
      options->port = static_cast<int>(port);
      has_port = true;
    } else {
      if (!ParseNumber(value, 1, INT32_MAX, &options->fetch)) {
        *error = "--fetch needs a positive number";
        return false;
      }
    }
  }
  bool by_socket = !options->socket.empty();
  bool by_host = !options->host.empty() || has_port;
  if (by_socket == by_host) {
    *error = "give the server as --socket PATH or as --host H --port N";
    return false;
  }
  if (by_host && (options->host.empty() || !has_port)) {
    *error = "--host and --port go together";
    return false;
  }
  for (auto [name, value] : {std::pair{"--user", &options->user},
                             std::pair{"--database", &options->database},
                             std::pair{"--table", &options->table},
                             std::pair{"--key", &options->key}}) {
    if (value->empty()) {
      *error = std::string(name) + " is required";
      return false;
    }
  }
  return true;
}

namespace {

void AppendWalkHex(const void* bytes, size_t size, std::string* out) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto* b = static_cast<const unsigned char*>(bytes);
  const size_t at = out->size();
  out->resize(at + size * 2);
  char* p = out->data() + at;
  for (size_t i = 0; i < size; ++i) {
    *p++ = kHex[b[i] >> 4];
    *p++ = kHex[b[i] & 15];
  }
}

void AppendWalkText(const char16_t* s, size_t size, std::string* out) {
  for (size_t i = 0; i < size; ++i) {
    char32_t c = s[i];
    if (c < 0x80) {
      // The common case: ASCII other than the escaped characters.
      switch (c) {
        case u'\t': out->append("\\t", 2); break;
        case u'\n': out->append("\\n", 2); break;
        case u'\\': out->append("\\\\", 2); break;
        case 0: out->append("\\0", 2); break;
        default: out->push_back(static_cast<char>(c));
      }
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(c, out);
  }
}

}  // namespace

std::string FormatWalkField(const WalkField& field) {
  std::string out;
  switch (field.kind) {
    case WalkField::kNull:
      return "\\N";
    case WalkField::kBinary:
      AppendWalkHex(field.bytes.data(), field.bytes.size(), &out);
      return out;
    case WalkField::kText:
      break;
  }
  out.reserve(field.text.size());
  AppendWalkText(field.text.data(), field.text.size(), &out);
  return out;
}

std::string FormatWalkLine(const std::vector<WalkField>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line.push_back('\t');
    line += FormatWalkField(fields[i]);
  }
  line.push_back('\n');
  return line;
}

}  // namespace qghost

// ---- the walk and the writes through the module

namespace qghost {
namespace {

using H = INAFileDescription*;
using E = void**;
using PFN_OpenTable = bool (*)(void*, INAConnectionDescription*, H, uint32_t, void**, E);
using PFN_Read = bool (*)(void*, H, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                          E);
using PFN_AtEnd = bool (*)(void*, H, intptr_t, intptr_t, E);
using PFN_ItemValue = bool (*)(void*, H, intptr_t, intptr_t, E);
using PFN_SeekSameName = bool (*)(void*, H, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                                  intptr_t, intptr_t, intptr_t, E);
using PFN_Write = bool (*)(void*, H, intptr_t, intptr_t, E);
using PFN_Add = bool (*)(void*, H, intptr_t, intptr_t, E);
using PFN_Modify = bool (*)(void*, H, intptr_t, intptr_t, intptr_t, intptr_t, E);
using PFN_Delete = bool (*)(void*, H, intptr_t, intptr_t, intptr_t, E);
using PFN_Close = bool (*)(void*, H, intptr_t, void*);
using PFN_Release = int32_t (*)(void*);

enum : int {
  kManagerOpenTable = 36,
  kManagerRelease = 6,
  kDispatcherRelease = 6,
  kDispatcherAdd = 17,
  kDispatcherDelete = 20,
  kDispatcherModify = 21,
  kDispatcherSeekSameName = 22,
  kDispatcherRead = 25,
  kDispatcherAtEnd = 31,
  kDispatcherItemValue = 47,
  kDispatcherWriteItem = 48,
  kDispatcherClose = 79,
};

// Appends one column of a record as the walk prints it (FormatWalkField's
// format), straight from the value: a text the value holds as UTF-16 is
// read in place, not copied.
void AppendField(CAny& value, std::string* out) {
  if (value.bEstNull()) {
    out->append("\\N", 2);
    return;
  }
  int type = value.nGetCode();
  if (type == qg::kAnyBIN || type == qg::kAnyBUFFER) {
    const void* bytes = nullptr;
    int size = 0;
    if (value.pclHolder()->vnGetTexte(&bytes) == qg::kAnyOk &&
        value.pclHolder()->vnGetTailleSansFin(&size) == qg::kAnyOk && bytes != nullptr && size > 0) {
      AppendWalkHex(bytes, static_cast<size_t>(size), out);
    }
    return;
  }
  const char16_t* text = nullptr;
  CXYString<char16_t> copy;
  if (type != qg::kAnyDSTRW || value.nGetPCXSTR(&text) >= 100) {
    text = value.nGetTexte(&copy) < 100 ? copy.pszGet() : nullptr;
  }
  // A text ends at its first NUL, as it does for the host.
  if (text != nullptr) AppendWalkText(text, std::char_traits<char16_t>::length(text), out);
}

// The table of the options opened through a new manager of the module, as
// the host opens it (manager slot 36); closed and released when this goes.
class OpenedTable {
 public:
  OpenedTable(MariaModule& module, const WalkOptions& options, std::ostream& err)
      : handle(Utf8ToU16(options.table), 1), m_clKey(Utf8ToU16(options.key)) {
    description.owned_by_count = false;
    description.user = Utf8ToU16(options.user);
    description.password = Utf8ToU16(options.password);
    description.database = Utf8ToU16(options.database);
    if (!options.socket.empty()) {
      description.data_source = u"localhost";
      description.extended = u"Unix Socket=" + Utf8ToU16(options.socket);
    } else {
      description.data_source = Utf8ToU16(options.host + ":" + std::to_string(options.port));
    }
    if (options.fetch > 0) description.cache_size = options.fetch;
    m_pManager = module.NewManager();
    std::string problem;
    if (m_pManager == nullptr) {
      err << "the driver gave no manager\n";
    } else if (options.is_query &&
               !handle.bSetQuery(Utf8ToU16(options.query), options.raw, nullptr, &problem)) {
      err << "query: " << problem << '\n';
    } else if (!Slot<PFN_OpenTable>(m_pManager, kManagerOpenTable)(
                   m_pManager, &description, &handle, 0, &dispatcher, &error) ||
               dispatcher == nullptr) {
      err << "open " << options.table << ": " << TakeDriverError(&error) << '\n';
      dispatcher = nullptr;
    }
  }
  ~OpenedTable() {
    if (dispatcher != nullptr) {
      Slot<PFN_Close>(dispatcher, kDispatcherClose)(dispatcher, &handle, 0, nullptr);
      Slot<PFN_Release>(dispatcher, kDispatcherRelease)(dispatcher);
    }
    if (m_pManager != nullptr) Slot<PFN_Release>(m_pManager, kManagerRelease)(m_pManager);
  }
  OpenedTable(const OpenedTable&) = delete;
  OpenedTable& operator=(const OpenedTable&) = delete;

  bool bIsOpen() const { return dispatcher != nullptr; }
  intptr_t Key() const { return reinterpret_cast<intptr_t>(m_clKey.c_str()); }
  // Seeks a value (as the host types it) along the key.
  bool bSeek(const std::string& text) {
    CAny value;
    std::u16string seek = Utf8ToU16(text);
    value.SetPSTRW(seek.c_str());
    return Slot<PFN_SeekSameName>(dispatcher, kDispatcherSeekSameName)(
        dispatcher, &handle, Key(), reinterpret_cast<intptr_t>(&value), 0, 0, 0, 0, 0, 0,
        &error);
  }

  ConnectionDescription description;
  FileDescription handle;
  void* dispatcher = nullptr;
  void* error = nullptr;

 private:
  std::u16string m_clKey;
  void* m_pManager = nullptr;
};

}  // namespace

int RunMariaWalk(const std::string& lib_dir, const WalkOptions& options, std::ostream& out,
                 std::ostream& err) {
  MariaModule module(lib_dir, err);
  if (!module.bIsOpen()) return 1;
  OpenedTable table(module, options, err);
  if (!table.bIsOpen()) return 1;
  if (options.is_query && table.handle.GetQuery().nHasColumns == 0) {
    out << table.handle.GetQuery().nRowCount << " rows changed\n";
    return 0;
  }
  void* d = table.dispatcher;
  auto read_row = Slot<PFN_Read>(d, kDispatcherRead);
  auto at_end = Slot<PFN_AtEnd>(d, kDispatcherAtEnd);
  auto item = Slot<PFN_ItemValue>(d, kDispatcherItemValue);
  const intptr_t next = options.backward ? 3 : 2;
  bool ok = options.has_seek
                ? table.bSeek(options.seek)
                : read_row(d, &table.handle, table.Key(), options.backward ? 1 : 0, 0, 1, 0, 0,
                           &table.error);
  int columns = -1;
  // Lines gather here and go out in large writes (each line at once when a
  // test watches them).
  constexpr size_t kFlushAt = 1 << 16;
  std::string lines;
  lines.reserve(kFlushAt + 4096);
  auto flush = [&] {
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    lines.clear();
  };
  CAny value;
  while (ok) {
    int32_t end = 0;
    if (!at_end(d, &table.handle, table.Key(), reinterpret_cast<intptr_t>(&end), &table.error)) {
      ok = false;
      break;
    }
    if (end != 0) break;
    const size_t line_start = lines.size();
    // The record's columns: read until the first one the record does not
    // have (the first record tells how many there are).
    int read = 0;
    for (int i = 0; columns < 0 || i < columns; ++i) {
      if (!item(d, &table.handle, i, reinterpret_cast<intptr_t>(&value), &table.error)) {
        if (columns >= 0) ok = false;
        if (columns < 0) DropDriverError(&table.error);
        break;
      }
      if (i > 0) lines.push_back('\t');
      AppendField(value, &lines);
      ++read;
    }
    if (!ok) {
      lines.resize(line_start);
      break;
    }
    if (columns < 0) columns = read;
    lines.push_back('\n');
    if (options.after_line) {
      const std::string line = lines.substr(line_start);
      flush();
      options.after_line(line);
    } else if (lines.size() >= kFlushAt) {
      flush();
    }
    ok = read_row(d, &table.handle, table.Key(), next, 0, 1, 0, 0, &table.error);
  }
  flush();
  if (!ok) {
    err << "read " << options.table << " along " << options.key << ": "
        << TakeDriverError(&table.error) << '\n';
    return 1;
  }
  return 0;
}

int RunMariaWrites(const std::string& lib_dir, const WalkOptions& options,
                   const std::vector<WalkWrite>& writes, std::ostream& out, std::ostream& err) {
  MariaModule module(lib_dir, err);
  if (!module.bIsOpen()) return 1;
  OpenedTable table(module, options, err);
  if (!table.bIsOpen()) return 1;
  void* d = table.dispatcher;
  for (const WalkWrite& w : writes) {
    bool ok = true;
    std::string what = "insert";
    if (w.kind != WalkWrite::kInsert) {
      what = (w.kind == WalkWrite::kModify ? "modify " : "delete ") + options.key + " " + w.seek;
      ok = table.bSeek(w.seek);
    }
    std::vector<CAny> values(w.values.size());
    std::vector<std::u16string> texts(w.values.size());
    for (size_t v = 0; ok && v < w.values.size(); ++v) {
      texts[v] = Utf8ToU16(w.values[v].second);
      values[v].SetPSTRW(texts[v].c_str());
      what += " " + w.values[v].second;
      ok = Slot<PFN_Write>(d, kDispatcherWriteItem)(d, &table.handle, w.values[v].first,
                                                    reinterpret_cast<intptr_t>(&values[v]),
                                                    &table.error);
    }
    if (ok) {
      switch (w.kind) {
        case WalkWrite::kInsert:
          ok = Slot<PFN_Add>(d, kDispatcherAdd)(d, &table.handle, 0, 0, &table.error);
          break;
        case WalkWrite::kModify:
          ok = Slot<PFN_Modify>(d, kDispatcherModify)(d, &table.handle, 0, 0, 0, 0, &table.error);
          break;
        case WalkWrite::kDelete:
          ok = Slot<PFN_Delete>(d, kDispatcherDelete)(d, &table.handle, 0, 0, 0, &table.error);
          break;
      }
    }
    out << what << ": " << (ok ? "ok" : "failed") << '\n';
    if (!ok) {
      err << TakeDriverError(&table.error) << '\n';
      return 1;
    }
  }
  return 0;
}

}  // namespace qghost
