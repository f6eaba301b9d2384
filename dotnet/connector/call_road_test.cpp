// The road of a call, member access by name, class names and the
// reflection wrappers.
#include "dotnet/connector/call_road.h"

#include <memory>
#include <set>
#include <thread>

#include "dotnet/connector/class_name.h"
#include "dotnet/connector/dotnet_loader.h"
#include "dotnet/connector/dotnet_stream.h"
#include "dotnet/connector/net_test_fixture.h"

namespace qgnet {
namespace {

using ::testing::HasSubstr;

class CallRoadTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    STInfoClasseDotNet info = Classe(u"Members");
    STOperationDotNet op = Op();
    members_ = execution_->piAlloue(&info, &op);
    ASSERT_NE(members_, nullptr);
    uint32_t id = 0;
    ASSERT_TRUE(members_->bExecuteConstructeur(nullptr, &id, &stack_, 0, &op));
  }
  void TearDown() override {
    members_->Release();
    NetTest::TearDown();
  }

  int32_t TopI4() {
    int32_t v = -1;
    CAny* top = stack_.pclGetValeur(0);
    if (top != nullptr) top->nGetI4(&v);
    return v;
  }

  IDotNetInstance* members_ = nullptr;
};

TEST_F(CallRoadTest, DeclaredTypesResolveOnceThenTheIdentifierCalls) {
  STMethodeDotNet echo{u"Echo", 2, u"String,Int32", nullptr};
  STOperationDotNet op = Op();
  uint32_t id = 0;
  for (int round = 0; round < 2; ++round) {
    int64_t before = ResolutionCount();
    CAny s, n;
    s.SetDSTRW(u"x");
    n.SetI4(round);
    stack_.Clear();
    stack_.bEmpile(s);
    stack_.bEmpile(n);
    ASSERT_TRUE(members_->bAppelleMethode(&echo, &id, &stack_, 2, true, &op)) << UserText(error_);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(ResolutionCount() - before, round == 0 ? 1 : 0);
    const char16_t* text = nullptr;
    stack_.pclGetValeur(0)->nGetPCXSTR(&text);
    EXPECT_EQ(std::u16string(text), round == 0 ? u"x0" : u"x1");
  }
  // A slot naming nothing, or another type's method, resolves again.
  uint32_t stale = 999;
  CAny s, n;
  s.SetDSTRW(u"y");
  n.SetI4(2);
  stack_.Clear();
  stack_.bEmpile(s);
  stack_.bEmpile(n);
  EXPECT_TRUE(members_->bAppelleMethode(&echo, &stale, &stack_, 2, true, &op));
  EXPECT_EQ(stale, id);
}

// An identifier cached on one type is not used on another type with a
// method of the same shape, whichever order the calls come in: that type
// calls its own, and the identifier keeps calling on its type.
TEST_F(CallRoadTest, AnIdentifierDoesNotCallOnAnotherType) {
  STInfoClasseDotNet other_info = Classe(u"Counting");
  STOperationDotNet op = Op();
  IDotNetInstance* other = execution_->piAlloue(&other_info, &op);
  ASSERT_NE(other, nullptr);
  uint32_t ctor = 0;
  ASSERT_TRUE(other->bExecuteConstructeur(nullptr, &ctor, &stack_, 0, &op));
  STMethodeDotNet compute{u"Compute", 1, u"Int32", nullptr};
  uint32_t id = 0;
  for (int round = 0; round < 2; ++round) {
    CAny x;
    x.SetI4(4 + round);
    stack_.Clear();
    stack_.bEmpile(x);
    ASSERT_TRUE(members_->bAppelleMethode(&compute, &id, &stack_, 1, true, &op))
        << UserText(error_);
    EXPECT_EQ(TopI4(), (4 + round) * 10);
    stack_.Clear();
    stack_.bEmpile(x);
    uint32_t on_other = id;
    ASSERT_TRUE(other->bAppelleMethode(&compute, &on_other, &stack_, 1, true, &op))
        << UserText(error_);
    EXPECT_EQ(TopI4(), 4 + round + 1);
    EXPECT_NE(on_other, id);
  }
  other->Release();
}

