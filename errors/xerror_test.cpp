#include "errors/xerror.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "errors/catalogue.h"
#include "errors/internal_error.h"
#include "errors/module_errors.h"
#include "support/frame/module_services.h"
#include "support/platform/error_codes.h"

namespace {

std::u16string S(const char16_t* text) { return text != nullptr ? text : u"(null)"; }

class XErrorTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    qg::Services().pfnMessageText = nullptr;
    qg::Services().piInfoLocale = nullptr;
    qg::InstallModuleCatalogue(nullptr);
  }
};

// Counts references like the data-access objects the items hold.
class Counted : public CQGUnknown {
 public:
  explicit Counted(int* deleted) : deleted_(deleted) {}
  ~Counted() override { ++*deleted_; }

 private:
  int* deleted_;
};

class InfoObject : public IErrorInfoObject {
 public:
  intptr_t vOp0(intptr_t) override { return 0; }
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  const char16_t* pszGetText() override { return u"System.Exception: boom"; }
  int refs = 1;
};

int g_reallocs = 0;
void* CountingRealloc(void* block, size_t size) {
  ++g_reallocs;
  return std::realloc(block, size);
}

TEST_F(XErrorTest, NewErrorIsClearAndOwnsNoMemory) {
  g_reallocs = 0;
  qg::SetContainerRealloc(&CountingRealloc);
  {
    CXError unused(76);
  }
  qg::SetContainerRealloc(nullptr);
  EXPECT_EQ(g_reallocs, 0);

  _CXErrorModule76 error;
  EXPECT_EQ(error.nGetNiveau(), XERR_NONE);
  EXPECT_EQ(error.nGetModule(), 76);
  EXPECT_EQ(error.nGetIdentifier(), 0u);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(error.nGetNbSubError(), 0);
  EXPECT_EQ(error.pclGetSubError(0), nullptr);
  EXPECT_EQ(error.nGetNbInfo(), 0);
  EXPECT_EQ(error.nGetRefCount(), 0);
}

TEST_F(XErrorTest, InformationItemsReplaceAndKeepTheirOwnership) {
  CXError error(76);
  char16_t name[] = u"CLIENT";
  error.AddInfo(EIT_LOGICALTABLENAME, name);
  name[0] = u'X';  // the item holds its own copy
  error.AddInfo(EIT_BASECODE, 1049);
  error.AddInfo(EIT_BASECODE, 2006);
  error.AddInfo(EIT_RECNUM, int64_t{0x123456789});
  error.AddInfo(34u, u"ignored");
  error.AddInfo(44u, 404);
  error.AddInfo(EIT_BASECODE, u"not a number");  // wrong form for the type
  ASSERT_EQ(error.nGetNbInfo(), 3);
  EXPECT_EQ(S(error.pszGetInfoText(EIT_LOGICALTABLENAME)), u"CLIENT");
  EXPECT_EQ(error.pstGetInfo(EIT_BASECODE)->nValue, 2006u);
  EXPECT_EQ(error.pstGetInfo(EIT_RECNUM)->nValue, 0x23456789u);
  EXPECT_EQ(error.pstGetInfo(EIT_RECNUM)->nValue2, 1u);
  EXPECT_EQ(error.pstGetInfo(44u), nullptr);

  int deleted = 0;
  auto* access = new Counted(&deleted);
  access->AddRef();
  InfoObject exception;
  error.AddInfo(EIT_DATAACCESS, access);
  error.AddInfo(EIT_EXCEPTIONDOTNET, &exception);
  EXPECT_EQ(access->nGetRefCount(), 2);
  EXPECT_EQ(exception.refs, 2);
  InfoObject second;
  error.AddInfo(EIT_EXCEPTIONDOTNET, &second);  // the first is released
  EXPECT_EQ(exception.refs, 1);
  EXPECT_EQ(second.refs, 2);
  error.RAZ();
  EXPECT_EQ(error.nGetNbInfo(), 0);
  EXPECT_EQ(access->nGetRefCount(), 1);
  EXPECT_EQ(second.refs, 1);
  access->Release();
  EXPECT_EQ(deleted, 1);
}

