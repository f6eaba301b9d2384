#include "driver/core/error_status.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "driver/core/copy_context.h"

namespace {

std::u16string S(const char16_t* text) { return text != nullptr ? text : u"<null>"; }

class CountingReporter : public INAErrorReporter {
 public:
  void TraceInto(CXError* error) override {
    ++calls;
    error->AddDebugMessage(u"traced");
  }
  int calls = 0;
};

TEST(ErrorStatus, FreshObjectIsEmpty) {
  CNAError error;
  EXPECT_EQ(-1, error.nGetCode());
  EXPECT_EQ(0u, error.nGetErrorIdentifier());
  EXPECT_EQ(XERR_NONE, error.nGetLevel());
  EXPECT_EQ(nullptr, error.pszGetLogicalTableName());
  EXPECT_EQ(nullptr, error.pszGetItemName());
  EXPECT_EQ(1, error.nGetVersion());
  EXPECT_EQ(1, error.nGetSubVersion());
  EXPECT_EQ(-1, error.vnReserved2());
  EXPECT_EQ(-1, error.vnReserved3());
}

TEST(ErrorStatus, SecondSetErrorBecomesSubErrorAndOnlyFirstIsReported) {
  CountingReporter reporter;
  CNAError error;
  _CXErrorModule76 first, second;
  first.SetUserError(gstErrorDefModule76, 14, u"A");
  second.SetUserError(gstErrorDefModule76, 8);
  error.SetError(7, first, &reporter);
  error.SetError(9, second, &reporter);
  EXPECT_EQ(7, error.nGetCode());
  EXPECT_EQ(14u, error.nGetErrorIdentifier());
  ASSERT_EQ(1, error.pclGetXError()->nGetNbSubError());
  EXPECT_EQ(8u, error.pclGetXError()->pclGetSubError(0)->nGetIdentifier());
  EXPECT_EQ(1, reporter.calls);
  // The most recent error is the sub-error.
  EXPECT_EQ(8u, error.nGetLastIdentifier());
}

TEST(ErrorStatus, SetErrorMessagePushesThePreviousErrorDown) {
  CountingReporter reporter;
  CNAError error;
  error.SetErrorMessage(3, 6, 7, &reporter, 14, u"cnx");
  EXPECT_EQ(1, reporter.calls);
  EXPECT_NE(std::u16string::npos,
            S(error.pclGetXError()->pszGetDebugMessage())
                .find(u"IEQGMARIA=6.7\r\nModule=<QGMARIA>\r\nVersion=<30.0.67.0>"));
  error.SetErrorMessage(5, 1, 2, &reporter, 8);
  EXPECT_EQ(5, error.nGetCode());
  EXPECT_EQ(8u, error.nGetErrorIdentifier());
  ASSERT_EQ(1, error.pclGetXError()->nGetNbSubError());
  EXPECT_EQ(14u, error.pclGetXError()->pclGetSubError(0)->nGetIdentifier());
  EXPECT_EQ(1, reporter.calls);  // the connection hears of the first one only
}

TEST(ErrorStatus, SilentObjectRecordsButAddsNoInternalTextNorReport) {
  CountingReporter reporter;
  CNAError error;
  error.SetSilent(true);
  error.SetErrorMessage(2, 6, 7, &reporter, 14, u"x");
  error.SetErrorMessage(4, 6, 8, &reporter, 8);
  EXPECT_EQ(4, error.nGetCode());
  EXPECT_EQ(0, reporter.calls);
  EXPECT_EQ(std::u16string::npos, S(error.pszGetMessage()).find(u"IEQGMARIA"));
  EXPECT_EQ(1, error.pclGetXError()->nGetNbSubError());
  error.Reset();
  EXPECT_TRUE(error.bIsSilent());
  EXPECT_EQ(-1, error.nGetCode());
}

TEST(ErrorStatus, AssignmentMovesTheErrorAndKeepsTheSourceCode) {
  CNAError source, target;
  source.SetErrorMessage(11, 3, 1, nullptr, 14, u"t");
  target = source;
  EXPECT_EQ(11, target.nGetCode());
  EXPECT_EQ(14u, target.nGetErrorIdentifier());
  EXPECT_EQ(XERR_NONE, source.nGetLevel());
  EXPECT_EQ(11, source.nGetCode());
}

TEST(ErrorStatus, DumpCarriesTableItemAndBaseCode) {
  CNAError error;
  error.SetErrorMessage(0, 6, 7, nullptr, 14, u"cnx");
  error.AddTableAndItem(u"CLIENT", u"NOM");
  error.AddTableAndItem(u"", nullptr);  // empty names add nothing
  error.SetBaseCode(1062);
  error.AddMessageText(u"second line");
  error.AddDebugTextFirst(u"first line");
  EXPECT_EQ(u"CLIENT", S(error.pszGetLogicalTableName()));
  EXPECT_EQ(u"NOM", S(error.pszGetItemName()));
  EXPECT_EQ(1062, error.nGetBaseCode());
  std::u16string debug = S(error.pclGetXError()->pszGetDebugMessage());
  EXPECT_EQ(0u, debug.find(u"first line\r\n"));
  EXPECT_NE(std::u16string::npos, debug.find(u"second line"));
  std::u16string dump = S(error.pszGetMessage());
  EXPECT_NE(std::u16string::npos, dump.find(u"CLIENT"));
  EXPECT_NE(std::u16string::npos, dump.find(u"IEQGMARIA=6.7"));
}

TEST(ErrorStatus, ReleaseAtOneDeletesAndHandingOutReplacesTheSlot) {
  CNAError* old_error = new CNAError();
  old_error->AddRef();
  INAError* slot = old_error;
  CNAError local;
  local.SetErrorMessage(0, 5, 4, nullptr, 14, u"c");
  NAHandErrorToHost(&slot, &local, new CNAError());
  ASSERT_NE(nullptr, slot);
  EXPECT_NE(static_cast<INAError*>(old_error), slot);  // the old one was released (ASan checks)
  EXPECT_EQ(14u, slot->nGetErrorIdentifier());
  EXPECT_EQ(1, static_cast<CNAError*>(slot)->nGetReferences());
  EXPECT_EQ(XERR_NONE, local.nGetLevel());
  slot->Release();
}

class ThrowingContext : public CNACopyContext {
 public:
  bool bRegisterCopy(const void*, void*) override { throw std::runtime_error("full"); }
  void ForgetCopy(const void* source) override {
    forgotten = source;
    CNACopyContext::ForgetCopy(source);
  }
  const void* forgotten = nullptr;
};

TEST(ErrorStatus, CloneRegistersAndAThrowingCopyLeavesNothing) {
  CNAError error;
  error.SetErrorMessage(3, 1, 1, nullptr, 9, u"a", u"b");
  CNACopyContext context;
  INAError* clone = error.pclClone(&context, 0, 0);
  EXPECT_EQ(clone, context.pFindCopy(&error));
  EXPECT_EQ(3, clone->nGetCode());
  EXPECT_EQ(9u, clone->nGetErrorIdentifier());
  clone->DeletingDestructor(1);

  ThrowingContext throwing;
  EXPECT_THROW(error.pclClone(&throwing, 0, 0), std::runtime_error);
  EXPECT_EQ(&error, throwing.forgotten);
  EXPECT_EQ(0u, throwing.nGetCount());
}

TEST(ErrorStatus, UnknownIdentifierLeavesLevel3AndKeepsTheCode) {
  CNAError error;
  error.SetErrorMessage(42, 1, 1, nullptr, 999999);
  EXPECT_EQ(42, error.nGetCode());
  EXPECT_EQ(XERR_ERROR, error.nGetLevel());
}

}  // namespace