// Threads that resolve, register and call at once: each spelling of the
// declared type is a key of its own, so the registry grows while other
// threads read it, and every thread meets every key (some at the same
// moment). Each call answers its own method, and all threads end with one
// identifier per key.
TEST_F(CallRoadTest, CallsOnSeveralThreadsRegisterAndCallTheirOwnMethods) {
  const char16_t* const kInt[] = {u"int", u"Int",   u"iNt", u"inT",   u"INt",
                                  u"InT", u"iNT",   u"INT", u"Int32", u"System.Int32"};
  constexpr int kSpellings = 10;
  constexpr int kMethods = 3;  // Members.Compute, Counting.Compute, Members.Echo
  constexpr int kKeys = kSpellings * kMethods;
  constexpr int kThreads = 8;
  constexpr int kRounds = 20;
  std::vector<std::u16string> declared(kKeys);
  for (int k = 0; k < kKeys; ++k) {
    const char16_t* spelling = kInt[k % kSpellings];
    declared[k] = k / kSpellings == 2 ? u"String," + std::u16string(spelling) : spelling;
  }

  struct Worker {
    IDotNetInstance* members = nullptr;
    IDotNetInstance* counting = nullptr;
    uint32_t slots[kKeys] = {};
    std::string failure;
  };
  std::vector<Worker> workers(kThreads);
  STInfoClasseDotNet members_info = Classe(u"Members");
  STInfoClasseDotNet counting_info = Classe(u"Counting");
  STOperationDotNet op = Op();
  for (Worker& w : workers) {  // each thread has wrappers of its own
    w.members = execution_->piAlloue(&members_info, &op);
    w.counting = execution_->piAlloue(&counting_info, &op);
    ASSERT_TRUE(w.members && w.counting) << UserText(error_);
    uint32_t ctor = 0;
    ASSERT_TRUE(w.members->bExecuteConstructeur(nullptr, &ctor, &stack_, 0, &op));
    ASSERT_TRUE(w.counting->bExecuteConstructeur(nullptr, &ctor, &stack_, 0, &op));
  }

  auto run = [&](int t) {
    Worker& w = workers[static_cast<size_t>(t)];
    qghost::DotNetStack stack;
    _CXErrorModule20 error;
    STOperationDotNet thread_op{&error};
    std::u16string tag = u"t" + U16(std::to_string(t));
    for (int round = 0; round < kRounds && w.failure.empty(); ++round) {
      for (int n = 0; n < kKeys; ++n) {
        int k = (n + t * 7) % kKeys;
        int method = k / kSpellings;
        int32_t x = round * 100 + k;
        STMethodeDotNet description{method == 2 ? u"Echo" : u"Compute", method == 2 ? 2 : 1,
                                    declared[static_cast<size_t>(k)].c_str(), nullptr};
        CAny text, value;
        stack.Clear();
        if (method == 2) {
          text.SetDSTRW(tag.c_str());
          stack.bEmpile(text);
        }
        value.SetI4(x);
        stack.bEmpile(value);
        IDotNetInstance* target = method == 1 ? w.counting : w.members;
        if (!target->bAppelleMethode(&description, &w.slots[k], &stack, method == 2 ? 2 : 1,
                                     true, &thread_op)) {
          w.failure = "key " + std::to_string(k) + ": " + UserText(error);
          return;
        }
        CAny* top = stack.pclGetValeur(0);
        std::u16string got, want;
        if (method == 2) {
          const char16_t* answer = nullptr;
          if (top != nullptr) top->nGetPCXSTR(&answer);
          got = answer != nullptr ? answer : u"";
          want = tag + U16(std::to_string(x));
        } else {
          int32_t answer = -1;
          if (top != nullptr) top->nGetI4(&answer);
          got = U16(std::to_string(answer));
          want = U16(std::to_string(method == 0 ? x * 10 : x + 1));
        }
        if (got != want) {
          w.failure = "key " + std::to_string(k) + " answered " + U8(got);
          return;
        }
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(run, t);
  for (std::thread& thread : threads) thread.join();

  std::set<uint32_t> ids;
  for (const Worker& w : workers) {
    EXPECT_EQ(w.failure, "");
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(w.slots[k], workers[0].slots[k]) << "key " << k;
      ids.insert(w.slots[k]);
    }
  }
  EXPECT_EQ(ids.size(), size_t{kKeys});
  EXPECT_EQ(ids.count(0u), 0u);
  for (Worker& w : workers) {
    w.members->Release();
    w.counting->Release();
  }
}

// Threads that share one new type wrapper read its names at once, so that
// the first reads, which fill its texts, meet. Every thread reads what a
// wrapper of its own reads.
TEST_F(CallRoadTest, ThreadsSharingATypeReadTheSameNames) {
  constexpr int kRounds = 20;
  const char16_t* const kName =
      u"System.Collections.Generic.Dictionary`2[System.Int32,System.String]";
  auto names = [](CDotNetType* type, int n) {
    return type->FullName() + u"|" + type->Name() + u"|" + type->vpszGetNamespace() + u"|" +
           type->vpszGetNomAncienFormat() + u"|" + type->vcszGetParametreGenerique(n % 2) +
           (type->vbEstGenerique() ? u"|generic" : u"|plain");
  };
  CDotNetType* alone = manager_->pclGetTypeNom(kName);
  ASSERT_NE(alone, nullptr);
  const std::u16string want[2] = {names(alone, 0), names(alone, 1)};
  alone->vRelease();
  EXPECT_THAT(U8(want[1]), HasSubstr("|Dictionary`2|System.Collections.Generic|"));
  for (int round = 0; round < kRounds; ++round) {
    CDotNetType* type = manager_->pclGetTypeNom(kName);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(ReadTogether([&](int n) { return names(type, n); }, want), "")
        << "round " << round;
    type->vRelease();
  }
}

// The same for one new assembly wrapper and one new module wrapper.
TEST_F(CallRoadTest, ThreadsSharingAnAssemblyOrModuleReadTheSameNames) {
  using Reader = std::function<std::u16string(int)>;
  constexpr int kRounds = 20;
  // Lists nothing: each load answers a new assembly wrapper.
  CDotNetLoader loader(nullptr, nullptr);
  auto load = [&]() {
    return std::shared_ptr<IDotNetAssembly>(
        loader.vpiLoadAssemblyWithFullPath(fixture_.c_str(), &error_),
        [](IDotNetAssembly* a) { if (a != nullptr) a->vRelease(); });
  };
  auto text = [](const char16_t* s) { return std::u16string(s != nullptr ? s : u"(null)"); };
  struct Case {
    const char* what;
    std::function<Reader()> fresh;  // reads the names of a new wrapper
    const char* expect;
  };
  const Case cases[] = {
      {"assembly",
       [&]() -> Reader {
         std::shared_ptr<IDotNetAssembly> assembly = load();
         if (!assembly) return [](int) { return std::u16string(u"not loaded"); };
         return [=](int n) {
           const char16_t* reference = nullptr;
           assembly->vbGetReferencedAssembly(n % 2, &reference);
           return text(assembly->vpszGetName()) + u"|" +
                  text(assembly->vpszGetVersionCLRNecessaire()) + u"|" + text(reference);
         };
       },
       "NetFixture, Version=1.2.3.4"},
      {"module",
       [&]() -> Reader {
         std::shared_ptr<IDotNetAssembly> assembly = load();
         IDotNetModule* raw = assembly ? assembly->vpiGetModule(0) : nullptr;
         if (raw == nullptr) return [](int) { return std::u16string(u"no module"); };
         std::shared_ptr<IDotNetModule> module(raw, [](IDotNetModule* m) { m->vRelease(); });
         return [=](int) { return text(module->vpszGetName()); };
       },
       "NetFixture.dll"},
  };
  for (const Case& c : cases) {
    Reader alone = c.fresh();
    const std::u16string want[2] = {alone(0), alone(1)};
    alone = nullptr;
    EXPECT_THAT(U8(want[1]), HasSubstr(c.expect)) << c.what;
    for (int round = 0; round < kRounds; ++round) {
      EXPECT_EQ(ReadTogether(c.fresh(), want), "") << c.what << " round " << round;
    }
  }
}

TEST_F(CallRoadTest, NamesIgnoringCaseAndMemberLookupOrder) {
  STOperationDotNet op = Op();
  CAny four;
  four.SetI4(4);
  stack_.bEmpile(four);
  STMethodeDotNet compute{u"compute", 0, nullptr, nullptr};
  uint32_t id = 0;
  ASSERT_TRUE(members_->bAppelleMethode(&compute, &id, &stack_, 1, true, &op))
      << UserText(error_);
  EXPECT_EQ(TopI4(), 40);

  // Only a field, named in another case: the fourth lookup.
  ASSERT_TRUE(members_->bEmpilePropertyMembre(u"OnlyField", &stack_, &op)) << UserText(error_);
  EXPECT_EQ(TopI4(), 3);
  // Property Value and field value: the exact field first, then the
  // property ignoring case.
  ASSERT_TRUE(members_->bEmpilePropertyMembre(u"value", &stack_, &op));
  EXPECT_EQ(TopI4(), 2);
  ASSERT_TRUE(members_->bEmpilePropertyMembre(u"VALUE", &stack_, &op));
  EXPECT_EQ(TopI4(), 1);
  // The field form does not see properties.
  error_.RAZ();
  EXPECT_FALSE(members_->bEmpileMembre(u"Boom", &stack_, &op));
  EXPECT_EQ(MessageIds(error_).front(), 200012u);

  // Assignment converts to the member's type.
  CAny seven;
  seven.SetI2(7);
  stack_.bEmpile(seven);
  ASSERT_TRUE(members_->bAffecteProperty(u"Value", &stack_, &op)) << UserText(error_);
  ASSERT_TRUE(members_->bEmpileProperty(u"Value", &stack_, &op));
  EXPECT_EQ(TopI4(), 7);

  // A throwing setter: 3602 first, the exception's text after.
  error_.RAZ();
  EXPECT_FALSE(members_->bAffecteProperty(u"Boom", &stack_, &op));
  EXPECT_EQ(MessageIds(error_).front(), 3602u);
  EXPECT_THAT(UserText(error_), HasSubstr("setter refused"));

  // Static members through the execution interface.
  STInfoClasseDotNet info = Classe(u"Members");
  ASSERT_TRUE(execution_->bEmpileMembreStatique(&info, u"counter", &stack_, &op));
  EXPECT_EQ(TopI4(), 5);
}

TEST_F(CallRoadTest, AnInstanceWithoutObjectFails) {
  STInfoClasseDotNet info = Classe(u"Members");
  STOperationDotNet op = Op();
  IDotNetInstance* empty = execution_->piAlloue(&info, &op);
  ASSERT_NE(empty, nullptr);
  STMethodeDotNet compute{u"Compute", 0, nullptr, nullptr};
  uint32_t id = 0;
  EXPECT_FALSE(empty->bAppelleMethode(&compute, &id, &stack_, 0, true, &op));
  std::vector<uint32_t> ids = MessageIds(error_);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0], 200001u);
  EXPECT_EQ(ids[1], 3600u);
  EXPECT_THAT(UserText(error_), HasSubstr("Compute"));
  empty->Release();
}

