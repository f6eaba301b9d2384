// The .NET connector against plain C# and memcpy, same run: the finder's
// scan, one-way value conversions and calls through the execution
// interface. Also prints the runtime's start time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "dotnet/connector/bridge_value.h"
#include "dotnet/connector/call_road.h"
#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/dotnet_execution.h"
#include "dotnet/connector/dotnet_manager.h"
#include "dotnet/connector/host_array.h"
#include "dotnet/connector/net_text.h"
#include "dotnet/convert/conversion_cast.h"
#include "errors/module_errors.h"
#include "host/core/calc_entries.h"
#include "host/core/dotnet_stack.h"
#include "host/core/host_runtime.h"
#include "support/currency.h"
#include "support/frame/module_services.h"
#include "support/platform/module.h"

namespace {

using qgnet::ClrIfStarted;
constexpr int kCalls = 1000;

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('/')); }

std::string FixtureDll() {
  return Folder(Folder(qg::ModulePathOf(reinterpret_cast<const void*>(&FixtureDll)))) +
         "/managed/bin/NetFixture/release/NetFixture.dll";
}

struct Setup {
  Setup() {
    qghost::HostRuntime& host = qghost::Runtime();
    qg::Services().piStringMemory = &host.Strings();
    qg::Services().piInfoLocale = &host.Locale();
    qg::Services().piValueObjects = &host.Values();
    qg::Services().pfnConversion = &qghost::ConversionDepassementExt;
    qg::Services().pfnFinConversion = &qghost::FinConversion;
    qg::InstalleConversionMoteur();
    std::u16string why;
    if (qgnet::Clr(&why) == nullptr) {
      std::fprintf(stderr, "no runtime: %s\n", qgnet::U8(why).c_str());
      return;
    }
    manager = qgnet::CDotNetManager::Acquire();
    execution = qgnet::CDotNetExecution::Acquire();
    fixture = qgnet::U16(FixtureDll());
    framework = manager->pszGetGAC();
  }
  qgnet::CDotNetManager* manager = nullptr;
  qgnet::CDotNetExecution* execution = nullptr;
  std::u16string fixture;
  std::u16string framework;
};

Setup& S() {
  static Setup setup;
  return setup;
}

template <typename F>
void Manual(benchmark::State& state, F&& body) {
  for (auto _ : state) {
    auto begin = std::chrono::steady_clock::now();
    body();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
  }
}

// --- finder ---

void BM_FindInPath(benchmark::State& state) {
  qgnet::CDotNetFinder& finder = S().manager->Finder();
  Manual(state, [&] {
    finder.vClear();
    finder.vbFindInPath(S().framework.c_str());
  });
  state.counters["files"] = finder.vnGetNb();
}

void BM_GetAssemblyNameLoop(benchmark::State& state) {
  for (auto _ : state) {
    state.SetIterationTime(ClrIfStarted()->BenchAssemblyNames(S().framework.c_str()) / 1e9);
  }
}

// --- values ---

void BM_ArrayToNet(benchmark::State& state) {
  int32_t n = 1000000;
  std::unique_ptr<qgnet::CTableauHote> array = qgnet::CTableauHote::Cree(8, 1, &n);
  qgnet::BridgeValue value{};
  value.code = 4130;
  value.object = reinterpret_cast<qgnet::ManagedId>(array.get());
  Manual(state, [&] { ClrIfStarted()->ToNetOnly(&value); });
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<int32_t> from(1000000, 7), to(1000000);
  Manual(state, [&] {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(int32_t));
    benchmark::DoNotOptimize(to.data());
  });
}

void BM_CurrencyToDecimal(benchmark::State& state) {
  qg::Fixe6 amount{};
  qg::pFixe6DepuisChaine(&amount, u"12345.678901");
  CAny cy;
  cy.SetCY(amount);
  Manual(state, [&] {
    for (int i = 0; i < kCalls; ++i) {
      qgnet::OutgoingValue out;
      qgnet::AnyToBridge(cy, &out);
      ClrIfStarted()->ToNetOnly(&out.value);
    }
  });
}