TEST_F(XErrorTest, DebugAndUserTextsJoinWithCrLf) {
  CXError error(54);
  EXPECT_EQ(error.AddDebugMessage(u""), 0);
  EXPECT_EQ(error.AddDebugMessage(nullptr), 0);
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"");
  EXPECT_EQ(error.AddDebugMessage(u"one"), 1);
  EXPECT_EQ(error.AddDebugMessageF(u"two=%d <%s>", 2, u"x"), 1);
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"one\r\ntwo=2 <x>");
  EXPECT_EQ(error.AddDebugMessage(u""), 0);
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"one\r\ntwo=2 <x>");

  error.AddUserMessageText(u"first");
  error.AddUserMessageText(u"");
  error.AddUserMessageText(u"second");
  EXPECT_EQ(S(error.pszGetUserMessage()), u"first\r\nsecond");
  EXPECT_EQ(error.nGetNiveau(), XERR_NONE);  // texts alone set no level
}

TEST_F(XErrorTest, LevelOneClearsButKeepsModule) {
  CXError error(80);
  error.AddUserMessageText(u"x");
  EXPECT_EQ(error.nSetNiveau(2), 2);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"x");
  EXPECT_EQ(error.nSetNiveau(1), 1);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(error.nGetModule(), 80);
}

TEST_F(XErrorTest, OnlyFirstSubErrorPromotesItsUserMessage) {
  CXError parent(76);
  parent.AddUserMessageText(u"parent");
  CXError a(20), b(20), c(20);
  a.AddUserMessageText(u"first child");
  b.AddUserMessageText(u"second child");
  c.AddUserMessageText(u"third child");
  ASSERT_TRUE(parent.AddSubError(&a));
  ASSERT_TRUE(parent.AddSubError(&b));
  ASSERT_TRUE(parent.vAddSubError(&c, true, false));
  EXPECT_EQ(S(parent.pszGetUserMessage()), u"parent\r\nfirst child");
  ASSERT_EQ(parent.nGetNbSubError(), 3);
  EXPECT_EQ(parent.pclGetSubError(0)->nGetModule(), 76);  // the parent's number
  EXPECT_EQ(S(a.pszGetUserMessage()), u"first child");    // copied
  EXPECT_EQ(S(c.pszGetUserMessage()), u"");               // moved
  EXPECT_EQ(S(parent.pclGetSubError(2)->pszGetUserMessage()), u"third child");
  EXPECT_EQ(parent.pclGetSubError(3), nullptr);
  EXPECT_EQ(parent.pclGetSubError(-1), nullptr);

  CXError quiet(76);
  quiet.AddUserMessageText(u"quiet");
  quiet.vAddSubError(&a, false, true);
  EXPECT_EQ(S(quiet.pszGetUserMessage()), u"quiet");

  parent.RAZ();
  EXPECT_EQ(parent.nGetNbSubError(), 0);
  EXPECT_EQ(parent.pclGetSubError(0), nullptr);
}

