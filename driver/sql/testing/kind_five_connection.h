// A connection of a DBMS kind (5: MariaDB) with MariaDB's quotes that opens
// nothing and runs nothing: the connection that tests of SQL texts generate
// against.
#ifndef QG_DRIVER_SQL_TESTING_KIND_FIVE_CONNECTION_H_
#define QG_DRIVER_SQL_TESTING_KIND_FIVE_CONNECTION_H_

#include <cstdint>

#include "driver/core/connection.h"

namespace qg::rig {

class KindFive : public CNAConnection {
 public:
  explicit KindFive(int kind = 5, CNAManager* manager = nullptr) : CNAConnection(manager) {
    m_nDbmsKind = kind;
    m_nServerMajor = 10;
    m_strOpenQuote = u"`";
    m_nOpenQuoteLength = 1;
    m_strCloseQuote = u"`";
    m_nCloseQuoteLength = 1;
  }
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

}  // namespace qg::rig

#endif  // QG_DRIVER_SQL_TESTING_KIND_FIVE_CONNECTION_H_