void BM_DecimalParse(benchmark::State& state) {
  for (auto _ : state) {
    state.SetIterationTime(ClrIfStarted()->BenchDecimalParse(u"12345.678901", kCalls) / 1e9);
  }
}

// --- calls ---

struct CallFixture {
  CallFixture() {
    STInfoClasseDotNet info{S().fixture.c_str(), u"Fixture", u"Members"};
    _CXErrorModule20 error;
    STOperationDotNet op{&error};
    instance = S().execution->piAlloue(&info, &op);
    uint32_t id = 0;
    instance->bExecuteConstructeur(nullptr, &id, &stack, 0, &op);
    qgnet::CDotNetType* type = static_cast<qgnet::CDotNetInstance*>(instance)->Type();
    for (int i = 0; i < type->vnGetNbMethod(); ++i) {
      IDotNetMethod* m = type->vpiGetMethod(i);
      if (std::u16string(m->vpszGetName()) == u"Compute") {
        method = static_cast<qgnet::CDotNetMethod*>(m)->Id();
        keep = m;
        break;
      }
      m->vRelease();
    }
    Warm();
  }
  // The runtime compiles a method again, optimised with what its first
  // runs showed, some time after they begin: both sides of the call
  // figures run until then, so that each is measured as a program running
  // for a while runs it.
  void Warm() {
    _CXErrorModule20 error;
    STOperationDotNet op{&error};
    STMethodeDotNet compute{u"Compute", 1, u"Int32", nullptr};
    CAny argument;
    argument.SetI4(3);
    uint32_t id = 0;
    auto* object = static_cast<qgnet::CDotNetInstance*>(instance);
    // Each side alone, as a program calling only it would run it.
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (std::chrono::steady_clock::now() < end) {
      ClrIfStarted()->BenchInvoke(method, object->Object(), kCalls, 0);
    }
    end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
    while (std::chrono::steady_clock::now() < end) {
      for (int i = 0; i < kCalls; ++i) {
        stack.bEmpile(argument);
        instance->bAppelleMethode(&compute, &id, &stack, 1, true, &op);
        stack.Pop(2);
      }
    }
  }
  IDotNetInstance* instance = nullptr;
  IDotNetMethod* keep = nullptr;
  qgnet::ManagedId method = 0;
  qghost::DotNetStack stack;
};

CallFixture& C() {
  static CallFixture fixture;
  return fixture;
}

// n calls of Members.Compute(Int32) through the execution interface: the
// argument pushed on the host stack, converted, the method run, its Int32
// result converted and pushed, both popped. The reference, BM_MethodInfoInvoke,
// runs the same method through MethodInfo.Invoke with the argument boxed
// into an object[] and the result unboxed.
void Calls(benchmark::State& state, const STMethodeDotNet& method, bool cached) {
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  CAny argument;
  argument.SetI4(3);
  uint32_t id = 0;
  CallFixture& c = C();
  Manual(state, [&] {
    for (int i = 0; i < kCalls; ++i) {
      c.stack.bEmpile(argument);
      if (!cached) id = 0;
      c.instance->bAppelleMethode(&method, &id, &c.stack, 1, true, &op);
      c.stack.Pop(2);
    }
  });
}

// The host's share of a call, without the call: the argument pushed, an
// Int32 result set in a value pushed for it, both popped (what
// BM_CallCachedId does around the connector's own work).
void BM_HostStackOnly(benchmark::State& state) {
  CAny argument;
  argument.SetI4(3);
  CallFixture& c = C();
  Manual(state, [&] {
    for (int i = 0; i < kCalls; ++i) {
      c.stack.bEmpile(argument);
      c.stack.pclEmpileValeur()->SetI4(30);
      c.stack.Pop(2);
    }
  });
}

// The parts of a cached call, to see where its time goes:
// BM_EmptyEntry: n calls from native code into an empty .NET function (the
// transition every call pays); BM_StubAlone: n calls of the method's stub
// with its argument record filled and the result record read, no host
// stack and no lookup (transition, stub, method).
void BM_EmptyEntry(benchmark::State& state) {
  const qgnet::ManagedTable* clr = ClrIfStarted();
  Manual(state, [&] {
    int64_t sum = 0;
    for (int i = 0; i < kCalls; ++i) sum += clr->HandleCount();
    benchmark::DoNotOptimize(sum);
  });
}

