#include "driver/sql/conversion_error.h"

#include <string>

#include "driver/sql/column.h"

#include "driver/core/error_status.h"

namespace {

std::u16string Widen(const char* text) {
  std::u16string out;
  if (text == nullptr) return out;
  for (const char* p = text; *p != 0; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

}  // namespace

void NAReportOutOfMemory(CNAError* error, uint32_t major, uint32_t minor) {
  if (error != nullptr) error->SetOutOfMemory(major, minor);
}

void NAReportTextConversion(CNAError* error, const char16_t* text, size_t length,
                            uint32_t code_page) {
  if (error == nullptr) return;
  std::u16string shown = text != nullptr ? std::u16string(text, length) : std::u16string();
  if (shown.size() > 200) shown.resize(200);
  error->SetErrorMessage(0, 11, 1, nullptr, kNAMsgTextConversion, shown.c_str(),
                         static_cast<int32_t>(code_page), u"", u"");
}

void NAReportValueConversion(CNAError* error, const char* value, int source_type,
                             int target_type, const CNAColumn* column) {
  if (error == nullptr) return;
  std::u16string shown = Widen(value);
  if (shown.size() > 200) shown.resize(200);
  error->SetErrorMessage(0, 11, 2, nullptr, kNAMsgValueConversion, shown.c_str(),
                         static_cast<int32_t>(source_type), static_cast<int32_t>(target_type));
  if (column != nullptr) error->AddTableAndItem(column->pszGetTable(), column->pszGetName());
}

void NAReportLiteralConversion(CNAError* error, NALiteralConversion kind, const char* value,
                               int source_type, int target_type) {
  if (error == nullptr) return;
  uint32_t message = kNAMsgColumnTypeConversion;
  if (kind == NALiteralConversion::kTimeColumn) message = kNAMsgTimeColumnConversion;
  if (kind == NALiteralConversion::kDateTime) message = kNAMsgDateTimeConversion;
  std::u16string shown = Widen(value);
  if (shown.size() > 200) shown.resize(200);
  error->SetErrorMessage(0, 11, static_cast<uint32_t>(kind), nullptr, message, shown.c_str(),
                         static_cast<int32_t>(source_type), static_cast<int32_t>(target_type));
}