TEST_F(XErrorTest, TransfereEmptiesSourceAndCopieIsDeep) {
  int deleted = 0;
  auto* access = new Counted(&deleted);
  access->AddRef();
  InfoObject exception;

  CXError source(76);
  source.SetUserError(gstErrorDefModule76, 19, u"CLIENT");
  source.AddDebugMessage(u"debug");
  source.AddInfo(EIT_ITEMNAME, u"NAME");
  source.AddInfo(EIT_DATAACCESS, access);
  source.AddInfo(EIT_EXCEPTIONDOTNET, &exception);
  source.SetSystemErrorText(5, u"denied");
  source.SetFichier(u"f.c", 12, 3, u"detail");
  CXError child(76);
  child.AddUserMessageText(u"child");
  source.AddSubError(&child);

  // Copy into a module-20 error: everything but the data-access item.
  CXError copy(20);
  copy.Copie(source);
  EXPECT_EQ(copy.nGetModule(), 20);
  EXPECT_EQ(copy.nGetNiveau(), 3);
  EXPECT_EQ(copy.nGetIdentifier(), 19u);
  EXPECT_EQ(S(copy.pszGetUserMessage()), S(source.pszGetUserMessage()));
  EXPECT_NE(copy.pszGetUserMessage(), source.pszGetUserMessage());
  EXPECT_EQ(copy.pstGetInfo(EIT_DATAACCESS), nullptr);
  EXPECT_EQ(S(copy.pszGetInfoText(EIT_ITEMNAME)), u"NAME");
  EXPECT_EQ(exception.refs, 3);
  EXPECT_EQ(copy.nGetNbSubError(), 1);
  EXPECT_NE(copy.pclGetSubError(0), source.pclGetSubError(0));
  EXPECT_EQ(copy.nGetMessageId(0), 28417u);
  EXPECT_EQ(copy.nGetValeurFichier(), 12);
  source.AddDebugMessage(u"later");
  EXPECT_EQ(S(copy.pszGetDebugMessage()), u"debug");

  // The copy constructor starts from module 0.
  CXError constructed(source);
  EXPECT_EQ(constructed.nGetModule(), 0);
  EXPECT_EQ(constructed.pstGetInfo(EIT_DATAACCESS), nullptr);
  _CXErrorModule76 module_copy(source);
  EXPECT_NE(module_copy.pstGetInfo(EIT_DATAACCESS), nullptr);
  EXPECT_EQ(access->nGetRefCount(), 3);

  // Transfer into a module-76 error that already holds something.
  CXError target(76);
  target.AddUserMessageText(u"old");
  target.Transfere(source);
  EXPECT_EQ(target.nGetModule(), 76);
  EXPECT_EQ(S(target.pszGetDebugMessage()), u"debug\r\nlater");
  EXPECT_EQ(S(target.pszGetSystemMessage()), u"denied");
  EXPECT_NE(target.pstGetInfo(EIT_DATAACCESS), nullptr);
  EXPECT_EQ(target.nGetNbSubError(), 1);
  EXPECT_EQ(source.nGetNiveau(), XERR_NONE);
  EXPECT_EQ(source.nGetModule(), 76);
  EXPECT_EQ(S(source.pszGetUserMessage()), u"");
  EXPECT_EQ(source.nGetNbInfo(), 0);
  EXPECT_EQ(source.nGetNbSubError(), 0);
  EXPECT_EQ(source.nGetNbMessageId(), 0);
  EXPECT_EQ(access->nGetRefCount(), 3);  // moved, not taken again

  // Transfer to another module drops (releases) the data-access item.
  CXError other(54);
  other.Transfere(target);
  EXPECT_EQ(other.pstGetInfo(EIT_DATAACCESS), nullptr);
  EXPECT_EQ(access->nGetRefCount(), 2);
  EXPECT_EQ(other.nGetModule(), 54);

  target = other;  // operator= copies
  EXPECT_EQ(S(target.pszGetDebugMessage()), u"debug\r\nlater");
  target = target;
  EXPECT_EQ(S(target.pszGetDebugMessage()), u"debug\r\nlater");

  module_copy.RAZ();
  EXPECT_EQ(access->nGetRefCount(), 1);
  access->Release();
  EXPECT_EQ(deleted, 1);
}

// Replacing an error by one of its own sub-errors (or a sub-error's
// sub-error) reads the source before the old content is freed.
TEST_F(XErrorTest, ReplacingAnErrorByItsOwnSubErrorKeepsTheSubErrorsContent) {
  auto make = [] {
    CXError e(76);
    e.AddUserMessageText(u"outer");
    CXError child(76);
    child.AddUserMessageText(u"child");
    child.AddDebugMessage(u"child debug");
    CXError grandchild(76);
    grandchild.AddUserMessageText(u"grandchild");
    child.AddSubError(&grandchild);
    e.AddSubError(&child);
    return e;
  };
  {
    CXError e = make();
    e.Copie(*e.pclGetSubError(0));
    EXPECT_EQ(S(e.pszGetDebugMessage()), u"child debug");
    ASSERT_EQ(e.nGetNbSubError(), 1);
    EXPECT_EQ(S(e.pclGetSubError(0)->pszGetUserMessage()), u"grandchild");
  }
  {
    CXError e = make();
    e = *e.pclGetSubError(0)->pclGetSubError(0);
    EXPECT_EQ(S(e.pszGetUserMessage()), u"grandchild");
    EXPECT_EQ(e.nGetNbSubError(), 0);
  }
  {
    CXError e = make();
    e.Transfere(*e.pclGetSubError(0));
    EXPECT_EQ(S(e.pszGetDebugMessage()), u"child debug");
    ASSERT_EQ(e.nGetNbSubError(), 1);
    EXPECT_EQ(S(e.pclGetSubError(0)->pszGetUserMessage()), u"grandchild");
  }
}

