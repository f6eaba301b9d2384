#include "driver/core/dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "driver/core/connection.h"
#include "driver/core/manager.h"
#include "driver/core/registry.h"
#include "driver/core/session.h"
#include "host/core/driver_objects.h"
#include "support/string_host_fixture.h"

namespace {

using H = INAFileDescription*;

class FakeConnection : public CNAConnection {
 public:
  FakeConnection(const char16_t* key, INAConnectionDescription* d, CNAManager* m)
      : CNAConnection(key, d, m) {}
  bool bOpen(CNAError*, int32_t) override { return true; }
  bool bIsOpen() override { return true; }
  bool bClose(CNAError*) override { return true; }
  CNAConnection* pclCreate(INACopyContext*, intptr_t, intptr_t) override { return nullptr; }
};

struct Call {
  std::string name;
  std::vector<intptr_t> args;
  bool had_error = false;
};

// Records every operation the dispatcher reaches, with its arguments, and
// answers `result`; a failure records message 8 in the error object.
class RecordingSession : public CNASession {
 public:
  RecordingSession(INAFileDescription* file, CNAConnection* connection)
      : CNASession(file, connection) {}
  ~RecordingSession() override {
    if (gone != nullptr) gone->store(true);
  }

  bool Rec(const char* name, std::vector<intptr_t> args, CNAError* error) {
    calls.push_back(Call{name, std::move(args), error != nullptr});
    if (on_call) on_call(error);
    if (!result) Fail(error, 42, kNAErrorNotSupported);
    return result;
  }
  static intptr_t P(const void* p) { return reinterpret_cast<intptr_t>(p); }

