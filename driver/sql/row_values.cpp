#include "driver/sql/row_values.h"

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/column.h"
#include "driver/sql/statement.h"
#include "driver/sql/table_description.h"
#include "support/any.h"

bool NARowValues::bTake(CNAStatement* row, CNATableDescription* table,
                        CNAConnection* connection, const std::vector<int>* columns) {
  nState = kRow;
  aValues.clear();
  if (row == nullptr || !row->bHasRow() || table == nullptr || connection == nullptr) {
    return false;
  }
  const int count = table->nGetColumnCount();
  aValues.resize(static_cast<size_t>(count));
  // A large object is compared only when it is short, NULL or part of a
  // key: its literal is not worth making otherwise.
  auto keyed = [&](const CNAColumn* column) {
    if (column->bIsKey()) return true;
    for (int k = 0; k < table->nGetKeyCount(); ++k) {
      CNAColumn* key = table->pclKeyAt(k);
      for (int p = 1; key != nullptr && key->bIsComposite() && p <= key->nGetPartCount(); ++p) {
        if (key->pclGetPart(p) == column) return true;
      }
    }
    return false;
  };
  CNAError quiet;
  quiet.SetSilent(true);
  for (int t = 0; t < count; ++t) {
    CNAColumn* column = table->pclColumnAt(t);
    if (column == nullptr || column->bIsComposite()) continue;
    NAIdentityValue& value = aValues[static_cast<size_t>(t)];
    const int n = columns == nullptr ? t
                  : static_cast<size_t>(t) < columns->size() ? (*columns)[static_cast<size_t>(t)]
                                                              : -1;
    if (n < 0 || n >= row->nGetColumnCount()) {
      value.bAbsent = true;
      continue;
    }
    CTString quoted;
    if (!connection->bQuoteName(&quiet, column->pszGetName(), &quoted)) return false;
    const std::u16string name = quoted.pszGet() != nullptr ? quoted.pszGet() : u"";
    if (column->bIsLargeObject() && !row->bIsShortValue(n) && !keyed(column)) {
      value.bNull = row->bIsNullValue(n);
      value.bHasLiteral = value.bShort = value.bHasExact = value.bNull;
      if (value.bNull) value.strExact = name + u" IS NULL";
      continue;
    }
    value.bHasLiteral = row->bIdentityLiteral(n, &value.strLiteral, &value.bNull, &quiet);
    value.bHasExact = row->bExactCondition(n, name, &value.strExact, &quiet);
    value.bShort = row->bIsShortValue(n) || (value.bHasLiteral && value.bNull);
    row->bStoredFormType(n, &value.strStoredType);
    value.bSetByServer = row->bIsSetOnUpdate(n) || column->bHasGeneration();
    value.bRounded = row->bShowsRoundedNumber(n);
    if (value.bRounded || row->bMayHaveLostCharacters(n)) {
      CAny shown;
      CXYString<char16_t> text;
      value.bLossy = true;
      if (row->bGetColumnAsText(shown, n, &quiet) && shown.nGetTexte(&text) < 100 &&
          text.pszGet() != nullptr) {
        value.strShown.assign(text.pszGet(), static_cast<size_t>(text.nTaille()));
      }
    }
  }
  return true;
}