TEST_F(XErrorTest, UserErrorsComeFromTheDefinitionTable) {
  const stERRORDEFINITIONENTRY entries[] = {
      {5, 29, 0, 3},     // level 3
      {6, 28003, 0, 2},  // a warning from the shared catalogue
      {7, 29, 0, 1},     // level 1: clears
      {8, 999999, 0, 3}, // message the catalogues lack
  };
  const stERRORDEFINITION table{entries, 4, &qg::CatalogueModule76(), u"first", u"second"};

  CXError error(76);
  error.AddUserMessageText(u"earlier");
  EXPECT_EQ(error.SetUserError(table, 5), 3);
  EXPECT_EQ(error.nGetIdentifier(), 5u);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"No transaction is running.");
  EXPECT_EQ(S(error.pszGetTableText1()), u"first");
  EXPECT_EQ(S(error.pszGetTableText2()), u"second");

  // ChangeUserError keeps what is there and puts the new message first.
  EXPECT_EQ(error.ChangeUserError(table, 6, u"data.fic"), 2);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"Read error in file <data.fic>.\r\nNo transaction is running.");
  ASSERT_EQ(error.nGetNbMessageId(), 2);
  EXPECT_EQ(error.nGetMessageId(0), 28003u);
  EXPECT_EQ(error.nGetMessageId(1), 29u);

  EXPECT_EQ(error.ChangeUserError(table, 7), 1);
  EXPECT_EQ(error.nGetNiveau(), 1);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(error.nGetIdentifier(), 0u);

  // An identifier the table lacks.
  error.AddUserMessageText(u"earlier");
  EXPECT_EQ(error.SetUserError(table, 42, u"arg"), 0);
  EXPECT_EQ(error.nGetNiveau(), 3);
  EXPECT_EQ(error.nGetIdentifier(), 0u);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(S(error.pszGetDebugMessage()),
            u"##(CXError)-Pas de definition d'erreur dans gstErrorDef pour l'identifiant <42>##");
  EXPECT_EQ(S(error.pszGetTableText1()), u"first");

  // A message that cannot be loaded leaves a debug text, no user text.
  EXPECT_EQ(error.SetUserError(table, 8), 3);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"##(CXError)-Ressource <999999> non chargée##");
  EXPECT_EQ(error.nGetNbMessageId(), 0);
}

TEST_F(XErrorTest, ModuleTablesNameTheirMessages) {
  _CXErrorModule76 driver;
  EXPECT_EQ(driver.SetUserError(gstErrorDefModule76, 19, u"CLIENT"), 3);
  EXPECT_EQ(S(driver.pszGetUserMessage()), u"Unknown file <CLIENT>.");
  EXPECT_EQ(driver.SetUserError(gstErrorDefModule76, 8), 3);
  EXPECT_EQ(driver.nGetMessageId(0), 28437u);

  _CXErrorModule80 browser;
  EXPECT_EQ(browser.SetUserError(gstErrorDefModule80, 800006, u"qg300web.dll"), 3);
  EXPECT_EQ(S(browser.pszGetUserMessage()), u"<qg300web.dll> requires Windows 10 or later.");
  _CXErrorModule20 net;
  net.SetUserError(gstErrorDefModule20, 3619, u"Class", u"Assembly");
  EXPECT_EQ(S(net.pszGetUserMessage()), u"Assembly <Assembly> of class <Class> cannot be loaded.");
  _CXErrorModule54 runner;
  runner.SetUserError(gstErrorDefModule54, 540025, 3, u"TABLE1");
  EXPECT_EQ(S(runner.pszGetUserMessage()), u"Row 3 of <TABLE1> cannot be selected.");
}

// The emptiness and loading failures of catalogue texts, and inserts past
// the arguments given.
TEST_F(XErrorTest, CatalogueMessagesAddOrLeaveDebugTexts) {
  CXError error(76);
  // %1 %2 %3 with one argument: the missing inserts stay as written.
  EXPECT_EQ(error.AddUserMessage(&gstErrorDefModule76, 28588, u"a"), 1);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"Connection: a, %2, %3\r\nQuery: %4");
  EXPECT_EQ(error.AddUserMessageFirst(nullptr, 25193), 1);
  EXPECT_EQ(error.nGetMessageId(0), 25193u);
  EXPECT_EQ(error.nGetMessageId(1), 28588u);
  EXPECT_EQ(S(error.pszGetUserMessage()),
            u"Not enough memory.\r\nConnection: a, %2, %3\r\nQuery: %4");
  // Without its table the module's own messages are out of reach until the
  // deliverable installs its catalogue.
  EXPECT_EQ(error.AddUserMessage(nullptr, 29), 0);
  qg::InstallModuleCatalogue(&qg::CatalogueModule76());
  EXPECT_EQ(error.AddUserMessage(nullptr, 29), 1);

  EXPECT_EQ(error.AddDebugMessageId(&gstErrorDefModule76, 0xFFFFFFFFu), 0);
  EXPECT_EQ(error.AddDebugMessageId(&gstErrorDefModule76, 3355, u"3.3.8"), 1);
  EXPECT_EQ(S(error.pszGetDebugMessage()),
            u"##(CXError)-Ressource <29> non chargée##\r\nClient library version: 3.3.8");
}