  bool bClose(CNAError* e) override { return Rec("bClose", {}, e); }
  bool bIsQueryResult(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("bIsQueryResult", {a, b}, e);
  }
  bool bHook45(intptr_t a, intptr_t b, CNAError* e) override { return Rec("bHook45", {a, b}, e); }
  bool bOpenOrCreate(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("bOpenOrCreate", {a, b}, e);
  }
  bool bCreate(intptr_t a, int32_t b, CNAError* e) override { return Rec("bCreate", {a, b}, e); }
  bool bOpen(intptr_t a, intptr_t b, CNAError* e) override { return Rec("bOpen", {a, b}, e); }
  bool bDrop(CNAError* e) override { return Rec("bDrop", {}, e); }
  bool bAdd(intptr_t a, intptr_t b, CNAError* e) override {
    if (throw_in_add) {
      // A write that queued its notification, then failed by throwing.
      CNAPendingNotifications pending(this);
      CNALock lock(&m_clLock);
      pending.bAdd(3, nullptr, 0);
      CNAError thrown;
      Fail(&thrown, 42, kNAErrorNotSupported);
      throw thrown;
    }
    return Rec("bAdd", {a, b}, e);
  }
  bool bModifyForward(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("bModifyForward", {a, b, c, d}, e);
  }
  bool bUnsupported15(intptr_t a, intptr_t b, intptr_t c, CNAError* e) override {
    return Rec("15", {a, b, c}, e);
  }
  bool bDelete(intptr_t a, intptr_t b, intptr_t c, CNAError* e, intptr_t d) override {
    return Rec("bDelete", {a, b, c, d}, e);
  }
  bool bModify(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("bModify", {a, b, c, d}, e);
  }
  bool bSeekSameName(const char16_t* a, intptr_t b, intptr_t c, intptr_t d, intptr_t f,
                     intptr_t g, intptr_t h, intptr_t i, CNAError* e) override {
    return Rec("bSeekSameName", {P(a), b, c, d, f, g, h, i}, e);
  }
  bool bUnsupported16(CNAError* e) override { return Rec("16", {}, e); }
  bool bReread(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("bReread", {a, b, c, d}, e);
  }
  bool bRead(const char16_t* a, intptr_t b, intptr_t c, intptr_t d, intptr_t f, intptr_t g,
             CNAError* e) override {
    return Rec("bRead", {P(a), b, c, d, f, g}, e);
  }
  bool bReadByName(const char16_t* a, intptr_t b, intptr_t c, intptr_t d, intptr_t f,
                   intptr_t g, intptr_t h, intptr_t i, CNAError* e) override {
    return Rec("bReadByName", {P(a), b, c, d, f, g, h, i}, e);
  }
  bool bUnsupported23(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("23", {a, b}, e);
  }
  bool bHook24(CNAError* e) override { return Rec("24", {}, e); }
  bool bUnsupported25(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("25", {a, b, c, d}, e);
  }
  bool bUnsupported26(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("26", {a, b}, e);
  }
  bool bIsAtEnd(const char16_t* a, intptr_t b, CNAError* e) override {
    return Rec("bIsAtEnd", {P(a), b}, e);
  }
  bool bIsFoundAndInRange(const char16_t* a, intptr_t b, intptr_t c, CNAError* e) override {
    return Rec("bIsFoundAndInRange", {P(a), b, c}, e);
  }
  bool bCheckRecordSource(intptr_t a, CNAError* e) override {
    return Rec("bCheckRecordSource", {a}, e);
  }
  int64_t nHook37() override {
    calls.push_back(Call{"37", {}, false});
    return 0x123456789LL;
  }
  bool bGetRecordCounter(intptr_t a, intptr_t b, intptr_t c, CNAError* e) override {
    return Rec("bGetRecordCounter", {a, b, c}, e);
  }
  bool bSetFilter(const char16_t* a, intptr_t b, intptr_t c, intptr_t d, intptr_t f, intptr_t g,
                  CNAError* e) override {
    return Rec("bSetFilter", {P(a), b, c, d, f, g}, e);
  }
  bool bChooseKeyAndFilter(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("bChooseKeyAndFilter", {a, b}, e);
  }
  bool bLockRecordOf(const char16_t* a, CNAError* e) override {
    return Rec("bLockRecordOf", {P(a)}, e);
  }
  void DeactivateFilterOf(const char16_t* a) override {
    calls.push_back(Call{"DeactivateFilterOf", {P(a)}, false});
  }
  bool bRestorePosition(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("bRestorePosition", {a, b, c, d}, e);
  }
  void ForgetPosition(intptr_t a) override { calls.push_back(Call{"ForgetPosition", {a}, false}); }
  bool bSavePosition(intptr_t a, const char16_t* b, intptr_t c, CNAError* e) override {
    return Rec("bSavePosition", {a, P(b), c}, e);
  }
  bool bHook33(intptr_t a) override { return Rec("33", {a}, nullptr); }
  bool bCountCurrent(intptr_t a, CNAError* e, intptr_t b, intptr_t c) override {
    return Rec("bCountCurrent", {a, b, c}, e);
  }
  bool bGetPositionPerMille(const char16_t* a, int32_t* b, CNAError* e) override {
    return Rec("bGetPositionPerMille", {P(a), P(b)}, e);
  }
  bool bGoToPerMille(const char16_t* a, int32_t b, intptr_t c, CNAError* e) override {
    return Rec("bGoToPerMille", {P(a), b, c}, e);
  }
  bool bReadItemValue(int32_t a, CAny* b, CNAError* e) override {
    return Rec("bReadItemValue", {a, P(b)}, e);
  }
  bool bWriteItemValue(int32_t a, const CAny* b, CNAError* e) override {
    return Rec("bWriteItemValue", {a, P(b)}, e);
  }
  CNARowBuffer* pclGetCurrentRow(CNARowBuffer* a) override {
    return Rec("pclGetCurrentRow", {P(a)}, nullptr) ? reinterpret_cast<CNARowBuffer*>(0x77)
                                                     : nullptr;
  }
  bool bSetCurrentRow(CNARowBuffer* a, CNAError* e) override {
    return Rec("bSetCurrentRow", {P(a)}, e);
  }
  intptr_t pclGetColumnPartOfItem(int32_t a, intptr_t b, CNAError* e) override {
    return Rec("pclGetColumnPartOfItem", {a, b}, e) ? 0x55 : 0;
  }
  bool bItemOperation(int32_t a, intptr_t b, CNAError* e) override {
    return Rec("bItemOperation", {a, b}, e);
  }
  bool bResetKeyFilter(const char16_t* a) override {
    return Rec("bResetKeyFilter", {P(a)}, nullptr);
  }
  bool bHandOverCurrent(const char16_t* a, intptr_t b, CNAError* e) override {
    return Rec("bHandOverCurrent", {P(a), b}, e);
  }
  bool bUnsupported39(intptr_t a, intptr_t b, intptr_t c, intptr_t d, CNAError* e) override {
    return Rec("39", {a, b, c, d}, e);
  }
  bool bDropRecordSourceIfAny() override { return Rec("bDropRecordSourceIfAny", {}, nullptr); }
  bool bComparePositions(intptr_t a, intptr_t b, intptr_t c, CNAError* e) override {
    return Rec("bComparePositions", {a, b, c}, e);
  }
  bool bDeleteAll(CNAError* e) override { return Rec("bDeleteAll", {}, e); }
  bool bSaveCurrentRecord(intptr_t a, CNAError* e) override {
    return Rec("bSaveCurrentRecord", {a}, e);
  }
  bool bReadSavedRecord(intptr_t a, intptr_t b, CNAError* e) override {
    return Rec("bReadSavedRecord", {a, b}, e);
  }
  bool bOpenTable(intptr_t out, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t,
                  CNAError* e) override {
    if (!open_table) {
      Fail(e, 42, kNAErrorNotSupported);
      return false;
    }
    if (out != 0) *reinterpret_cast<int32_t*>(out) = 1;
    m_bOpen = true;
    return true;
  }
  void ApplyNotification(int32_t kind, intptr_t, intptr_t, CNAError*) override {
    notified.push_back(kind);
  }
  void LockAllRecords() override { ++resets; }

