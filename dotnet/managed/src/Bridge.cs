// The bridge between qg300net.so and the runtime. The native module starts
// the runtime, loads this assembly and calls Bootstrap once: Bootstrap keeps
// the native function table and fills the managed one. Every entry of the
// managed table is [UnmanagedCallersOnly] and catches everything: an
// exception that escaped into native code would end the process.
//
// Objects cross as GCHandle ids (pointer-sized), freed by FreeHandle; texts
// come in as null-terminated UTF-16 and go out through the native StringOut
// sink. Status results: 0 success, 1 refused or not found, 2 a .NET
// exception whose handle is stored in *exc (the caller frees it).
using System;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Threading;

namespace Velisc.Runtime.Interop {

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct NativeTable {
  public delegate* unmanaged<void*, char*, int, void> StringOut;
  public delegate* unmanaged<void*, int*, int*, int, int*, int> ArrayInfo;
  public delegate* unmanaged<void*, void*> ArrayData;
  public delegate* unmanaged<void*, int, BridgeValue*, int> ArrayGet;
  public delegate* unmanaged<int, int, int*, void*> ArrayCreate;
  public delegate* unmanaged<void*, int, BridgeValue*, int> ArraySet;
}

[StructLayout(LayoutKind.Sequential)]
internal unsafe struct ManagedTable {
  public delegate* unmanaged<IntPtr, void> FreeHandle;
  public delegate* unmanaged<long> HandleCount;
  public delegate* unmanaged<IntPtr, int, void*, void*, void*, int> ExceptionText;
  public delegate* unmanaged<char*, void*, int*, int> GetAssemblyName;
  public delegate* unmanaged<char*, IntPtr*, IntPtr*, int> LoadFrom;
  public delegate* unmanaged<char*, IntPtr*, IntPtr*, int> LoadByName;
  public delegate* unmanaged<IntPtr> CoreLibrary;
  public delegate* unmanaged<IntPtr, int, void*, int> AssemblyText;
  public delegate* unmanaged<IntPtr, int, int> AssemblyCount;
  public delegate* unmanaged<IntPtr, char*, IntPtr*, int> AssemblyGetType;
  public delegate* unmanaged<char*, IntPtr*, int> TypeByName;
  public delegate* unmanaged<IntPtr, int, void*, int> TypeText;
  public delegate* unmanaged<IntPtr, int, int> TypeFlag;
  public delegate* unmanaged<IntPtr, IntPtr, IntPtr*, int> ObjectEquals;
  public delegate* unmanaged<int, IntPtr, IntPtr, IntPtr*, IntPtr*, int> EnumOp;
  public delegate* unmanaged<IntPtr, int*, IntPtr*, int> EnumToInt;
  public delegate* unmanaged<IntPtr, IntPtr> ObjectType;
  public delegate* unmanaged<IntPtr, char*, char*, char*, IntPtr*, IntPtr*, int> ResolveDeclared;
  public delegate* unmanaged<IntPtr, IntPtr, char*, char*, BridgeValue*, int, int, BridgeValue*, IntPtr*, int> InvokeByName;
  public delegate* unmanaged<IntPtr, IntPtr, IntPtr, BridgeValue*, int, int, BridgeValue*, IntPtr*, int> InvokeMethod;
  public delegate* unmanaged<IntPtr, char*, BridgeValue*, int, IntPtr*, IntPtr*, int> ResolveConstructor;
  public delegate* unmanaged<IntPtr, IntPtr, BridgeValue*, int, IntPtr*, IntPtr*, int> Construct;
  public delegate* unmanaged<IntPtr, IntPtr, char*, int, int, BridgeValue*, IntPtr*, int> MemberAccess;
  public delegate* unmanaged<IntPtr, IntPtr, int> MethodFitsType;
  public delegate* unmanaged<char*, char*, int> CostByName;
  public delegate* unmanaged<BridgeValue*, void*, void*, BridgeValue*, IntPtr*, int> ConvertValue;
  public delegate* unmanaged<IntPtr, BridgeValue*, int> ObjectToHost;
  public delegate* unmanaged<IntPtr, IntPtr> CopyHandle;
  public delegate* unmanaged<IntPtr, IntPtr> InnerException;
  public delegate* unmanaged<IntPtr, int, int> ListCount;
  public delegate* unmanaged<IntPtr, int, int, IntPtr> ListItem;
  public delegate* unmanaged<IntPtr, int, void*, int> MemberText;
  public delegate* unmanaged<IntPtr, int, int> MemberFlag;
  public delegate* unmanaged<IntPtr, int, IntPtr> MemberRelated;
  public delegate* unmanaged<char*, int> SetCulture;
  public delegate* unmanaged<IntPtr, char*, int, IntPtr> MakeGeneric;
  public delegate* unmanaged<IntPtr, byte*, int, int*, int> StreamRead;
  public delegate* unmanaged<IntPtr, long, int, long> StreamSeek;
  public delegate* unmanaged<IntPtr, int, long> StreamInfo;
  public delegate* unmanaged<char*, long> BenchAssemblyNames;
  public delegate* unmanaged<char*, int, long> BenchDecimalParse;
  public delegate* unmanaged<IntPtr, IntPtr, int, int, long> BenchInvoke;
  public delegate* unmanaged<BridgeValue*, int> ToNetOnly;
  public delegate* unmanaged<int, int, long> BenchRuntimeCall;
  public delegate* unmanaged<IntPtr, int*, IntPtr> MakeStub;
  public delegate* unmanaged<IntPtr, IntPtr, IntPtr, BridgeValue*, int, int, BridgeValue*, IntPtr*, int> CallStub;
}

internal static unsafe class Native {
  internal static NativeTable* Table;