int32_t EmptyText(int32_t, char16_t* buffer, int32_t capacity) {
  if (capacity > 0) buffer[0] = 0;
  return 0;
}

TEST_F(XErrorTest, EmptyCatalogueTextLeavesDebugText) {
  // A catalogue whose message 1 has an empty text.
  const uint8_t block[] = {0x00, 0x00, 0x00};
  const qg::CatalogueEntry entries[] = {{1, {0, 0, 0, 0, 0, 0}}};
  const qg::CatalogueTable table{entries, 1, {block, block, block}, {3, 3, 3}};
  const stERRORDEFINITION defs{nullptr, 0, &table, nullptr, nullptr};
  qg::Services().pfnMessageText = &EmptyText;  // answers no text: the catalogue is asked
  qg::SetLastError(87);
  CXError error(76);
  EXPECT_EQ(error.AddUserMessage(&defs, 1), 0);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"");
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"##(CXError)-Ressource <1> vide. LastError = <87>##");
}

TEST_F(XErrorTest, SystemErrorsAndOutOfMemory) {
  CXError error(54);
  error.SetSystemError(2);
  EXPECT_EQ(error.nGetSystemError(), 2u);
  EXPECT_EQ(S(error.pszGetSystemMessage()), qg::ErrorText16(2));
  error.SetSystemError(0);
  EXPECT_EQ(S(error.pszGetSystemMessage()), u"");
  error.SetSystemErrorText(193, u"libmariadb.dll");
  EXPECT_EQ(S(error.pszGetSystemMessage()), u"libmariadb.dll");

  error.AddDebugMessage(u"stale");
  error.SetOutOfMemoryError();
  EXPECT_EQ(S(error.pszGetUserMessage()), u"Not enough memory.");
  EXPECT_EQ(error.nGetMessageId(0), 25193u);
  EXPECT_EQ(error.nGetSystemError(), 14u);
  EXPECT_EQ(S(error.pszGetSystemMessage()), qg::ErrorText16(14));
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"");
  // Reported as an error, not as the cleared state.
  EXPECT_EQ(error.nGetNiveau(), XERR_ERROR);
}

TEST_F(XErrorTest, AddErrorMergesIntoAFilledError) {
  CXError error(76), other(76), empty(76);
  other.SetUserError(gstErrorDefModule76, 29);
  other.AddDebugMessage(u"other debug");
  error.AddError(empty);
  EXPECT_EQ(error.nGetNiveau(), 1);
  error.AddError(other);  // a clear error takes all of it
  EXPECT_EQ(error.nGetIdentifier(), 29u);
  error.AddError(other);
  EXPECT_EQ(S(error.pszGetUserMessage()), u"No transaction is running.\r\nNo transaction is running.");
  EXPECT_EQ(S(error.pszGetDebugMessage()), u"other debug\r\nother debug");
  EXPECT_EQ(error.nGetNbMessageId(), 2);
}

TEST_F(XErrorTest, InternalErrorText) {
  EXPECT_EQ(qg::InternalErrorText(qg::kModuleTagMaria, 6, 7, qg::kModuleVersionMaria),
            u"IEQGMARIA=6.7\r\nModule=<QGMARIA>\r\nVersion=<30.0.67.0>");
  CXError error(76);
  qg::AddInternalErrorText(error, qg::kModuleTagNet, 4294967295u, 0, u"1.0");
  EXPECT_EQ(S(error.pszGetDebugMessage()),
            u"IEQGNETCORE=4294967295.0\r\nModule=<QGNETCORE>\r\nVersion=<1.0>");
}

TEST_F(XErrorTest, ReleaseDeletesAtZero) {
  int deleted = 0;
  class Tracked : public _CXErrorModule54 {
   public:
    explicit Tracked(int* d) : d_(d) {}
    ~Tracked() override { ++*d_; }
    int* d_;
  };
  auto* error = new Tracked(&deleted);
  error->AddRef();
  error->AddRef();
  EXPECT_EQ(error->Release(), 1);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(error->Release(), 0);
  EXPECT_EQ(deleted, 1);
}

}  // namespace