  bool result = true;
  bool open_table = true;
  bool throw_in_add = false;
  // Runs first in every recorded operation.
  std::function<void(CNAError*)> on_call;
  std::vector<Call> calls;
  std::vector<int> notified;
  int resets = 0;
  std::atomic<bool>* gone = nullptr;  // set when the session is deleted
};

class TestManager : public CNAManager {
 public:
  CNAConnection* pclNewConnection(const char16_t* key, INAConnectionDescription* d) override {
    return new FakeConnection(key, d, this);
  }
  CNARegistryChild* pclNewSession(INAFileDescription* file, CNAConnection* connection,
                                  CNAError*) override {
    last = new RecordingSession(file, connection);
    last->open_table = open_tables;
    last->result = !fail_sessions;
    made.push_back(NAAddRef(last));
    return last;
  }
  RecordingSession* last = nullptr;
  std::vector<RecordingSession*> made;  // one reference each, dropped by the test
  bool open_tables = true;
  bool fail_sessions = false;
};

// An error object that tells when it is destroyed.
class TrackedError : public CNAError {
 public:
  explicit TrackedError(bool* gone) : m_pGone(gone) {}
  ~TrackedError() override { *m_pGone = true; }

 private:
  bool* m_pGone;
};

intptr_t A(int n) { return 100 + n; }

struct Row {
  const char* slot;
  std::function<bool(CNADispatcher*, H, INAError**)> call;
  std::string op;  // the session operation reached ("" : none)
  std::vector<intptr_t> args;
};

std::vector<Row> ForwardingRows() {
  using D = CNADispatcher;
  return {
      {"9", [](D* d, H h, INAError** e) { return d->bIsQueryResult(h, A(2), A(3), e); },
       "bIsQueryResult", {A(2), A(3)}},
      {"17", [](D* d, H h, INAError** e) { return d->bAdd(h, A(2), A(3), e); }, "bAdd",
       {A(2), A(3)}},
      {"18",
       [](D* d, H h, INAError** e) { return d->bModifyForward(h, A(2), A(3), A(4), A(5), e); },
       "bModifyForward", {A(2), A(3), A(4), A(5)}},
      {"19", [](D* d, H h, INAError** e) { return d->bUnsupported19(h, A(2), A(3), A(4), e); },
       "15", {A(2), A(3), A(4)}},
      {"20", [](D* d, H h, INAError** e) { return d->bDelete(h, A(2), A(3), A(4), e); },
       "bDelete", {A(2), A(3), A(4), 0}},
      {"21", [](D* d, H h, INAError** e) { return d->bModify(h, A(2), A(3), A(4), A(5), e); },
       "bModify", {A(2), A(3), A(4), A(5)}},
      {"22",
       [](D* d, H h, INAError** e) {
         return d->bSeekSameName(h, A(2), A(3), A(4), A(5), A(6), A(7), A(8), A(9), e);
       },
       "bSeekSameName", {A(2), A(3), A(4), A(5), A(6), A(7), A(8), A(9)}},
      {"23", [](D* d, H h, INAError** e) { return d->bUnsupported23(h, e); }, "16", {}},
      {"24", [](D* d, H h, INAError** e) { return d->bReread(h, A(2), A(3), A(4), A(5), e); },
       "bReread", {A(2), A(3), A(4), A(5)}},
      {"25",
       [](D* d, H h, INAError** e) { return d->bRead(h, A(2), A(3), A(4), A(5), A(6), A(7), e); },
       "bRead", {A(2), A(3), A(4), A(5), A(6), A(7)}},
      {"26",
       [](D* d, H h, INAError** e) {
         return d->bReadByName(h, A(2), A(3), A(4), A(5), A(6), A(7), A(8), A(9), e);
       },
       "bReadByName", {A(2), A(3), A(4), A(5), A(6), A(7), A(8), A(9)}},
      {"27", [](D* d, H h, INAError** e) { return d->bUnsupported27(h, A(2), A(3), e); }, "23",
       {A(2), A(3)}},
      {"28", [](D* d, H h, INAError** e) { return d->bHook28(h, e); }, "24", {}},
      {"29",
       [](D* d, H h, INAError** e) { return d->bUnsupported29(h, A(2), A(3), A(4), A(5), e); },
       "25", {A(2), A(3), A(4), A(5)}},
      {"30", [](D* d, H h, INAError** e) { return d->bUnsupported30(h, A(2), A(3), e); }, "26",
       {A(2), A(3)}},
      {"31", [](D* d, H h, INAError** e) { return d->bIsAtEnd(h, A(2), A(3), e); }, "bIsAtEnd",
       {A(2), A(3)}},
      {"32",
       [](D* d, H h, INAError** e) { return d->bIsFoundAndInRange(h, A(2), A(3), A(4), e); },
       "bIsFoundAndInRange", {A(2), A(3), A(4)}},
      {"33", [](D* d, H h, INAError** e) { return d->bCheckRecordSource(h, A(2), e); },
       "bCheckRecordSource", {A(2)}},
      {"35",
       [](D* d, H h, INAError** e) { return d->bGetRecordCounter(h, A(2), A(3), A(4), e); },
       "bGetRecordCounter", {A(2), A(3), A(4)}},
      {"36",
       [](D* d, H h, INAError** e) {
         return d->bSetFilter(h, A(2), A(3), A(4), A(5), A(6), A(7), e);
       },
       "bSetFilter", {A(2), A(3), A(4), A(5), A(6), A(7)}},
      {"37", [](D* d, H h, INAError** e) { return d->bChooseKeyAndFilter(h, A(2), A(3), e); },
       "bChooseKeyAndFilter", {A(2), A(3)}},
      {"38", [](D* d, H h, INAError** e) { return d->bLockRecordOf(h, A(2), A(3), e); },
       "bLockRecordOf", {A(2)}},
      {"40",
       [](D* d, H h, INAError** e) { return d->bRestorePosition(h, A(2), A(3), A(4), A(5), e); },
       "bRestorePosition", {A(2), A(3), A(4), A(5)}},
      {"42", [](D* d, H h, INAError** e) { return d->bSavePosition(h, A(2), A(3), A(4), e); },
       "bSavePosition", {A(3), A(2), A(4)}},
      {"43", [](D* d, H h, INAError** e) { return d->bHook43(h, A(2), e); }, "33", {A(2)}},
      {"44", [](D* d, H h, INAError** e) { return d->bCountCurrent(h, A(2), A(3), A(4), e); },
       "bCountCurrent", {A(2), A(3), A(4)}},
      {"45",
       [](D* d, H h, INAError** e) {
         return d->bGetPositionPerMille(h, A(2), A(3), A(4), A(5), e);
       },
       "bGetPositionPerMille", {A(3), A(2)}},
      {"46",
       [](D* d, H h, INAError** e) { return d->bGoToPerMille(h, A(2), A(3), A(4), A(5), e); },
       "bGoToPerMille", {A(2), A(3), A(5)}},
      {"47", [](D* d, H h, INAError** e) { return d->bReadItemValue(h, A(2), A(3), e); },
       "bReadItemValue", {A(2), A(3)}},
      {"48", [](D* d, H h, INAError** e) { return d->bWriteItemValue(h, A(2), A(3), e); },
       "bWriteItemValue", {A(2), A(3)}},
      {"49",
       [](D* d, H h, INAError** e) { return d->pclGetCurrentRow(h, A(2), e) != nullptr; },
       "pclGetCurrentRow", {A(2)}},
      {"50", [](D* d, H h, INAError** e) { return d->bSetCurrentRow(h, A(2), e); },
       "bSetCurrentRow", {A(2)}},
      {"51",
       [](D* d, H h, INAError** e) { return d->pclGetColumnPartOfItem(h, A(2), A(3), e) != 0; },
       "pclGetColumnPartOfItem", {A(2), A(3)}},
      {"52", [](D* d, H h, INAError** e) { return d->bItemOperation(h, A(2), A(3), e); },
       "bItemOperation", {A(2), A(3)}},
      {"53", [](D* d, H h, INAError** e) { return d->bResetKeyFilter(h, A(2), e); },
       "bResetKeyFilter", {A(2)}},
      {"54", [](D* d, H h, INAError** e) { return d->bHandOverCurrent(h, A(2), A(3), e); },
       "bHandOverCurrent", {A(2), A(3)}},
      {"55",
       [](D* d, H h, INAError** e) {
         return d->bUnsupported55(h, A(2), A(3), A(4), A(5), A(6), e);
       },
       "39", {A(3), A(4), A(5), A(6)}},
      {"59", [](D* d, H h, INAError** e) { return d->bDropRecordSourceIfAny(h, e); },
       "bDropRecordSourceIfAny", {}},
      {"60",
       [](D* d, H h, INAError** e) { return d->bComparePositions(h, A(2), A(3), A(4), e); },
       "bComparePositions", {A(2), A(3), A(4)}},
      {"63", [](D* d, H h, INAError** e) { return d->bDeleteAll(h, e); }, "bDeleteAll", {}},
      {"64", [](D* d, H h, INAError** e) { return d->bSaveCurrentRecord(h, A(2), e); },
       "bSaveCurrentRecord", {A(2)}},
      {"65", [](D* d, H h, INAError** e) { return d->bReadSavedRecord(h, A(2), A(3), e); },
       "bReadSavedRecord", {A(2), A(3)}},
  };
}

class Dispatcher : public qg::StringHostTest {
 protected:
  void SetUp() override {
    qg::StringHostTest::SetUp();
    manager = new TestManager();
    manager->AddRef();
    d.owned_by_count = false;
    d.user = u"bob";
    d.database = u"db";
  }
  void TearDown() override {
    if (dispatcher != nullptr) dispatcher->Release();
    for (RecordingSession* session : manager->made) ReleaseBoth(session);
    manager->Release();
    qg::StringHostTest::TearDown();
  }
  // Opens the handle through the manager; the dispatcher is kept.
  CNADispatcher* Open(H handle) {
    CNADispatcher* out = nullptr;
    INAError* error = nullptr;
    EXPECT_TRUE(manager->bOpenTable(&d, handle, 0, &out, &error));
    if (error != nullptr) error->Release();
    return out;
  }