#include "host/core/global_factory.h"
#include "support/frame/module_services.h"

namespace {

TEST(ErrorStatus, ErrorsComposedByTheHostCarryNamesAndSite) {
  qghost::GlobalFactory factory;
  factory.SetErrorFiller([](const qghost::FillErrorCall& call) {
    call.error->AddUserMessageText(call.message == 7 ? u"host seven" : u"host other");
  });
  qg::IGlobalFactory* saved = qg::Services().piValueObjects;
  qg::Services().piValueObjects = &factory;
  CountingReporter reporter;
  CNAError error;
  error.SetErrorWithNames(7, 1, 2, 3, 4, &reporter, u"CLIENT", u"NOM");
  error.SetErrorWithNames(8, 1, 2, 3, 5, &reporter, u"T2", nullptr);
  qg::Services().piValueObjects = saved;
  EXPECT_EQ(0, error.nGetCode());
  EXPECT_EQ(1, reporter.calls);
  EXPECT_NE(std::u16string::npos, S(error.pclGetXError()->pszGetUserMessage()).find(u"host seven"));
  EXPECT_EQ(u"CLIENT", S(error.pszGetLogicalTableName()));
  EXPECT_EQ(u"NOM", S(error.pszGetItemName()));
  ASSERT_EQ(1, error.pclGetXError()->nGetNbSubError());
  CXError* sub = error.pclGetXError()->pclGetSubError(0);
  EXPECT_EQ(u"T2", S(sub->pszGetInfoText(EIT_LOGICALTABLENAME)));
  EXPECT_NE(std::u16string::npos, S(sub->pszGetDebugMessage()).find(u"IEQGMARIA=3.5\r\n"));
}

}  // namespace
