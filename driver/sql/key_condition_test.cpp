#include "driver/sql/key_condition.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/error_status.h"
#include "driver/sql/sql_generator.h"
#include "driver/sql/testing/kind_five_connection.h"
#include "host/core/calc_entries.h"
#include "support/frame/module_services.h"
#include "support/string_host_fixture.h"

namespace {

std::string N(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; p != nullptr && *p != 0; ++p) out += *p < 128 ? char(*p) : '?';
  return out;
}

using qg::rig::KindFive;

class KeyConditions : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    connection = NAAddRef(new KindFive);
  }
  void TearDown() override {
    ReleaseBoth(connection);
    qg::Services().pfnConversion = nullptr;
    qg::Services().pfnFinConversion = nullptr;
    qg::StringHostTest::TearDown();
  }
  // Integer parts k1..kn (not nullable) with the values 1..n.
  static std::vector<NAKeyConditionPart> Parts(int n) {
    std::vector<NAKeyConditionPart> parts(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      parts[i].column.strSql = u"k" + std::u16string(1, static_cast<char16_t>(u'1' + i));
      parts[i].column.nColumnType = 5;
      parts[i].column.nVeliscType = qg::kAnyI4;
      parts[i].column.bNullable = false;
      parts[i].value.SetI4(i + 1);
    }
    return parts;
  }
  std::string Text(CNAFilter* tree) {
    CNARefPtr<CNAFilter> held(tree);
    if (tree == nullptr) return "(none)";
    CNARefPtr<CNASQLGenerator> gen(NAAddRef(new CNASQLGenerator(connection)));
    CNAError error;
    bool folded = false;
    EXPECT_TRUE(tree->bWrite(*gen.Get(), 0, {}, &folded, &error));
    const char16_t* d = gen->pszGetDialectText(&error);
    return d != nullptr ? N(d) : "(error)";
  }
  KindFive* connection = nullptr;
};

TEST_F(KeyConditions, DirectionTrees) {
  struct Case {
    int parts;
    int op;
    bool descending_first;
    const char* text;
  };
  const Case cases[] = {
      {1, 5, false, "k1>1"},
      {1, 8, false, "k1<=1"},
      {2, 6, false, "k1<1 OR k1=1 AND k2<2"},
      {3, 5, false, "k1>1 OR k1=1 AND (k2>2 OR k2=2 AND k3>3 )"},
      {3, 7, false, "k1>1 OR k1=1 AND (k2>2 OR k2=2 AND k3>=3 )"},
      {3, 8, false, "k1<1 OR k1=1 AND (k2<2 OR k2=2 AND k3<=3 )"},
      {2, 5, true, "k1<1 OR k1=1 AND k2>2"},
      {2, 8, true, "k1>1 OR k1=1 AND k2<=2"},
  };
  for (const Case& c : cases) {
    std::vector<NAKeyConditionPart> parts = Parts(c.parts);
    parts[0].bDescending = c.descending_first;
    EXPECT_EQ(Text(pclBuildKeyDirection(parts, c.op, false, false, 0)), c.text)
        << c.parts << " " << c.op << " " << c.descending_first;
  }
}

TEST_F(KeyConditions, EqualityAndPrefixes) {
  EXPECT_EQ(Text(pclBuildKeyEquality(Parts(2), 0)), "k1=1 AND k2=2");
  std::vector<NAKeyConditionPart> parts = Parts(2);
  parts[1].column.nColumnType = 29;
  parts[1].column.nVeliscType = qg::kAnyDSTRW;
  parts[1].value.SetDSTRW(u"ab");
  parts[1].bPrefix = true;
  EXPECT_EQ(Text(pclBuildKeyEquality(parts, 0)), "k1=1 AND k2 LIKE 'ab%'");
  // A prefix as the last part of a direction.
  EXPECT_EQ(Text(pclBuildKeyDirection(parts, 8, false, false, 0)),
            "k1<1 OR k1=1 AND (k2<'ab' OR k2 LIKE 'ab%' )");
  EXPECT_EQ(Text(pclBuildKeyDirection(parts, 5, false, false, 0)),
            "k1>1 OR k1=1 AND (k2>'ab' AND k2 NOT LIKE 'ab%' )");
  // Partial keys: "<=" drops the low part, ">=" the high one.
  EXPECT_EQ(Text(pclBuildKeyDirection(Parts(2), 8, true, false, 0)), "k1<=1");
  EXPECT_EQ(Text(pclBuildKeyDirection(Parts(2), 7, false, true, 0)), "k1>=1");
  EXPECT_EQ(Text(pclBuildKeyDirection(Parts(1), 7, false, true, 0)), "(none)");
}