void BM_StubAlone(benchmark::State& state) {
  const qgnet::ManagedTable* clr = ClrIfStarted();
  CallFixture& c = C();
  auto* instance = static_cast<qgnet::CDotNetInstance*>(c.instance);
  // One call through the connector registers the method and its stub.
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  STMethodeDotNet method{u"Compute", 1, u"Int32", nullptr};
  uint32_t id = 0;
  CAny argument;
  argument.SetI4(3);
  c.stack.bEmpile(argument);
  bool called = c.instance->bAppelleMethode(&method, &id, &c.stack, 1, true, &op);
  c.stack.Clear();
  qgnet::CDotNetMember* member = called ? S().manager->pclGetMethod(id) : nullptr;
  bool direct = false;
  qgnet::ManagedId stub = member != nullptr ? member->Stub(&direct) : 0;
  if (stub == 0) {
    state.SkipWithError("no stub");
    return;
  }
  qgnet::ManagedId type = instance->Type()->Id();
  qgnet::ManagedId target = instance->Object();
  Manual(state, [&] {
    int64_t sum = 0;
    for (int i = 0; i < kCalls; ++i) {
      qgnet::BridgeValue arg{};
      arg.code = qg::kAnyI4;
      arg.i = 3;
      qgnet::BridgeValue result{};
      qgnet::ManagedId exc = 0;
      clr->CallStub(stub, type, target, &arg, 1, 1, &result, &exc);
      sum += result.i;
    }
    benchmark::DoNotOptimize(sum);
  });
}

// The cached call and MethodInfo.Invoke (as BM_CallCachedId and
// BM_MethodInfoInvoke) measured in pairs, one right after the other, the
// order alternating from pair to pair, so that a load that comes and goes
// on the machine weighs on both sides of each ratio alike. Invoke's own
// speed still moves from run to run with the code the runtime compiled
// for it (seen between about 15 and 40 us per 1000 calls here): compare
// runs by this ratio and by invoke_us together.
std::vector<double> g_call_ratios;  // per pair, cached call over Invoke

void BM_CallPairs(benchmark::State& state) {
  _CXErrorModule20 error;
  STOperationDotNet op{&error};
  STMethodeDotNet method{u"Compute", 1, u"Int32", nullptr};
  CAny argument;
  argument.SetI4(3);
  uint32_t id = 0;
  CallFixture& c = C();
  auto* instance = static_cast<qgnet::CDotNetInstance*>(c.instance);
  auto cached = [&] {
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) {
      c.stack.bEmpile(argument);
      c.instance->bAppelleMethode(&method, &id, &c.stack, 1, true, &op);
      c.stack.Pop(2);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  };
  auto invoke = [&] {
    return ClrIfStarted()->BenchInvoke(c.method, instance->Object(), kCalls, 0) / 1e9;
  };
  cached();  // the identifier registered, out of the timing
  g_call_ratios.clear();
  int pair = 0;
  double call_sum = 0, invoke_sum = 0;
  for (auto _ : state) {
    double call_s, invoke_s;
    if (pair++ % 2 == 0) {
      call_s = cached();
      invoke_s = invoke();
    } else {
      invoke_s = invoke();
      call_s = cached();
    }
    if (invoke_s > 0) g_call_ratios.push_back(call_s / invoke_s);
    call_sum += call_s;
    invoke_sum += invoke_s;
    state.SetIterationTime(call_s + invoke_s);
  }
  if (pair > 0) {
    state.counters["call_us"] = call_sum * 1e6 / pair;
    state.counters["invoke_us"] = invoke_sum * 1e6 / pair;
  }
}

void BM_CallCachedId(benchmark::State& state) {
  Calls(state, STMethodeDotNet{u"Compute", 1, u"Int32", nullptr}, true);
}

void BM_CallByName(benchmark::State& state) {
  Calls(state, STMethodeDotNet{u"Compute", 0, nullptr, nullptr}, false);
}

