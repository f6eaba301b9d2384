// Rewriting a refused CREATE TABLE text: variable text types whose size is
// above a limit become a long text type.
#ifndef QG_DRIVER_SQL_OVERSIZED_TYPE_H_
#define QG_DRIVER_SQL_OVERSIZED_TYPE_H_

#include <cstdint>
#include <string>

// Every `type` written as a whole word and followed by "(", a decimal
// number above `limit` and one more character (the closing parenthesis) is
// replaced, with the number and that character, by `replacement`. True
// when something was replaced; *out is then the new text, else untouched.
bool NAReplaceOversizedType(const std::u16string& text, const std::u16string& type,
                            int64_t limit, const std::u16string& replacement,
                            std::u16string* out);

#endif  // QG_DRIVER_SQL_OVERSIZED_TYPE_H_