TEST_F(KeyConditions, NullPartsFollowTheNullOrder) {
  std::vector<NAKeyConditionPart> parts = Parts(2);
  parts[0].column.bNullable = true;
  parts[0].value.SetNull(true);
  // Nulls first: after a null come the other nulls with a greater k2, then
  // every value.
  EXPECT_EQ(Text(pclBuildKeyDirection(parts, 5, false, false, 0)),
            "k1 IS NOT NULL OR k1 IS NULL AND k2>2");
  EXPECT_EQ(Text(pclBuildKeyDirection(parts, 6, false, false, 0)), "k1 IS NULL AND k2<2");
  EXPECT_EQ(Text(pclBuildKeyEquality(parts, 0)), "k1 IS NULL AND k2=2");
}

// Nulls sort last on this connection.
class NullsLast : public KindFive {
 public:
  bool vb12() override { return false; }
};

TEST_F(KeyConditions, NullDatePartsWithPartialKeys) {
  // (k1 = 1, d = NULL), d a nullable date column.
  std::vector<NAKeyConditionPart> parts = Parts(2);
  parts[1].column.strSql = u"d";
  parts[1].column.nColumnType = 14;
  parts[1].column.nVeliscType = qg::kAnyDATEW;
  parts[1].column.bNullable = true;
  parts[1].value.SetType(qg::kAnyDATEW);
  parts[1].value.SetNull(true);
  struct Case {
    bool null_first;
    int op;
    bool low, high, descending;
    const char* text;
  };
  const Case cases[] = {
      // Nulls first: after a null come the values; before it nothing.
      {true, 5, false, false, false, "k1>1 OR k1=1 AND d IS NOT NULL"},
      {true, 6, false, false, false, "k1<1"},
      {true, 7, false, false, false, "k1>1 OR k1=1"},
      {true, 8, false, false, false, "k1<1 OR k1=1 AND d IS NULL"},
      // Nulls last: the other way round.
      {false, 5, false, false, false, "k1>1"},
      {false, 6, false, false, false, "k1<1 OR k1=1 AND d IS NOT NULL"},
      {false, 7, false, false, false, "k1>1 OR k1=1 AND d IS NULL"},
      {false, 8, false, false, false, "k1<1 OR k1=1"},
      // A descending date part puts its nulls last in the key's order.
      {true, 5, false, false, true, "k1>1"},
      {true, 6, false, false, true, "k1<1 OR k1=1 AND d IS NOT NULL"},
      // Partial keys: "<=" from a low key and ">=" from a high one leave the
      // last part out; the other pairings keep it.
      {true, 8, true, false, false, "k1<=1"},
      {true, 7, false, true, false, "k1>=1"},
      {true, 7, true, false, false, "k1>1 OR k1=1"},
      {true, 8, false, true, false, "k1<1 OR k1=1 AND d IS NULL"},
      {false, 8, true, false, false, "k1<=1"},
      {false, 7, false, true, false, "k1>=1"},
  };
  for (const Case& c : cases) {
    CNAConnection* saved = connection;
    KindFive* other = c.null_first ? nullptr : NAAddRef(static_cast<KindFive*>(new NullsLast));
    if (other != nullptr) connection = other;
    std::vector<NAKeyConditionPart> p = parts;
    p[1].bDescending = c.descending;
    EXPECT_EQ(Text(pclBuildKeyDirection(p, c.op, c.low, c.high, 0)), c.text)
        << c.null_first << " " << c.op << " " << c.low << c.high << c.descending;
    connection = static_cast<KindFive*>(saved);
    ReleaseBoth(other);
  }
  // The equality of a null date part is a null test, whatever the order.
  EXPECT_EQ(Text(pclBuildKeyEquality(parts, 0)), "k1=1 AND d IS NULL");
}

}  // namespace
