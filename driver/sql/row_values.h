// The values that name one row of a table in an UPDATE or DELETE, column
// by column of the table description, as the server sent them in a result
// row whose columns stand in the table's order.
#ifndef QG_DRIVER_SQL_ROW_VALUES_H_
#define QG_DRIVER_SQL_ROW_VALUES_H_

#include <string>
#include <vector>

class CNAConnection;
class CNAStatement;
class CNATableDescription;

struct NAIdentityValue {
  bool bNull = false;
  // The literal the server compares equal to the stored value (a key part
  // names its row by it); absent when it cannot be written.
  bool bHasLiteral = false;
  std::u16string strLiteral;
  // The condition that the column, by its quoted name, holds exactly the
  // stored value (texts character for character); absent when it cannot.
  bool bHasExact = false;
  std::u16string strExact;
  // A large object's value short enough to compare whole.
  bool bShort = false;
  // The type that CAST(.. AS type) turns a value written into the stored
  // form (empty: written as it is).
  std::u16string strStoredType;
  // A text that may have lost characters on its way (see
  // CNAStatement::bMayHaveLostCharacters), and the text as read: it names
  // its row only by what the conversation shows of it, and is not written
  // back unchanged.
  bool bLossy = false;
  std::u16string strShown;
  // A number the server showed rounded (see
  // CNAStatement::bShowsRoundedNumber): lossy as above, its stored value
  // found as a double.
  bool bRounded = false;
  // strExact compares the stored bytes (found for a text read as above),
  // or the stored number.
  bool bByBytes = false;
  // The row read does not show the column (a stored query that leaves it
  // out): nothing is known of its value.
  bool bAbsent = false;
  // The server sets the column itself when the row is updated (ON UPDATE,
  // or generated from other columns): a row updated is not found again by
  // its old value.
  bool bSetByServer = false;

  bool operator==(const NAIdentityValue& other) const {
    return bNull == other.bNull && bHasExact == other.bHasExact && strExact == other.strExact &&
           bHasLiteral == other.bHasLiteral && strLiteral == other.strLiteral;
  }
};

// What names a record in the next write.
struct NARowValues {
  enum State {
    kRow,        // aValues name it
    kGone,       // deleted, or not found again after a modify
    kAmbiguous,  // rows the values cannot tell apart hold what was written
  };
  State nState = kRow;
  std::vector<NAIdentityValue> aValues;

  // Takes the current row of `row` (columns in the table's order, or, with
  // `columns`, column n of the table in row column columns[n], -1 for a
  // column the row does not show); false when it has none or a name cannot
  // be quoted.
  bool bTake(CNAStatement* row, CNATableDescription* table, CNAConnection* connection,
             const std::vector<int>* columns = nullptr);
};

#endif  // QG_DRIVER_SQL_ROW_VALUES_H_
