// Moves by a count after a seek on a composite key, on the private server:
// a move that goes past the records of the value sought goes on under the
// condition beyond that value, in the move's direction, and finds the
// record it reaches; a count's own reads (0x40000) and moves of one record
// keep the condition on the value sought.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/core/dispatcher.h"
#include "driver/core/error_status.h"
#include "driver/mariadb/testing/host_table_fixture.h"
#include "driver/mariadb/testing/mariadb_server.h"
#include "driver/mariadb/testing/server_connection.h"
#include "driver/sql/table_access.h"
#include "host/core/driver_objects.h"
#include "support/any.h"

namespace {

auto* const gServerEnvironment = qg::rig::AddMariaDBServerEnvironment();

constexpr auto& N = qg::rig::Narrow;

class SeekOnServer : public qg::rig::HostTableServerTest {
 protected:
  void SetUp() override {
    qg::rig::HostTableServerTest::SetUp();
    // kab = (3, 1) holds ids 3 and 23; in the key's order (a, b, id) the
    // records around them are 15 and 35 (3, 0) and 11 and 31 (3, 2).
    ASSERT_TRUE(Sql("CREATE TABLE s (id INT PRIMARY KEY, a INT NOT NULL, b INT NOT NULL, "
                    "KEY kab (a, b)) ENGINE=InnoDB; "
                    "INSERT INTO s SELECT seq, seq % 4, (seq * 7) % 5 FROM seq_1_to_40"));
    CNAError error;
    dispatcher_ = manager_->pclFindOrCreateDispatcher(description_, u"s", &error);
    ASSERT_NE(nullptr, dispatcher_) << N(error.pszGetMessage());
    handle_ = new qghost::FileDescription(u"s", 1);
    INAError* slot = nullptr;
    opened_.push_back({handle_, dispatcher_});
    ASSERT_TRUE(dispatcher_->bOpen(handle_, description_, 0, 0, &slot)) << Message(slot);
  }
  static std::string Message(INAError*& slot) { return qg::rig::TakeMessage(slot); }
  // Seeks kab = (a, b) exactly; the record found.
  void Seek(int32_t a, int32_t b) {
    std::string bytes(reinterpret_cast<const char*>(&a), 4);
    bytes.append(reinterpret_cast<const char*>(&b), 4);
    CAny value;
    value.SetBUFFER(bytes.data(), static_cast<intptr_t>(bytes.size()));
    INAError* slot = nullptr;
    ASSERT_TRUE(dispatcher_->bSeekSameName(handle_, reinterpret_cast<intptr_t>(u"kab"),
                                           reinterpret_cast<intptr_t>(&value), 0, 0, 0, 0, 0, 0,
                                           &slot))
        << Message(slot);
    EXPECT_EQ(std::make_pair(3, true), Where());
  }
  // Moves by `count` along kab; the id reached and the found indicator.
  std::pair<int, bool> Move(int direction, int count, intptr_t flags = 0) {
    INAError* slot = nullptr;
    EXPECT_TRUE(dispatcher_->bRead(handle_, reinterpret_cast<intptr_t>(u"kab"), direction, flags,
                                   count, 0, 0, &slot))
        << Message(slot);
    return Where();
  }
  std::pair<int, bool> Where() {
    INAError* slot = nullptr;
    CAny value;
    EXPECT_TRUE(dispatcher_->bReadItemValue(handle_, 0, reinterpret_cast<intptr_t>(&value), &slot))
        << Message(slot);
    CXYString<char16_t> text;
    value.nGetTexte(&text);
    const int id = value.bEstNull() ? -1 : std::stoi(N(text.pszGet()));
    int32_t found = 0, in_range = 0;
    EXPECT_TRUE(dispatcher_->bIsFoundAndInRange(handle_, reinterpret_cast<intptr_t>(u"kab"),
                                                reinterpret_cast<intptr_t>(&found),
                                                reinterpret_cast<intptr_t>(&in_range), &slot))
        << Message(slot);
    return {id, found != 0};
  }

  CNADispatcher* dispatcher_ = nullptr;
  qghost::FileDescription* handle_ = nullptr;
};

TEST_F(SeekOnServer, AMovePastTheValueSoughtGoesOnBeyondIt) {
  ASSERT_EQ((std::vector<std::string>{"15", "35", "3", "23", "11", "31"}),
            ServerRows("SELECT id FROM s WHERE a = 3 AND b <= 2 ORDER BY a, b, id"));
  struct Case {
    int ahead;  // records read on (next, one at a time) after the seek
    int direction;
    int count;
    intptr_t flags;
    int id;
    bool found;
  } cases[] = {
      {0, kNAReadNext, 1, 0, 23, true},         // still among the value's records
      {0, kNAReadNext, 2, 0, 11, true},         // past them: beyond the value
      {0, kNAReadNext, 2, 0x40000, 11, false},  // a count's read keeps the value
      {0, kNAReadPrevious, 1, 0, 35, false},    // one record: no move by a count
      {1, kNAReadPrevious, 2, 0, 35, true},     // past them backwards
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    Seek(3, 1);
    if (c.ahead > 0) {
      ASSERT_EQ(std::make_pair(23, true), Move(kNAReadNext, c.ahead)) << i;
    }
    EXPECT_EQ(std::make_pair(c.id, c.found), Move(c.direction, c.count, c.flags)) << i;
  }
  // Once beyond the value, the reads go on beyond it.
  Seek(3, 1);
  ASSERT_EQ(std::make_pair(11, true), Move(kNAReadNext, 2));
  EXPECT_TRUE(Move(kNAReadNext, 1).second);
}

}  // namespace
