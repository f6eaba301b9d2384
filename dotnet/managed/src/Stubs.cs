// Per-method call stubs: a method called again and again through its
// identifier gets a small method emitted once, which reads each argument
// straight from its BridgeValue record into the parameter's type, calls the
// method directly (no reflection, no argument array, no boxing of the
// common types) and writes the result record. Methods a stub cannot call
// as reflection would (by-reference parameters, instance methods of value
// types, open generics, by-ref-like types) keep MethodInfo.Invoke.
using System;
using System.Reflection;
using System.Reflection.Emit;

namespace Velisc.Runtime.Interop {

// An argument that does not convert to its parameter's type.
internal sealed class StubArgumentException : Exception {
  public readonly int Index;
  public StubArgumentException(int index) { Index = index; }
}

// Bound to its Stub (a closed delegate calls its method without the
// argument shuffle an open static delegate needs).
internal unsafe delegate void StubInvoker(object target, BridgeValue* args, BridgeValue* result,
                                          int wantResult);

internal sealed unsafe class Stub {
  public MethodInfo Method;
  public ParameterInfo[] Parameters;
  public bool ReturnsVoid;
  public bool IsStatic;
  // Null when the method keeps MethodInfo.Invoke.
  public StubInvoker Invoker;
  // The last type the method was found to be callable on.
  public Type FitsType;

  public static Stub For(MethodInfo m) {
    var stub = new Stub {
      Method = m, Parameters = m.GetParameters(), IsStatic = m.IsStatic,
      ReturnsVoid = m.ReturnType == typeof(void),
    };
    try {
      stub.Invoker = Emit(m, stub.Parameters, stub);
    } catch {
      stub.Invoker = null;  // reflection calls it
    }
    return stub;
  }

  static StubInvoker Emit(MethodInfo m, ParameterInfo[] ps, Stub self) {
    if (m.ContainsGenericParameters || m.CallingConvention.HasFlag(CallingConventions.VarArgs))
      return null;
    Type owner = m.DeclaringType;
    if (owner == null || (!m.IsStatic && owner.IsValueType)) return null;
    foreach (ParameterInfo p in ps) {
      Type t = p.ParameterType;
      if (t.IsByRef || t.IsPointer || t.IsByRefLike) return null;
    }
    if (m.ReturnType.IsByRef || m.ReturnType.IsPointer || m.ReturnType.IsByRefLike) return null;

    // Argument 0 is the Stub the delegate is bound to (unused), then the
    // StubInvoker's arguments.
    var dm = new DynamicMethod("stub_" + m.Name, typeof(void),
                               new[] { typeof(Stub), typeof(object), typeof(BridgeValue*),
                                       typeof(BridgeValue*), typeof(int) },
                               typeof(Stub).Module, skipVisibility: true);
    ILGenerator il = dm.GetILGenerator();
    if (!m.IsStatic) {
      il.Emit(OpCodes.Ldarg_1);
      il.Emit(OpCodes.Castclass, owner);
    }
    int size = sizeof(BridgeValue);
    for (int i = 0; i < ps.Length; ++i) {
      il.Emit(OpCodes.Ldarg_2);
      if (i > 0) {
        il.Emit(OpCodes.Ldc_I4, i * size);
        il.Emit(OpCodes.Conv_I);
        il.Emit(OpCodes.Add);
      }
      il.Emit(OpCodes.Ldc_I4, i);
      il.Emit(OpCodes.Call, Reader(ps[i].ParameterType));
    }
    il.Emit(m.IsStatic || !m.IsVirtual ? OpCodes.Call : OpCodes.Callvirt, m);
    if (m.ReturnType != typeof(void)) {
      Label write = il.DefineLabel();
      il.Emit(OpCodes.Ldarg_S, (byte)4);
      il.Emit(OpCodes.Brtrue_S, write);
      il.Emit(OpCodes.Pop);
      il.Emit(OpCodes.Ret);
      il.MarkLabel(write);
      il.Emit(OpCodes.Ldarg_3);
      il.Emit(OpCodes.Call, Writer(m.ReturnType));
    }
    il.Emit(OpCodes.Ret);
    return (StubInvoker)dm.CreateDelegate(typeof(StubInvoker), self);
  }