TEST_F(CallRoadTest, ByReferenceArgumentsAreWrittenBackAndChecked) {
  STInfoClasseDotNet info = Classe(u"Overloads");
  STOperationDotNet op = Op();
  CAny x, s;
  x.SetI4(21);
  s.SetDSTRW(u"");
  stack_.bEmpile(x);
  stack_.bEmpile(s);
  STMethodeDotNet twice{u"Twice", 0, nullptr, nullptr};
  uint32_t id = 0;
  ASSERT_TRUE(execution_->bAppelleMethodeStatique(&info, &twice, &id, &stack_, 2, false, &op))
      << UserText(error_);
  int32_t doubled = 0;
  stack_.pclGetValeur(1)->nGetI4(&doubled);
  EXPECT_EQ(doubled, 42);
  const char16_t* text = nullptr;
  stack_.pclGetValeur(0)->nGetPCXSTR(&text);
  EXPECT_EQ(std::u16string(text), u"done");

  // 2^40 does not fit the I2 slot it goes back to.
  CAny small;
  small.SetI2(1);
  stack_.Clear();
  stack_.bEmpile(small);
  STMethodeDotNet widen{u"Widen", 1, u"Int64&", nullptr};
  error_.RAZ();
  EXPECT_FALSE(execution_->bAppelleMethodeStatique(&info, &widen, &id, &stack_, 1, false, &op));
  EXPECT_EQ(MessageIds(error_).front(), 200002u);
  int16_t kept = 0;
  stack_.pclGetValeur(0)->nGetI2(&kept);
  EXPECT_EQ(kept, 1);
}