  internal static void Out(void* sink, string text) {
    if (sink == null) return;
    text ??= "";
    fixed (char* p = text) Table->StringOut(sink, p, text.Length);
  }

  internal static string In(char* text) => text == null ? null : new string(text);
}

// GCHandle ids and their count (the leak checks read it).
internal static class Handles {
  static long s_live;

  internal static IntPtr New(object value) {
    if (value == null) return IntPtr.Zero;
    Interlocked.Increment(ref s_live);
    return GCHandle.ToIntPtr(GCHandle.Alloc(value));
  }

  internal static object Get(IntPtr id) =>
      id == IntPtr.Zero ? null : GCHandle.FromIntPtr(id).Target;

  internal static T Get<T>(IntPtr id) where T : class => Get(id) as T;

  internal static void Free(IntPtr id) {
    if (id == IntPtr.Zero) return;
    GCHandle.FromIntPtr(id).Free();
    Interlocked.Decrement(ref s_live);
  }

  internal static long Live => Interlocked.Read(ref s_live);
}

internal static unsafe class Entry {
  // Checks the two table sizes the native side expects, keeps the native
  // table and fills the managed one. 0 on success, -1 on a size mismatch.
  [UnmanagedCallersOnly]
  public static int Bootstrap(NativeTable* native, ManagedTable* managed, int nativeSize,
                              int managedSize) {
    try {
      if (nativeSize != sizeof(NativeTable) || managedSize != sizeof(ManagedTable)) return -1;
      // A second module attaching (a .NET program's P/Invoke reaching the
      // module that hosts the runtime through another path) gets the
      // managed table; the first native table stays in use.
      if (Native.Table == null) Native.Table = native;
      managed->FreeHandle = &FreeHandle;
      managed->HandleCount = &HandleCount;
      managed->ExceptionText = &ExceptionText;
      managed->CopyHandle = &CopyHandle;
      managed->InnerException = &InnerException;
      Assemblies.Fill(managed);
      Objects.Fill(managed);
      Calls.Fill(managed);
      Reflection.Fill(managed);
      Streams.Fill(managed);
      Bench.Fill(managed);
      return 0;
    } catch {
      return -2;
    }
  }

  [UnmanagedCallersOnly]
  static void FreeHandle(IntPtr id) {
    try { Handles.Free(id); } catch { }
  }

  [UnmanagedCallersOnly]
  static long HandleCount() => Handles.Live;

  [UnmanagedCallersOnly]
  static IntPtr CopyHandle(IntPtr id) {
    try { return Handles.New(Handles.Get(id)); } catch { return IntPtr.Zero; }
  }

  [UnmanagedCallersOnly]
  static IntPtr InnerException(IntPtr id) {
    try { return Handles.New(Handles.Get<Exception>(id)?.InnerException); } catch { return IntPtr.Zero; }
  }

  // The exception's message (of the inner exception when asked and one
  // exists), its full text (type, message, stack) and its type name.
  [UnmanagedCallersOnly]
  static int ExceptionText(IntPtr exc, int useInner, void* message, void* full, void* type) {
    try {
      Exception e = Handles.Get<Exception>(exc);
      if (e == null) return 1;
      if (useInner != 0 && e.InnerException != null) e = e.InnerException;
      Native.Out(message, e.Message);
      Native.Out(full, e.ToString());
      Native.Out(type, e.GetType().FullName);
      return 0;
    } catch {
      return 2;
    }
  }

  // Stores a caught exception for the native caller.
  internal static int Fail(Exception e, IntPtr* exc) {
    if (exc != null) {
      try { *exc = Handles.New(e); } catch { *exc = IntPtr.Zero; }
    }
    return 2;
  }
}

}  // namespace Velisc.Runtime.Interop
