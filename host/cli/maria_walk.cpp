#include "host/cli/maria_walk.h"

#include <cerrno>
#include <cstdlib>

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

std::string FormatWalkField(const WalkField& field) {
  std::string out;
  switch (field.kind) {
    case WalkField::kNull:
      return "\\N";
    case WalkField::kBinary: {
      static const char kHex[] = "0123456789ABCDEF";
      out.reserve(field.bytes.size() * 2);
      for (unsigned char b : field.bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
      }
      return out;
    }
    case WalkField::kText:
      break;
  }
  const std::u16string& s = field.text;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    switch (c) {
      case u'\t': out += "\\t"; break;
      case u'\n': out += "\\n"; break;
      case u'\\': out += "\\\\"; break;
      case 0: out += "\\0"; break;
      default: AppendUtf8(c, &out);
    }
  }
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