// What a call leaves on the stack above `below` values: "nothing", "null",
// or the top value's type and value.
std::string Pushed(qghost::DotNetStack& stack, int32_t below) {
  if (stack.nGetNbValeur() == below) return "nothing";
  if (stack.nGetNbValeur() != below + 1) return "more than one value";
  const CAny* top = stack.pclGetValeur(0);
  if (top->bEstNull()) return "null";
  switch (top->nGetCode()) {
    case qg::kAnyI4: {
      int32_t n = 0;
      top->nGetI4(&n);
      return "I4 " + std::to_string(n);
    }
    case qg::kAnyI8: {
      int64_t n = 0;
      top->nGetI8(&n);
      return "I8 " + std::to_string(n);
    }
    case qg::kAnyR8: {
      double r = 0;
      top->nGetR8(&r);
      return "R8 " + std::to_string(r);
    }
    case qg::kAnyBOOL: {
      int32_t b = 0;
      top->nGetBOOL(&b);
      return "BOOL " + std::to_string(b);
    }
    case qg::kAnyDSTRW: {
      const char16_t* text = nullptr;
      top->nGetPCXSTR(&text);
      return "DSTRW " + U8(text != nullptr ? text : u"");
    }
    default:
      return "code " + std::to_string(top->nGetCode());
  }
}

