// References the benchmarks measure the connector against, in the same
// run: the same work done by plain C#.
using System;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

internal static unsafe class Bench {
  internal static void Fill(ManagedTable* m) {
    m->BenchAssemblyNames = &BenchAssemblyNames;
    m->BenchDecimalParse = &BenchDecimalParse;
    m->BenchInvoke = &BenchInvoke;
    m->ToNetOnly = &ToNetOnly;
    m->BenchRuntimeCall = &BenchRuntimeCall;
  }

  static long Elapsed(Stopwatch watch) =>
      (long)(watch.ElapsedTicks * (1e9 / Stopwatch.Frequency));

  // Nanoseconds of AssemblyName.GetAssemblyName over every *.dll of a
  // folder tree.
  [UnmanagedCallersOnly]
  static long BenchAssemblyNames(char* folder) {
    try {
      var watch = Stopwatch.StartNew();
      foreach (string file in Directory.EnumerateFiles(Native.In(folder), "*.dll",
                                                       SearchOption.AllDirectories)) {
        try { AssemblyName.GetAssemblyName(file); } catch { }
      }
      return Elapsed(watch);
    } catch {
      return -1;
    }
  }

  // Nanoseconds of n invariant decimal.Parse calls.
  [UnmanagedCallersOnly]
  static long BenchDecimalParse(char* text, int n) {
    try {
      string s = Native.In(text);
      decimal sum = 0;
      var watch = Stopwatch.StartNew();
      for (int i = 0; i < n; ++i) sum += decimal.Parse(s, CultureInfo.InvariantCulture);
      long ns = Elapsed(watch);
      GC.KeepAlive(sum);
      return ns;
    } catch {
      return -1;
    }
  }

  // Nanoseconds of n calls of a method taking one Int32: through
  // MethodInfo.Invoke (mode 0) or a delegate (mode 1).
  [UnmanagedCallersOnly]
  static long BenchInvoke(IntPtr methodId, IntPtr targetId, int n, int mode) {
    try {
      var m = Handles.Get<MethodInfo>(methodId);
      object target = Handles.Get(targetId);
      var args = new object[1];
      long sum = 0;
      var watch = Stopwatch.StartNew();
      if (mode == 0) {
        for (int i = 0; i < n; ++i) {
          args[0] = i;
          sum += (int)m.Invoke(target, args);
        }
      } else {
        var f = (Func<int, int>)m.CreateDelegate(typeof(Func<int, int>), target);
        watch.Restart();
        for (int i = 0; i < n; ++i) sum += f(i);
      }
      long ns = Elapsed(watch);
      GC.KeepAlive(sum);
      return ns;
    } catch {
      return -1;
    }
  }

  [UnmanagedCallersOnly]
  static long BenchRuntimeCall(int n, int mode) {
    try {
      long sum = 0;
      if (mode == 0) {
        Velisc.Runtime.ExecutionContext global =
            Velisc.Runtime.Environment.GetGlobalExecutionContext();
        global.ExecuteProcedure("Empty", null, null);  // first call out of the timing
        var watch = Stopwatch.StartNew();
        for (int i = 0; i < n; ++i) global.ExecuteProcedure("Empty", null, null);
        return Elapsed(watch);
      } else {
        Velisc.Runtime.Host.VR_Rien(0);
        var watch = Stopwatch.StartNew();
        for (int i = 0; i < n; ++i) sum += Velisc.Runtime.Host.VR_Rien(i);
        long ns = Elapsed(watch);
        GC.KeepAlive(sum);
        return ns;
      }
    } catch {
      return -1;
    }
  }

  // Converts a host value to .NET and drops it (the one-way cost).
  [UnmanagedCallersOnly]
  static int ToNetOnly(BridgeValue* value) {
    try {
      object o = CConversion.PVoid2NetObject(value, null, out bool ok);
      GC.KeepAlive(o);
      return ok ? 0 : 3;
    } catch {
      return 3;
    }
  }
}

}  // namespace Velisc.Runtime.Interop