  static MethodInfo Reader(Type t) {
    string name = t == typeof(int) ? nameof(ReadInt32)
                  : t == typeof(long) ? nameof(ReadInt64)
                  : t == typeof(double) ? nameof(ReadDouble)
                  : t == typeof(bool) ? nameof(ReadBoolean)
                  : t == typeof(string) ? nameof(ReadString)
                  : null;
    if (name != null) return typeof(Stub).GetMethod(name, BindingFlags.Static | BindingFlags.NonPublic);
    return typeof(Stub).GetMethod(nameof(ReadOther), BindingFlags.Static | BindingFlags.NonPublic)
        .MakeGenericMethod(t);
  }

  static MethodInfo Writer(Type t) {
    string name = t == typeof(int) ? nameof(WriteInt32)
                  : t == typeof(long) ? nameof(WriteInt64)
                  : t == typeof(double) ? nameof(WriteDouble)
                  : t == typeof(bool) ? nameof(WriteBoolean)
                  : t == typeof(string) ? nameof(WriteString)
                  : null;
    if (name != null) return typeof(Stub).GetMethod(name, BindingFlags.Static | BindingFlags.NonPublic);
    return typeof(Stub).GetMethod(nameof(WriteOther), BindingFlags.Static | BindingFlags.NonPublic)
        .MakeGenericMethod(t);
  }

  static bool Plain(BridgeValue* v, int code) =>
      (v->Code & 0xFFFF) == code && (v->Flags & BridgeValue.FlagNull) == 0;

  // Readers: the value's own type read at once, any other through the
  // general conversion (as reflection's calls get them).
  static int ReadInt32(BridgeValue* v, int index) =>
      Plain(v, CConversion.I4) ? (int)v->I : ReadOther<int>(v, index);
  static long ReadInt64(BridgeValue* v, int index) =>
      Plain(v, CConversion.I8) ? v->I : ReadOther<long>(v, index);
  static double ReadDouble(BridgeValue* v, int index) =>
      Plain(v, CConversion.R8) ? v->R : ReadOther<double>(v, index);
  static bool ReadBoolean(BridgeValue* v, int index) =>
      Plain(v, CConversion.BOOL) ? (int)v->I != 0 : ReadOther<bool>(v, index);
  static string ReadString(BridgeValue* v, int index) =>
      Plain(v, CConversion.DSTRW) ? (v->Text == null ? "" : new string(v->Text, 0, v->Length))
                                  : ReadOther<string>(v, index);

  static T ReadOther<T>(BridgeValue* v, int index) {
    object o = CConversion.PVoid2NetObject(v, typeof(T), out bool ok);
    if (!ok) throw new StubArgumentException(index);
    // A null value reaches a value-type parameter as its default.
    return o == null ? default : (T)o;
  }

  // Writers: the result record as NetObject2PVoid fills it.
  static void WriteInt32(int x, BridgeValue* r) {
    r->Flags = 0;
    r->Object = IntPtr.Zero;
    r->I = x;
    r->Code = CConversion.I4;
  }
  static void WriteInt64(long x, BridgeValue* r) {
    r->Flags = 0;
    r->Object = IntPtr.Zero;
    r->I = x;
    r->Code = CConversion.I8;
  }
  static void WriteDouble(double x, BridgeValue* r) {
    r->Flags = 0;
    r->Object = IntPtr.Zero;
    r->R = x;
    r->Code = CConversion.R8;
  }
  static void WriteBoolean(bool x, BridgeValue* r) {
    r->Flags = 0;
    r->Object = IntPtr.Zero;
    r->I = x ? 1 : 0;
    r->Code = CConversion.BOOL;
  }
  static void WriteString(string s, BridgeValue* r) => CConversion.NetObject2PVoid(s, r, false);
  static void WriteOther<T>(T x, BridgeValue* r) => CConversion.NetObject2PVoid(x, r, false);
}

}  // namespace Velisc.Runtime.Interop