// Calls made again through their identifier (numbers in, any result out)
// give what the first call gave, every time: results of every kind pushed
// (null and none included), arguments in their order and widened to their
// parameters, and failures reported as such with nothing pushed.
TEST_F(CallRoadTest, CallsAgainThroughTheIdentifierAnswerAsTheFirst) {
  auto i4 = [](int32_t v) { CAny a; a.SetI4(v); return a; };
  struct Case {
    const char16_t* classe;
    bool on_instance;  // on the Members instance, else static
    const char16_t* name;
    const char16_t* declared;
    std::vector<CAny> args;
    std::string want;  // Pushed(), or "fails: " and a part of the message
  };
  CAny i8, r8, yes, i2;
  i8.SetI8(2);
  r8.SetR8(0.5);
  yes.SetBOOL(1);
  i2.SetI2(5);
  const Case cases[] = {
      {u"Members", true, u"Compute", u"Int32", {i4(7)}, "I4 70"},
      {u"Picks", false, u"Weigh", u"Int32,Int64,Double", {i4(3), i8, r8}, "R8 320.500000"},
      {u"Picks", false, u"Wide", u"Int64", {i4(21)}, "I8 42"},
      {u"Picks", false, u"Flip", u"Boolean", {yes}, "BOOL 0"},
      {u"Picks", false, u"NullFor", u"Int32", {i4(1)}, "null"},
      {u"Picks", false, u"Quiet", u"Int32", {i4(1)}, "nothing"},
      {u"Picks", false, u"Seen", u"Object", {i2}, "DSTRW Int16 5"},
      {u"Picks", false, u"Stamp", u"DateTime", {i4(3)}, "fails: DateTime"},
      {u"Values", false, u"Throw", u"", {}, "fails: inner cause"},
      {u"Members", false, u"Compute", u"Int32", {i4(7)}, "fails: requires a target"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.name));
    STInfoClasseDotNet info = Classe(c.classe);
    STMethodeDotNet method{c.name, c.declared[0] != u'\0' ? 1 : 0, c.declared, nullptr};
    uint32_t id = 0;
    for (int round = 0; round < 3; ++round) {
      stack_.Clear();
      for (const CAny& a : c.args) stack_.bEmpile(a);
      int32_t below = stack_.nGetNbValeur();
      error_.RAZ();
      STOperationDotNet op = Op();
      int64_t resolutions = ResolutionCount();
      bool ok = c.on_instance
                    ? members_->bAppelleMethode(&method, &id, &stack_, below, true, &op)
                    : execution_->bAppelleMethodeStatique(&info, &method, &id, &stack_, below,
                                                          true, &op);
      std::string got = ok ? Pushed(stack_, below) : "fails: " + UserText(error_);
      if (c.want.rfind("fails: ", 0) == 0) {
        EXPECT_FALSE(ok) << "round " << round << ": " << got;
        EXPECT_THAT(got, HasSubstr(c.want.substr(7))) << "round " << round;
        EXPECT_EQ(MessageIds(error_).back(), 200002u) << "round " << round;
        EXPECT_EQ(stack_.nGetNbValeur(), below) << "round " << round;
      } else {
        EXPECT_EQ(got, c.want) << "round " << round;
        if (round > 0) {
          EXPECT_EQ(ResolutionCount(), resolutions) << "round " << round;
        }
      }
    }
  }

  // A by-reference parameter is written back on every call, numbers in.
  STInfoClasseDotNet overloads = Classe(u"Overloads");
  STMethodeDotNet widen{u"Widen", 1, u"Int64&", nullptr};
  uint32_t id = 0;
  for (int round = 0; round < 3; ++round) {
    stack_.Clear();
    stack_.bEmpile(i8);
    STOperationDotNet op = Op();
    ASSERT_TRUE(execution_->bAppelleMethodeStatique(&overloads, &widen, &id, &stack_, 1, false,
                                                     &op))
        << UserText(error_);
    int64_t written = 0;
    stack_.pclGetValeur(0)->nGetI8(&written);
    EXPECT_EQ(written, int64_t{1} << 40) << "round " << round;
  }
}

