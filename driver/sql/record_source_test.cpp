#include "driver/sql/record_source.h"

#include <gtest/gtest.h>

#include "driver/core/copy_context.h"
#include "driver/core/error_status.h"
#include "driver/sql/table_access.h"
#include "support/any_test_fixture.h"

namespace {

using RecordSource = qg::AnyHostTest;

TEST_F(RecordSource, NothingBoundIsReadyAndEmpty) {
  CNARecordSource* source = NAAddRef(new CNARecordSource(nullptr));
  EXPECT_TRUE(source->bIsReady());
  EXPECT_TRUE(source->bIsEmpty());
  CNAError error;
  EXPECT_EQ(nullptr, source->pclOpen(&error));
  EXPECT_EQ(0, source->nGetRecordCount(&error));
  ReleaseBoth(source);
}

TEST_F(RecordSource, AnObjectWithoutItsWholeResultDoesNotOpen) {
  CNATableAccess* access = NAAddRef(new CNATableAccess(nullptr, nullptr));
  CNARecordSource* source = NAAddRef(new CNARecordSource(nullptr));
  // Attaching binds the first object and switches its cache on.
  EXPECT_TRUE(source->bAttach(access));
  EXPECT_TRUE(source->bIsBoundTo(access));
  EXPECT_TRUE(access->bIsCacheEnabled());
  EXPECT_FALSE(source->bIsEmpty());
  EXPECT_FALSE(source->bIsReady());
  CNAError error;
  EXPECT_EQ(nullptr, source->pclOpen(&error));
  EXPECT_EQ(nullptr, source->pclCreateTemporaryIndex(access, nullptr, &error));
  EXPECT_EQ(0, source->nGetRecordCount(&error));
  // A clone of a source that cannot open is null and leaves nothing in the
  // copy context.
  CNACopyContext context;
  EXPECT_EQ(nullptr, source->pclClone(&context));
  EXPECT_EQ(0u, context.nGetCount());
  ReleaseBoth(source);
  ReleaseBoth(access);
}

}  // namespace
