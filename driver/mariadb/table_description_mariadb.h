// CNATableDescriptionMariaDB: a table description read from a MariaDB or
// MySQL server: its columns through SHOW FULL COLUMNS (or the information
// schema of MySQL 5.7.6 and later), its keys through SHOW INDEX.
#ifndef QG_DRIVER_MARIADB_TABLE_DESCRIPTION_MARIADB_H_
#define QG_DRIVER_MARIADB_TABLE_DESCRIPTION_MARIADB_H_

#include "driver/sql/table_description.h"

class CNATableDescriptionMariaDB : public CNATableDescription {
 public:
  using CNATableDescription::CNATableDescription;

 protected:
  bool bBuildColumnQuery(CTString* out, CNAError* error) override;
  bool bParseColumns(CNAStatement* result, int option, CNAError* error) override;
  bool bBuildIndexQuery(CTString* out, CNAError* error) override;
  bool bParseIndexes(CNAStatement* result, CNAError* error) override;
  CNAStatement* pclRunQuery(const char16_t* text, CNAError* error) override;
  CNATableDescription* pclMakeEmpty() override;

 private:
  bool bServerIsMariaDB() const;
  bool bUsesInformationSchema() const;
  bool bServer41() const;
};

#endif  // QG_DRIVER_MARIADB_TABLE_DESCRIPTION_MARIADB_H_