  // A handle that outlives the test body (sessions may hold it until the
  // manager goes).
  H Handle(const char16_t* name, uint32_t context) {
    handles.emplace_back(name, context);
    return &handles.back();
  }

  std::deque<qghost::FileDescription> handles;
  TestManager* manager = nullptr;
  CNADispatcher* dispatcher = nullptr;
  qghost::ConnectionDescription d;
};

TEST_F(Dispatcher, EveryForwardingSlotPassesItsArgumentsAndHandsOutFailures) {
  H handle = Handle(u"ORDERS", 1);
  H stranger = Handle(u"ORDERS", 1);  // same text, other address
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  RecordingSession* session = manager->last;
  ASSERT_NE(nullptr, session);

  for (const Row& row : ForwardingRows()) {
    SCOPED_TRACE(row.slot);
    // Success: the operation and its arguments; the slot keeps its object.
    session->result = true;
    session->calls.clear();
    bool gone = false;
    auto* previous = new TrackedError(&gone);
    previous->AddRef();
    INAError* slot = previous;
    EXPECT_TRUE(row.call(dispatcher, handle, &slot));
    ASSERT_EQ(1u, session->calls.size());
    EXPECT_EQ(row.op, session->calls[0].name);
    EXPECT_EQ(row.args, session->calls[0].args);
    EXPECT_EQ(previous, slot);
    EXPECT_FALSE(gone);

    // Failure: a new object replaces (and releases) the old one and carries
    // the session's error and one reference.
    session->result = false;
    EXPECT_FALSE(row.call(dispatcher, handle, &slot));
    EXPECT_TRUE(gone);
    ASSERT_NE(nullptr, slot);
    EXPECT_NE(static_cast<INAError*>(previous), slot);
    EXPECT_EQ(1, static_cast<CNAError*>(slot)->nGetReferences());
    if (session->calls.back().had_error) {
      EXPECT_EQ(kNAErrorNotSupported, slot->nGetErrorIdentifier());
    }
    slot->Release();

    // An unknown handle: identifier 19 with the site and code 0.
    slot = nullptr;
    EXPECT_FALSE(row.call(dispatcher, stranger, &slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(19u, slot->nGetErrorIdentifier());
    EXPECT_EQ(0, slot->nGetCode());
    EXPECT_NE(std::u16string::npos,
              std::u16string(slot->pclGetXError()->pszGetDebugMessage()).find(u"=6.7"));
    EXPECT_EQ(std::u16string(u"ORDERS"), slot->pszGetLogicalTableName());
    slot->Release();

    // A null error slot drops the failure.
    EXPECT_FALSE(row.call(dispatcher, stranger, nullptr));
  }
}

// Error objects serve one call each: what a succeeding operation wrote
// into its object, or what a call nested in an operation recorded, never
// reaches another call's failure.
TEST_F(Dispatcher, EachCallsFailureCarriesOnlyItsOwnError) {
  H handle = Handle(u"T", 1);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  RecordingSession* session = manager->last;
  auto debug = [](INAError* e) { return std::u16string(e->pszGetMessage()); };

  // A success that leaves a note, a silent flag and an error behind.
  session->result = true;
  session->on_call = [](CNAError* e) {
    e->SetSilent(true);
    e->AddMessageText(u"left over");
    e->SetErrorMessage(0, 9, 9, nullptr, 13, u"T");
  };
  INAError* slot = nullptr;
  EXPECT_TRUE(dispatcher->bAdd(handle, 0, 0, &slot));
  EXPECT_EQ(nullptr, slot);
  session->on_call = nullptr;
  session->result = false;
  ASSERT_FALSE(dispatcher->bAdd(handle, 0, 0, &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(kNAErrorNotSupported, slot->nGetErrorIdentifier());
  EXPECT_EQ(std::u16string::npos, debug(slot).find(u"left over"));
  EXPECT_EQ(std::u16string::npos, debug(slot).find(u"=9.9"));
  EXPECT_FALSE(static_cast<CNAError*>(slot)->bIsSilent());
  slot->Release();

  // Calls nested in an operation, six levels deep, each failing with its
  // own error; the innermost also records error 13 at a site of its own.
  int depth = 0;
  std::vector<bool> marked;  // the nested failures holding error 13's site
  session->on_call = [&](CNAError* e) {
    int level = depth++;
    if (level == 5) {
      e->SetErrorMessage(0, 9, 9, nullptr, 13, u"T");
      return;
    }
    INAError* nested = nullptr;
    EXPECT_FALSE(dispatcher->bModify(handle, 0, 0, 0, 0, &nested));
    ASSERT_NE(nullptr, nested);
    EXPECT_EQ(kNAErrorNotSupported, nested->nGetErrorIdentifier());
    marked.push_back(debug(nested).find(u"=9.9") != std::u16string::npos);
    nested->Release();
    EXPECT_FALSE(e->bHasError()) << level;
  };
  slot = nullptr;
  EXPECT_FALSE(dispatcher->bAdd(handle, 0, 0, &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(kNAErrorNotSupported, slot->nGetErrorIdentifier());
  EXPECT_EQ(std::u16string::npos, debug(slot).find(u"=9.9"));
  slot->Release();
  EXPECT_EQ((std::vector<bool>{true, false, false, false, false}), marked);
  session->on_call = nullptr;
}

TEST_F(Dispatcher, FixedAnswersAndUnsupportedSlots) {
  H handle = Handle(u"T", 1);
  H stranger = Handle(u"T", 1);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  RecordingSession* session = manager->last;
  EXPECT_EQ(12, dispatcher->nGetVersion());
  EXPECT_EQ(8, dispatcher->nGetSubVersion());
  EXPECT_TRUE(dispatcher->bIsOpen(handle));
  EXPECT_EQ(0x123456789LL, dispatcher->nHook34(handle));

  // Unknown handles: fixed answers and no error.
  EXPECT_FALSE(dispatcher->bIsOpen(stranger));
  EXPECT_EQ(0, dispatcher->nHook34(stranger));
  EXPECT_TRUE(dispatcher->bDeactivateFilterOf(stranger, A(2), 0, 0));
  EXPECT_TRUE(dispatcher->bForgetPosition(stranger, A(2), 0));
  EXPECT_TRUE(dispatcher->bClose(stranger, 0, nullptr));

  session->calls.clear();
  session->result = false;
  EXPECT_TRUE(dispatcher->bDeactivateFilterOf(handle, A(2), A(3), A(4)));
  EXPECT_TRUE(dispatcher->bForgetPosition(handle, A(2), A(3)));
  ASSERT_EQ(2u, session->calls.size());
  EXPECT_EQ((std::vector<intptr_t>{A(2)}), session->calls[0].args);
  EXPECT_EQ((std::vector<intptr_t>{A(2)}), session->calls[1].args);

  struct Unsupported {
    std::function<bool(INAError**)> call;
    const char16_t* site;
  } cases[] = {
      {[&](INAError** e) { return dispatcher->bUnsupported56(0, 0, e); }, u"=6.3"},
      {[&](INAError** e) { return dispatcher->bUnsupported57(0, e); }, u"=6.4"},
      {[&](INAError** e) {
         return dispatcher->bUnsupported58(0, 0, 0, 0, 0, 0, 0, 0, e);
       },
       u"=6.5"},
  };
  for (const Unsupported& c : cases) {
    INAError* slot = nullptr;
    EXPECT_FALSE(c.call(&slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(8u, slot->nGetErrorIdentifier());
    EXPECT_EQ(7, slot->nGetCode());
    EXPECT_NE(std::u16string::npos,
              std::u16string(slot->pclGetXError()->pszGetDebugMessage()).find(c.site));
    slot->Release();
  }
}

TEST_F(Dispatcher, CacheHitsUntilTheHandleOrItsContextIsForgotten) {
  H handle = Handle(u"T", 7);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  uint64_t before = dispatcher->nGetRegistryLookups();
  INAError* slot = nullptr;
  EXPECT_TRUE(dispatcher->bAdd(handle, 0, 0, &slot));
  EXPECT_TRUE(dispatcher->bAdd(handle, 0, 0, &slot));
  EXPECT_LE(dispatcher->nGetRegistryLookups(), before + 1);
  RecordingSession* old_session = manager->last;

  // The context closes; its number and the handle come back with a new
  // session: calls must not reach the old one.
  manager->CloseContext(7);
  EXPECT_EQ(0u, dispatcher->nGetSessionCount());
  CNADispatcher* again = Open(handle);
  ASSERT_EQ(dispatcher, again);
  again->Release();
  RecordingSession* new_session = manager->last;
  ASSERT_NE(old_session, new_session);
  new_session->calls.clear();
  EXPECT_TRUE(dispatcher->bAdd(handle, A(2), A(3), &slot));
  ASSERT_EQ(1u, new_session->calls.size());
  EXPECT_EQ(nullptr, slot);
}

// A forwarded call enters its cached session without a reference of its
// own: a close that drops every other reference meanwhile, on another
// thread or from within the call, must leave the session alive until the
// call ends, and then free it.
TEST_F(Dispatcher, ASessionClosedWhileACallIsInItGoesWhenTheCallEnds) {
  for (bool from_inside : {false, true}) {
    SCOPED_TRACE(from_inside ? "closed by the call itself" : "closed on another thread");
    H handle = Handle(u"T", 1);
    CNADispatcher* opened = Open(handle);
    ASSERT_NE(nullptr, opened);
    RecordingSession* session = manager->last;
    std::atomic<bool> gone{false};
    session->gone = &gone;
    // Only the dispatcher, the registry and the cache hold it now.
    manager->made.pop_back();
    ReleaseBoth(session);
    INAError* slot = nullptr;
    ASSERT_TRUE(opened->bAdd(handle, 0, 0, &slot));  // cached

    std::promise<void> in_call;
    std::promise<void> closed;
    std::shared_future<void> may_return = closed.get_future().share();
    bool first = true;
    session->on_call = [&](CNAError*) {
      if (!first) return;  // the close's own bClose
      first = false;
      if (from_inside) {
        EXPECT_TRUE(opened->bClose(handle, 0, nullptr));
        EXPECT_FALSE(gone.load());
      } else {
        in_call.set_value();
        may_return.wait();
      }
    };
    bool ok = false;
    std::thread caller([&] {
      INAError* error = nullptr;
      ok = opened->bAdd(handle, 0, 0, &error);
      if (error != nullptr) error->Release();
    });
    if (!from_inside) {
      in_call.get_future().wait();
      EXPECT_TRUE(opened->bClose(handle, 0, nullptr));
      EXPECT_EQ(0u, opened->nGetSessionCount());
      EXPECT_FALSE(gone.load());
      closed.set_value();
    }
    caller.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(gone.load());
    // The handle is unknown now, through the cache or the registry.
    EXPECT_FALSE(opened->bAdd(handle, 0, 0, &slot));
    ASSERT_NE(nullptr, slot);
    EXPECT_EQ(19u, slot->nGetErrorIdentifier());
    slot->Release();
    opened->Release();
  }
}

TEST_F(Dispatcher, ACopiedContextReplacesTheTargetsSessionsInTheCache) {
  H source = Handle(u"T", 1);
  H target = Handle(u"T", 5);
  dispatcher = Open(target);
  ASSERT_NE(nullptr, dispatcher);
  CNADispatcher* other = Open(source);
  ASSERT_NE(nullptr, other);
  INAError* slot = nullptr;
  EXPECT_TRUE(dispatcher->bAdd(target, 0, 0, &slot));  // cached now
  EXPECT_EQ(1u, dispatcher->nGetSessionCount());

  // Context 5 becomes a copy of context 1: the target handle has no
  // session there any more.
  ASSERT_TRUE(manager->bCopyContext(1, 5, nullptr, &slot));
  EXPECT_EQ(0u, dispatcher->nGetSessionCount());
  EXPECT_FALSE(dispatcher->bAdd(target, 0, 0, &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(19u, slot->nGetErrorIdentifier());
  slot->Release();
  other->Release();
}

TEST_F(Dispatcher, FailedOpensForgetOnlyASessionTheCallMade) {
  H handle = Handle(u"T", 1);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  RecordingSession* first = manager->last;
  CNARegistry* registry = manager->pclFindRegistry(1);
  ASSERT_NE(nullptr, registry);
  EXPECT_EQ(1u, dispatcher->nGetSessionCount());
  EXPECT_EQ(1u, registry->nGetChildCount());

  // Slot 14 failing on a session that existed before keeps it.
  first->result = false;
  INAError* slot = nullptr;
  EXPECT_FALSE(dispatcher->bOpen(handle, &d, A(3), A(4), &slot));
  EXPECT_EQ("bOpen", first->calls.back().name);
  EXPECT_EQ((std::vector<intptr_t>{A(3), A(4)}), first->calls.back().args);
  EXPECT_EQ(1u, dispatcher->nGetSessionCount());
  EXPECT_EQ(1u, registry->nGetChildCount());
  slot->Release();
  slot = nullptr;

  // Slots 12, 13, 14 on a handle whose session they make and whose
  // operation fails: neither the registry nor the session table keeps it.
  manager->fail_sessions = true;
  H other = Handle(u"T", 1);
  using Open = std::function<bool(INAError**)>;
  for (const Open& open : std::vector<Open>{
           [&](INAError** e) { return dispatcher->bOpenOrCreate(other, &d, 0, 0, e); },
           [&](INAError** e) { return dispatcher->bCreate(other, &d, A(3), e); },
           [&](INAError** e) { return dispatcher->bOpen(other, &d, 0, 0, e); }}) {
    EXPECT_FALSE(open(&slot));
    EXPECT_EQ(1u, dispatcher->nGetSessionCount());
    EXPECT_EQ(1u, registry->nGetChildCount());
    slot->Release();
    slot = nullptr;
  }
  // Slot 13 always asks for the drop first.
  EXPECT_EQ((std::vector<intptr_t>{A(3), 1}), manager->made[2]->calls.back().args);

  // Slot 11 never forgets; slot 78 always does.
  EXPECT_FALSE(dispatcher->bPrepareHandle(other, &d, 0, 0, &slot));
  EXPECT_EQ(2u, dispatcher->nGetSessionCount());
  slot->Release();
  slot = nullptr;
  EXPECT_FALSE(dispatcher->bDrop(other, &d, &slot));
  EXPECT_EQ(1u, dispatcher->nGetSessionCount());
  EXPECT_EQ(1u, registry->nGetChildCount());
  slot->Release();
  slot = nullptr;

  // The manager's open (slot 36) keeping the handle on failure (0x10):
  // the session this call made is forgotten all the same.
  manager->fail_sessions = false;
  manager->open_tables = false;
  H third = Handle(u"T", 1);
  CNADispatcher* out = nullptr;
  EXPECT_FALSE(manager->bOpenTable(&d, third, 0x10, &out, &slot));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(1u, dispatcher->nGetSessionCount());
  EXPECT_EQ(1u, registry->nGetChildCount());
  slot->Release();
  manager->bDropRegistry(registry);
}

TEST_F(Dispatcher, WritesReachTheOtherSessionsAndTransactionEndsResetTheirConnection) {
  H a = Handle(u"T", 1);
  H b = Handle(u"T", 1);
  dispatcher = Open(a);
  RecordingSession* first = manager->last;
  CNADispatcher* same = Open(b);
  ASSERT_EQ(dispatcher, same);
  same->Release();
  RecordingSession* second = manager->last;
  ASSERT_NE(first, second);

  {
    CNAPendingNotifications pending(first);
    pending.bAdd(2, nullptr, 1);
    pending.bAdd(4, nullptr, 1);
    EXPECT_TRUE(second->notified.empty());  // not before the lock is left
  }
  EXPECT_EQ((std::vector<int>{2, 4}), second->notified);
  EXPECT_TRUE(first->notified.empty());

  // A write that throws still notifies, and the exception becomes the
  // caller's error.
  first->throw_in_add = true;
  INAError* slot = nullptr;
  EXPECT_FALSE(dispatcher->bAdd(a, 0, 0, &slot));
  ASSERT_NE(nullptr, slot);
  EXPECT_EQ(kNAErrorNotSupported, slot->nGetErrorIdentifier());
  slot->Release();
  EXPECT_EQ((std::vector<int>{2, 4, 3}), second->notified);

  manager->ResetConnectionHandles(first->pclGetConnection());
  EXPECT_EQ(1, first->resets);
  EXPECT_EQ(1, second->resets);
  manager->ResetConnectionHandles(nullptr);
  EXPECT_EQ(1, first->resets);
}

TEST_F(Dispatcher, CountsDecideWhenTheDispatcherGoes) {
  H handle = Handle(u"T", 1);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  EXPECT_EQ(1u, manager->nGetDispatcherCount());
  // A lookup in progress keeps it past the host's last release.
  dispatcher->AddUser();
  EXPECT_EQ(0, dispatcher->Release());
  EXPECT_EQ(1u, manager->nGetDispatcherCount());
  // Gone with the lookup: the table still held it, the last user goes.
  dispatcher->nRemoveUser();
  EXPECT_EQ(1u, manager->nGetDispatcherCount());
  // The table's own hold is dropped at the host's next full release.
  CNADispatcher* again = Open(handle);
  ASSERT_EQ(dispatcher, again);
  EXPECT_EQ(0, again->Release());
  EXPECT_EQ(0u, manager->nGetDispatcherCount());
  dispatcher = nullptr;
}

TEST_F(Dispatcher, ManagerSlotsHandOutAndCloseThroughDispatchers) {
  H handle = Handle(u"T", 3);
  dispatcher = Open(handle);
  ASSERT_NE(nullptr, dispatcher);
  RecordingSession* session = manager->last;
  // Slot 43: by description, with a reference for the caller.
  CNAError local;
  CNADispatcher* by_description = manager->pclFindOrCreateDispatcher(&d, u"T", &local);
  ASSERT_NE(nullptr, by_description);
  EXPECT_NE(dispatcher, by_description);
  EXPECT_EQ(1, by_description->nGetReferences());
  EXPECT_EQ(by_description, manager->pclFindOrCreateDispatcher(&d, u"T", &local));
  EXPECT_EQ(2, by_description->nGetReferences());
  by_description->Release();
  by_description->Release();

  // Slot 31 closes the context's handle through slot 79.
  session->calls.clear();
  INAError* slot = nullptr;
  EXPECT_TRUE(manager->bCloseDispatcherHandle(&d, 3, u"T", &slot));
  ASSERT_FALSE(session->calls.empty());
  EXPECT_EQ("bClose", session->calls.back().name);
  EXPECT_EQ(0u, dispatcher->nGetSessionCount());
  EXPECT_EQ(nullptr, slot);
}

}  // namespace
