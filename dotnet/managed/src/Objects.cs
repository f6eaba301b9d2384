// Operations on objects and types for the execution interface: equality,
// bit operations on enumerations, type texts and flags.
using System;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

internal static unsafe class Objects {
  internal static void Fill(ManagedTable* m) {
    m->TypeText = &TypeText;
    m->TypeFlag = &TypeFlag;
    m->ObjectEquals = &ObjectEquals;
    m->EnumOp = &EnumOp;
    m->EnumToInt = &EnumToInt;
    m->ObjectType = &ObjectType;
    m->SetCulture = &SetCulture;
  }

  // Sets the current culture of the runtime (tests of culture-free
  // conversions). 1 for an unknown culture.
  [UnmanagedCallersOnly]
  static int SetCulture(char* name) {
    try {
      var culture = new System.Globalization.CultureInfo(Native.In(name));
      System.Globalization.CultureInfo.CurrentCulture = culture;
      System.Globalization.CultureInfo.DefaultThreadCurrentCulture = culture;
      return 0;
    } catch {
      return 1;
    }
  }

  // what: 0 full name, 1 namespace, 2 name, 3 assembly-qualified name.
  [UnmanagedCallersOnly]
  static int TypeText(IntPtr id, int what, void* sink) {
    try {
      Type t = Handles.Get<Type>(id);
      if (t == null) return 1;
      string text = what switch {
        0 => t.FullName ?? t.Name,
        1 => t.Namespace ?? "",
        2 => t.Name,
        3 => t.AssemblyQualifiedName ?? t.Name,
        _ => null,
      };
      if (text == null) return 1;
      Native.Out(sink, text);
      return 0;
    } catch {
      return 1;
    }
  }

  // what: 0 enumeration, 1 generic, 2 public, 3 value type, 4 array,
  // 5 interface, 6 open generic. -1 for a bad handle.
  [UnmanagedCallersOnly]
  static int TypeFlag(IntPtr id, int what) {
    try {
      Type t = Handles.Get<Type>(id);
      if (t == null) return -1;
      bool b = what switch {
        0 => t.IsEnum,
        1 => t.IsGenericType,
        2 => t.IsPublic || t.IsNestedPublic,
        3 => t.IsValueType,
        4 => t.IsArray,
        5 => t.IsInterface,
        6 => t.ContainsGenericParameters,
        _ => false,
      };
      return b ? 1 : 0;
    } catch {
      return -1;
    }
  }

  // 1 equal, 0 not, 2 an exception. Two reference-type objects are equal
  // only when they are the same object; value types use their own Equals.
  [UnmanagedCallersOnly]
  static int ObjectEquals(IntPtr a, IntPtr b, IntPtr* exc) {
    *exc = IntPtr.Zero;
    try {
      object x = Handles.Get(a), y = Handles.Get(b);
      if (x == null || y == null) return x == null && y == null ? 1 : 0;
      if (!x.GetType().IsValueType && !y.GetType().IsValueType)
        return ReferenceEquals(x, y) ? 1 : 0;
      return x.Equals(y) ? 1 : 0;
    } catch (Exception e) {
      return Entry.Fail(e, exc);
    }
  }

  // The value's bits in its underlying type, widened to 64 bits.
  static ulong Bits(object value) {
    Type u = Enum.GetUnderlyingType(value.GetType());
    if (u == typeof(ulong) || u == typeof(uint) || u == typeof(ushort) || u == typeof(byte))
      return Convert.ToUInt64(value);
    return unchecked((ulong)Convert.ToInt64(value));
  }

  // op: 0 OR, 1 exclusive OR, 2 AND, 3 complement (b unused). Both objects
  // must exist, be of one run-time type, and that type an enumeration: else
  // 1. The result has the operands' type, computed in its underlying type.
  [UnmanagedCallersOnly]
  static int EnumOp(int op, IntPtr a, IntPtr b, IntPtr* result, IntPtr* exc) {
    *result = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
      object x = Handles.Get(a);
      if (x == null || !x.GetType().IsEnum) return 1;
      ulong bits;
      if (op == 3) {
        bits = ~Bits(x);
      } else {
        object y = Handles.Get(b);
        if (y == null || y.GetType() != x.GetType()) return 1;
        bits = op switch {
          0 => Bits(x) | Bits(y),
          1 => Bits(x) ^ Bits(y),
          2 => Bits(x) & Bits(y),
          _ => throw new ArgumentOutOfRangeException(nameof(op)),
        };
      }
      *result = Handles.New(Enum.ToObject(x.GetType(), bits));
      return 0;
    } catch (Exception e) {
      return Entry.Fail(e, exc);
    }
  }

  // The 32-bit value of an enumeration object; 1 when there is no object,
  // it is no enumeration, or its value needs more than 32 bits.
  [UnmanagedCallersOnly]
  static int EnumToInt(IntPtr a, int* value, IntPtr* exc) {
    *value = 0;
    *exc = IntPtr.Zero;
    try {
      object x = Handles.Get(a);
      if (x == null || !x.GetType().IsEnum) return 1;
      Type u = Enum.GetUnderlyingType(x.GetType());
      if (u == typeof(ulong) || u == typeof(uint) || u == typeof(ushort) || u == typeof(byte)) {
        ulong v = Convert.ToUInt64(x);
        if (v > uint.MaxValue) return 1;
        *value = unchecked((int)(uint)v);
      } else {
        long v = Convert.ToInt64(x);
        if (v < int.MinValue || v > int.MaxValue) return 1;
        *value = (int)v;
      }
      return 0;
    } catch (Exception e) {
      return Entry.Fail(e, exc);
    }
  }

  // A new handle of the object's run-time type; 0 for no object.
  [UnmanagedCallersOnly]
  static IntPtr ObjectType(IntPtr id) {
    try { return Handles.New(Handles.Get(id)?.GetType()); } catch { return IntPtr.Zero; }
  }
}

}  // namespace Velisc.Runtime.Interop
