// How the SQL layer's value operations report their failures on the
// caller's error-status object (null: the error is dropped).
#ifndef QG_DRIVER_SQL_CONVERSION_ERROR_H_
#define QG_DRIVER_SQL_CONVERSION_ERROR_H_

#include <cstddef>
#include <cstdint>

class CNAColumn;
class CNAError;

// Message number of a value that cannot be converted to a type.
constexpr uint32_t kNAMsgValueConversion = 56;
// Message number of a text that cannot be converted to a code page.
constexpr uint32_t kNAMsgTextConversion = 77;

// The three ways fitting a value to a column before it becomes a literal
// fails, each with its own message: a text that is no time for a time
// column, a value that is no date or time of a date, time or date-time
// column, a value that another column type cannot hold.
enum class NALiteralConversion : uint32_t {
  kTimeColumn = 14,
  kDateTime = 15,
  kOther = 16,
};
constexpr uint32_t kNAMsgTimeColumnConversion = 57;
constexpr uint32_t kNAMsgDateTimeConversion = 58;
constexpr uint32_t kNAMsgColumnTypeConversion = 60;

// Out of memory, with the site pair.
void NAReportOutOfMemory(CNAError* error, uint32_t major, uint32_t minor);
// A text (UTF-16, may be null) that the code page cannot take.
void NAReportTextConversion(CNAError* error, const char16_t* text, size_t length,
                            uint32_t code_page);
// A value (shown as 8-bit text) of one type that cannot become another;
// the column's table and name are attached when a column is given.
void NAReportValueConversion(CNAError* error, const char* value, int source_type,
                             int target_type, const CNAColumn* column);
// A value that could not be fitted to a column before it became a literal
// (shown as 8-bit text, may be empty): the kind's message with the value's
// type and the target type, on site 11.kind.
void NAReportLiteralConversion(CNAError* error, NALiteralConversion kind, const char* value,
                               int source_type, int target_type);

#endif  // QG_DRIVER_SQL_CONVERSION_ERROR_H_