TEST_F(CallRoadTest, ClassNames) {
  struct Case {
    const char16_t* ns;
    const char16_t* name;
    const char16_t* full;
  };
  ASSERT_TRUE(manager_->Loader().vbLoadAddAssembly(fixture_.c_str(), &error_));
  const Case cases[] = {
      {u"Fixture", u"Outer.Inner", u"Fixture.Outer+Inner"},
      {u"System.Collections.Generic", u"List<Int32>",
       u"System.Collections.Generic.List`1[[System.Int32"},
      {u"System.Collections.Generic", u"Dictionary<String,List<Int32>>",
       u"System.Collections.Generic.Dictionary`2[[System.String"},
      {u"System", u"Int32[]", u"System.Int32[]"},
  };
  for (const Case& c : cases) {
    CDotNetType* type = manager_->pclGetType(c.name, c.ns);
    ASSERT_NE(type, nullptr) << U8(c.name);
    EXPECT_EQ(type->FullName().rfind(c.full, 0), 0u) << U8(type->FullName());
    type->vRelease();
  }
  CDotNetClassName nested(u"Dictionary<String,Dictionary<Int32,Int32>>", u"");
  EXPECT_EQ(nested.Arguments().size(), 2u);
  EXPECT_EQ(nested.BaseName(), u"Dictionary`2");
  EXPECT_EQ(s_GetStandardName(u"List`1"), u"List<T>");
  EXPECT_EQ(s_GetStandardName(u"Dictionary`2"), u"Dictionary<T,T>");
  EXPECT_EQ(s_GetStandardName(
                u"System.EventHandler`1[[System.EventArgs, System.Private.CoreLib]]"),
            u"System.EventHandler<System.EventArgs>");
  EXPECT_EQ(s_GetStandardName(u"Fixture.Box"), u"Fixture.Box");
}