void BM_MethodInfoInvoke(benchmark::State& state) {
  auto* instance = static_cast<qgnet::CDotNetInstance*>(C().instance);
  for (auto _ : state) {
    state.SetIterationTime(
        ClrIfStarted()->BenchInvoke(C().method, instance->Object(), kCalls, 0) / 1e9);
  }
}

void BM_DelegateCall(benchmark::State& state) {
  auto* instance = static_cast<qgnet::CDotNetInstance*>(C().instance);
  for (auto _ : state) {
    state.SetIterationTime(
        ClrIfStarted()->BenchInvoke(C().method, instance->Object(), kCalls, 1) / 1e9);
  }
}

// --- calls from .NET into the host (the stand-in host beside the module) ---

void BM_RuntimeProcedure(benchmark::State& state) {
  for (auto _ : state) {
    int64_t ns = ClrIfStarted()->BenchRuntimeCall(kCalls, 0);
    if (ns < 0) {
      state.SkipWithError("the host cannot be reached");
      return;
    }
    state.SetIterationTime(ns / 1e9);
  }
}

void BM_BarePInvoke(benchmark::State& state) {
  for (auto _ : state) {
    int64_t ns = ClrIfStarted()->BenchRuntimeCall(kCalls, 1);
    if (ns < 0) {
      state.SkipWithError("the host cannot be reached");
      return;
    }
    state.SetIterationTime(ns / 1e9);
  }
}

BENCHMARK(BM_FindInPath)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetAssemblyNameLoop)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrayToNet)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CurrencyToDecimal)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecimalParse)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MethodInfoInvoke)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DelegateCall)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallCachedId)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallByName)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostStackOnly)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EmptyEntry)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StubAlone)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallPairs)->UseManualTime()->Iterations(2001)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RuntimeProcedure)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BarePInvoke)->UseManualTime()->Unit(benchmark::kMicrosecond);

void Line(const qg::RatioReporter& r, const char* what, const std::string& name,
          const std::string& reference, const char* goal) {
  double ratio;
  const std::string suffix = "/manual_time";
  if (r.Ratio(name + suffix, reference + suffix, &ratio)) {
    std::printf("  %-44s %7.2f   (goal %s)\n", what, ratio, goal);
  }
}

void PrintRatios(const qg::RatioReporter& r) {
  std::printf("\nratios, same run (lower is faster)\n");
  Line(r, "finder scan / C# GetAssemblyName loop", "BM_FindInPath", "BM_GetAssemblyNameLoop",
       "1.5");
  Line(r, "int[10^6] host -> .NET / memcpy", "BM_ArrayToNet", "BM_Memcpy", "2");
  Line(r, "CY -> decimal / decimal.Parse", "BM_CurrencyToDecimal", "BM_DecimalParse", "3");
  Line(r, "call, cached id / MethodInfo.Invoke", "BM_CallCachedId", "BM_MethodInfoInvoke", "2");
  Line(r, "call, by name / MethodInfo.Invoke", "BM_CallByName", "BM_MethodInfoInvoke", "-");
  Line(r, "call, cached id / delegate", "BM_CallCachedId", "BM_DelegateCall", "-");
  if (!g_call_ratios.empty()) {
    std::vector<double> sorted = g_call_ratios;
    std::sort(sorted.begin(), sorted.end());
    std::printf("  %-44s %7.2f   (goal 2; median of %zu pairs)\n",
                "call, cached id / MethodInfo.Invoke, paired", sorted[sorted.size() / 2],
                sorted.size());
  }
  std::printf("  parts of a cached call, each / MethodInfo.Invoke:\n");
  Line(r, "  host stack alone (no call)", "BM_HostStackOnly", "BM_MethodInfoInvoke", "-");
  Line(r, "  empty native -> .NET entry", "BM_EmptyEntry", "BM_MethodInfoInvoke", "-");
  Line(r, "  stub alone (entry, stub, method)", "BM_StubAlone", "BM_MethodInfoInvoke", "-");
  Line(r, ".NET -> host empty procedure / bare P/Invoke", "BM_RuntimeProcedure",
       "BM_BarePInvoke", "20");
  std::printf("  runtime start: %.1f ms\n", qgnet::ClrStartMicroseconds() / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  S();
  return qg::RunBenchmarks(argc, argv, PrintRatios);
}