TEST_F(CallRoadTest, WrappersDescribeMembersAndLeaveNoHandleBehind) {
  CDotNetType* type = manager_->pclGetType(u"Members", u"Fixture");
  ASSERT_NE(type, nullptr);
  bool found_compute = false;
  for (int i = 0; i < type->vnGetNbMethod(); ++i) {
    IDotNetMethod* m = type->vpiGetMethod(i);
    if (std::u16string(m->vpszGetName()) == u"Compute") {
      found_compute = true;
      EXPECT_EQ(m->vnGetNbParameter(), 1);
      IDotNetParameter* p = m->vpiGetParameter(0);
      EXPECT_EQ(std::u16string(p->vpszGetName()), u"x");
      EXPECT_EQ(std::u16string(p->vpszGetTypeFullName()), u"System.Int32");
      p->vRelease();
      EXPECT_EQ(std::u16string(m->vpszGetReturnTypeName()), u"Int32");
      EXPECT_TRUE(m->bIsPublic());
      EXPECT_FALSE(m->bIsStatic());
    }
    m->vRelease();
  }
  EXPECT_TRUE(found_compute);
  EXPECT_GE(type->vnGetNbProperty(), 2);
  IDotNetType* base = type->vpiGetClasseBase();
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(std::u16string(base->vcszGetNomInterne()), u"System.Object");
  base->vRelease();

  int64_t handles = ClrIfStarted()->HandleCount();
  int64_t wrappers = LiveWrappers();
  for (int i = 0; i < 100000; ++i) {
    IDotNetField* f = type->vpiGetField(0);
    ASSERT_NE(f, nullptr);
    f->vRelease();
  }
  EXPECT_EQ(ClrIfStarted()->HandleCount(), handles);
  EXPECT_EQ(LiveWrappers(), wrappers);
  type->vRelease();
}

TEST_F(CallRoadTest, StreamOverARuntimeStream) {
  STInfoClasseDotNet info = Classe(u"Members");
  STOperationDotNet op = Op();
  ASSERT_TRUE(execution_->bEmpilePropertyStatique(&info, u"Bytes", &stack_, &op));
  auto* memory = static_cast<CDotNetInstance*>(stack_.piGetInstance(0));
  ASSERT_NE(memory, nullptr);
  CDotNetStream owned(memory->Object(), u"lib.qgl");
  CDotNetStream* stream = &owned;
  stack_.Pop(1);
  EXPECT_EQ(stream->nGetSize(), 8);
  EXPECT_EQ(std::u16string(stream->pszGetPath()), u"lib.qgl");
  EXPECT_EQ(stream->nGetAccess(), qg::GENERIC_READ | qg::GENERIC_WRITE);
  uint8_t bytes[4] = {};
  uint32_t read = 0;
  ASSERT_TRUE(stream->bReadAt(5, bytes, 4, &read));
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(bytes[0], 15);
  EXPECT_EQ(stream->nGetPosition(), 8);
  ASSERT_TRUE(stream->bSeek(-6, qg::FILE_END));
  ASSERT_TRUE(stream->bRead(bytes, 1, &read));
  EXPECT_EQ(bytes[0], 12);
  uint32_t written = 9;
  EXPECT_TRUE(stream->bWrite(bytes, 1, &written));
  EXPECT_EQ(written, 0u);
}

}  // namespace
}  // namespace qgnet
