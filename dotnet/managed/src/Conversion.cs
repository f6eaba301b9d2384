// CConversion: host type codes and .NET types, the cost of passing an
// argument of one .NET type to a parameter of another, and the values
// themselves, which cross as BridgeValue records filled by the native side.
using System;
using System.Globalization;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

// One host value as the native side hands it over (and takes it back).
[StructLayout(LayoutKind.Sequential)]
internal unsafe struct BridgeValue {
  public int Code;       // host type word: low byte the code, 0x1000 dynamic
  public int Flags;      // FlagNull; FlagWritten on a by-reference write-back; FlagNoValue
  public long I;         // integers; BOOL whole; chars; DATETIME packed; DUREE ms;
                         // CY low 64 bits of the amount times 10^6
  public long I2;        // DATETIME milliseconds; CY high 16 bits, sign-extended
  public double R;       // R4, R8
  public char* Text;     // input text (UTF-16), also DECIMAL as text
  public int Length;     // of Text
  public int Reserved;
  public IntPtr Object;  // GCHandle id of a .NET object (code 72)
  public void* Sink;     // output text (native StringSink)

  public const int FlagNull = 1;
  public const int FlagWritten = 2;
  // A call's result record when there is none (void, or none wanted).
  public const int FlagNoValue = 4;
}

internal static unsafe class CConversion {
  public const int COUT_IMPOSSIBLE = int.MaxValue;

  // Host type codes.
  public const int BOOL = 1, UI1 = 2, UI2 = 3, UI4 = 4, UI8 = 5, I1 = 6, I2 = 7, I4 = 8, I8 = 9,
      CY = 10, R4 = 11, R8 = 12, DECIMAL = 13, UIX = 14, HWND = 15, DSTRW = 16, CARA = 17,
      PSTRA = 18, DSTRA = 19, DATEW = 24, TIMEW = 25, DATETIME = 26, DUREE = 27, ANY = 31,
      ARR = 34, INSTANCE_ZQ = 37, OBJET_NET = 72, CARW = 81, PSTRW = 110, DATEA = 128,
      TIMEA = 129, ARR_DYN = 4130, OBJET_NET_DYN = 4168;

  // Rows: parameter code - 1; columns: argument code - 1 (codes 1 to 13).
  public static readonly int[,] ms_etabConversion = {
    { 0, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5 },
    { 5, 0, 1, 2, 3, 1, 2, 3, 4, 5, 5, 5, 5 },
    { 5, 1, 0, 1, 2, 2, 1, 2, 3, 5, 5, 5, 5 },
    { 5, 2, 1, 0, 1, 3, 2, 1, 2, 5, 5, 5, 5 },
    { 5, 3, 2, 1, 0, 4, 3, 2, 1, 5, 5, 5, 5 },
    { 5, 1, 2, 3, 4, 0, 1, 2, 3, 5, 5, 5, 5 },
    { 5, 1, 1, 2, 3, 1, 0, 1, 2, 5, 5, 5, 5 },
    { 5, 2, 1, 1, 2, 2, 1, 0, 1, 5, 5, 5, 5 },
    { 5, 3, 2, 1, 1, 3, 2, 1, 0, 5, 5, 5, 5 },
    { 5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 4, 4, 1 },
    { 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 1, 5 },
    { 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 1, 0, 5 },
    { 5, 4, 3, 2, 1, 4, 3, 2, 1, 1, 4, 4, 0 },
  };

  public static int NetType2ZQType(Type t, bool ansi) {
    if (t == typeof(IntPtr)) return HWND;
    if (t == typeof(int)) return I4;
    if (t == typeof(long)) return I8;
    if (t == typeof(short)) return I2;
    if (t == typeof(sbyte)) return I1;
    if (t == typeof(byte)) return UI1;
    if (t == typeof(ushort)) return UI2;
    if (t == typeof(uint)) return UI4;
    if (t == typeof(ulong)) return UI8;
    if (t == typeof(char)) return CARW;
    if (t == typeof(float)) return R4;
    if (t == typeof(double)) return R8;
    if (t == typeof(bool)) return BOOL;
    if (t == typeof(decimal)) return DECIMAL;
    if (t == typeof(DateTime)) return DATETIME;
    if (t == typeof(string)) return ansi ? DSTRA : DSTRW;
    if (t.IsArray) return ARR_DYN;
    if (IsHostInstanceType(t)) return INSTANCE_ZQ;
    return OBJET_NET;
  }

  // A host-language object generated for .NET carries the field m_Instance.
  static bool IsHostInstanceType(Type t) =>
      t.GetField("m_Instance", BindingFlags.Instance | BindingFlags.NonPublic) != null;

  public static Type ZQType2NetType(int code) {
    switch (code & 0xFFFF) {
      case BOOL: return typeof(bool);
      case UI1: return typeof(byte);
      case UI2: return typeof(ushort);
      case UI4: return typeof(uint);
      case UI8: return typeof(ulong);
      case I1: return typeof(sbyte);
      case I2: return typeof(short);
      case I4: return typeof(int);
      case I8: return typeof(long);
      case CY: return typeof(decimal);
      case R4: return typeof(float);
      case R8: return typeof(double);
      case DECIMAL: return typeof(decimal);
      case UIX: return typeof(uint);
      case HWND: return typeof(IntPtr);
      case DSTRW: case PSTRA: case DSTRA: case 21: case 22: case 23: case PSTRW:
        return typeof(string);
      case CARA: case CARW: return typeof(char);
      case DATEW: case TIMEW: case DATETIME: case DATEA: case TIMEA: return typeof(DateTime);
      case DUREE: return typeof(TimeSpan);
      default: return typeof(object);
    }
  }

  // Cost of passing an argument of type a to a parameter of type p; lower
  // is better, 0 exact, COUT_IMPOSSIBLE when it cannot be passed.
  public static int nEfficaciteConversionDotNetObjects(Type p, Type a) {
    if (p == a) return 0;
    if (p.IsByRef && a.IsByRef)
      return nEfficaciteConversionDotNetObjects(a.GetElementType(), p.GetElementType());
    if (p.IsByRef) {
      int inner = nEfficaciteConversionDotNetObjects(a, p.GetElementType());
      return inner == COUT_IMPOSSIBLE ? COUT_IMPOSSIBLE : 1 + inner;
    }
    if (a.IsByRef) return 1000;
    // An Object parameter takes anything, but last: an Object argument is
    // the only exact match for it.
    if (p == typeof(object)) return a == typeof(object) ? 0 : 1000;
    if (!p.IsInterface && p.IsAssignableFrom(a)) return 1;
    if (p.IsInterface && p.IsAssignableFrom(a)) {
      try {
        a.GetInterfaceMap(p);
        return 1;
      } catch {
        // No map (an interface or array argument): the next rules decide.
      }
    }
    if (p.IsArray != a.IsArray) {
      if ((p == typeof(string) && a == typeof(char[])) ||
          (p == typeof(char[]) && a == typeof(string)))
        return 0;
      return COUT_IMPOSSIBLE;
    }
    if (p.IsArray && a.IsArray)
      return nEfficaciteConversionDotNetObjects(p.GetElementType(), a.GetElementType());
    int cp = NetType2ZQType(p, false), ca = NetType2ZQType(a, false);
    if (cp >= 1 && cp <= 13 && ca >= 1 && ca <= 13) return ms_etabConversion[cp - 1, ca - 1];
    // IntPtr parameters take 64-bit integers (the pointer width).
    if (p == typeof(IntPtr) && a == typeof(long)) return 1;
    if (a == typeof(object)) return 1000;
    return COUT_IMPOSSIBLE;
  }

  static string TextOf(BridgeValue* v) =>
      v->Text == null ? "" : new string(v->Text, 0, v->Length);

  // Host value to .NET object for a parameter of type wanted (null: the
  // value's own mapping). ok is false when the value cannot be converted
  // to a value-type parameter.
  public static object PVoid2NetObject(BridgeValue* v, Type wanted, out bool ok) {
    ok = true;
    if (wanted != null && wanted.IsByRef) wanted = wanted.GetElementType();
    if ((v->Flags & BridgeValue.FlagNull) != 0) return null;
    object value;
    int code = v->Code & 0xFFFF;
    switch (code) {
      case 0: return null;
      case BOOL: value = (int)v->I != 0; break;
      case UI1: value = (byte)v->I; break;
      case UI2: value = (ushort)v->I; break;
      case UI4: value = (uint)v->I; break;
      case UI8: value = (ulong)v->I; break;
      case I1: value = (sbyte)v->I; break;
      case I2: value = (short)v->I; break;
      case I4: value = (int)v->I; break;
      case I8: value = v->I; break;
      case CY:
        value = CurrencyOf(v->I, v->I2);
        break;
      case DECIMAL:
        // The native side hands decimals over as invariant text.
        if (!decimal.TryParse(TextOf(v), NumberStyles.Number | NumberStyles.AllowExponent,
                              CultureInfo.InvariantCulture, out decimal d)) {
          ok = false;
          return null;
        }
        value = d;
        break;
      case R4: value = (float)v->R; break;
      case R8: value = v->R; break;
      case UIX: case HWND: value = new IntPtr(v->I); break;
      case DSTRW: case PSTRA: case DSTRA: case PSTRW: value = TextOf(v); break;
      case CARA: case CARW: value = (char)v->I; break;
      case DATETIME: {
        if (!DateTimeOf(v, out DateTime dt)) {
          ok = false;
          return null;
        }
        value = dt;
        break;
      }
      case DUREE: value = TimeSpan.FromMilliseconds(v->I); break;
      case OBJET_NET: case OBJET_NET_DYN: value = Handles.Get(v->Object); break;
      case ARR: case ARR_DYN:
        value = ZQArray2NetArray((void*)v->Object, wanted, out ok);
        if (!ok) return null;
        break;
      default:
        ok = wanted == null || !wanted.IsValueType;
        return null;
    }
    if (wanted == null || value == null || value.GetType() == wanted ||
        wanted.IsInstanceOfType(value)) {
      return value;
    }
    return ChangeType(value, wanted, out ok);
  }

  // The currency's 80-bit two's-complement integer (low 64 bits, high 16
  // bits sign-extended), the amount times 10^6, as a decimal without
  // trailing zeros (1.5, not 1.500000: the scale its text would have).
  static decimal CurrencyOf(long low, long high) {
    bool negative = high < 0;
    ulong lo = unchecked((ulong)low), hi = unchecked((ulong)high) & 0xFFFF;
    if (negative) {
      lo = ~lo + 1;
      hi = (~hi + (lo == 0 ? 1UL : 0UL)) & 0xFFFF;
    }
    byte scale = 6;
    if (hi == 0) {
      while (scale > 0 && lo % 10 == 0 && lo != 0) {
        lo /= 10;
        --scale;
      }
      if (lo == 0) scale = 0;
    } else {
      UInt128 m = ((UInt128)hi << 64) | lo;
      while (scale > 0 && m % 10 == 0) {
        m /= 10;
        --scale;
      }
      lo = (ulong)m;
      hi = (ulong)(m >> 64);
    }
    return new decimal(unchecked((int)(uint)lo), unchecked((int)(uint)(lo >> 32)), (int)hi,
                       negative, scale);
  }

  // Widening and narrowing between the simple types, for a parameter whose
  // type differs from the value's mapping.
  static object ChangeType(object value, Type wanted, out bool ok) {
    ok = true;
    try {
      if (wanted.IsEnum) return Enum.ToObject(wanted, value);
      if (wanted == typeof(char[]) && value is string s) return s.ToCharArray();
      if (wanted == typeof(string) && value is char[] c) return new string(c);
      if (wanted == typeof(IntPtr) && value is IConvertible) {
        return new IntPtr(Convert.ToInt64(value, CultureInfo.InvariantCulture));
      }
      if (value is IntPtr p && typeof(IConvertible).IsAssignableFrom(wanted)) {
        return Convert.ChangeType(p.ToInt64(), wanted, CultureInfo.InvariantCulture);
      }
      if (value is IConvertible && typeof(IConvertible).IsAssignableFrom(wanted)) {
        return Convert.ChangeType(value, wanted, CultureInfo.InvariantCulture);
      }
    } catch {
    }
    ok = !wanted.IsValueType && wanted.IsInstanceOfType(value);
    return ok ? value : null;
  }

  // DATETIME: I = year << 16 | month << 8 | day, I2 = milliseconds. The
  // empty date (all zero) is DateTime.MinValue.
  static bool DateTimeOf(BridgeValue* v, out DateTime dt) {
    int year = (int)(v->I >> 16), month = (int)((v->I >> 8) & 0xFF), day = (int)(v->I & 0xFF);
    long ms = v->I2;
    dt = DateTime.MinValue;
    if (year == 0 && month == 0 && day == 0 && ms == 0) return true;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DateTime.DaysInMonth(year, month) || ms < 0 || ms >= 86400000L)
      return false;
    dt = new DateTime(year, month, day).AddMilliseconds(ms);
    return true;
  }

  // .NET object to host value: fills v and answers its host type code.
  public static int NetObject2PVoid(object o, BridgeValue* v, bool ansi) {
    v->Flags = 0;
    v->Object = IntPtr.Zero;
    if (o == null) {
      v->Code = 0;
      v->Flags = BridgeValue.FlagNull;
      return 0;
    }
    Type t = o.GetType();
    int code = NetType2ZQType(t, ansi);
    switch (code) {
      case HWND: {
        long p = ((IntPtr)o).ToInt64();
        if (p < int.MinValue || p > int.MaxValue) code = I8;
        v->I = p;
        break;
      }
      case I4: v->I = (int)o; break;
      case I8: v->I = (long)o; break;
      case I2: v->I = (short)o; break;
      case I1: v->I = (sbyte)o; break;
      case UI1: v->I = (byte)o; break;
      case UI2: v->I = (ushort)o; break;
      case UI4: v->I = (uint)o; break;
      case UI8: v->I = unchecked((long)(ulong)o); break;
      case CARW: v->I = (char)o; break;
      case R4: v->R = (float)o; break;
      case R8: v->R = (double)o; break;
      case BOOL: v->I = (bool)o ? 1 : 0; break;
      case DECIMAL:
        Native.Out(v->Sink, ((decimal)o).ToString(CultureInfo.InvariantCulture));
        break;
      case DATETIME: {
        DateTime dt = (DateTime)o;
        if (dt == DateTime.MinValue) {
          v->I = 0;
          v->I2 = 0;
        } else {
          v->I = ((long)dt.Year << 16) | ((long)dt.Month << 8) | (long)dt.Day;
          v->I2 = (long)dt.TimeOfDay.TotalMilliseconds;
        }
        break;
      }
      case DSTRW: case DSTRA: Native.Out(v->Sink, (string)o); break;
      case ARR_DYN:
        if (t.GetElementType().IsArray) {
          // No host array holds arrays (int[][]): the array stays a .NET
          // object instead of coming back as null.
          code = OBJET_NET;
          v->Object = Handles.New(o);
          break;
        }
        // A failure leaves the partial array to the native side to drop.
        if (!NetArray2ZQArray((Array)o, v)) v->Flags = BridgeValue.FlagNull;
        break;
      default:
        if (o is TimeSpan span) {
          code = DUREE;
          v->I = (long)span.TotalMilliseconds;
          break;
        }
        code = OBJET_NET;
        v->Object = Handles.New(o);
        break;
    }
    v->Code = code;
    return code;
  }

  // Element types whose host and .NET layouts are the same bytes.
  static bool IsBlock(int code, Type element) =>
      code switch {
        UI1 => element == typeof(byte), I1 => element == typeof(sbyte),
        UI2 => element == typeof(ushort), I2 => element == typeof(short),
        CARW => element == typeof(char), UI4 => element == typeof(uint),
        I4 => element == typeof(int), R4 => element == typeof(float),
        UI8 => element == typeof(ulong), I8 => element == typeof(long),
        R8 => element == typeof(double), _ => false,
      };

  // A one-dimensional array the block copy fills whole: no zeroing first.
  static Array Uninitialised(Type element, int n) {
    if (element == typeof(int)) return GC.AllocateUninitializedArray<int>(n);
    if (element == typeof(long)) return GC.AllocateUninitializedArray<long>(n);
    if (element == typeof(double)) return GC.AllocateUninitializedArray<double>(n);
    if (element == typeof(byte)) return GC.AllocateUninitializedArray<byte>(n);
    if (element == typeof(short)) return GC.AllocateUninitializedArray<short>(n);
    if (element == typeof(float)) return GC.AllocateUninitializedArray<float>(n);
    if (element == typeof(uint)) return GC.AllocateUninitializedArray<uint>(n);
    if (element == typeof(ulong)) return GC.AllocateUninitializedArray<ulong>(n);
    if (element == typeof(ushort)) return GC.AllocateUninitializedArray<ushort>(n);
    if (element == typeof(sbyte)) return GC.AllocateUninitializedArray<sbyte>(n);
    if (element == typeof(char)) return GC.AllocateUninitializedArray<char>(n);
    return Array.CreateInstance(element, n);
  }

  // Row-major indices of flat element k.
  static void Indices(Array a, long k, int[] at) {
    for (int d = a.Rank - 1; d >= 0; --d) {
      int length = a.GetLength(d);
      at[d] = a.GetLowerBound(d) + (int)(k % length);
      k /= length;
    }
  }

  // A host array as a .NET array of the wanted type's element type (the
  // element code's type otherwise), one block copy for simple elements.
  public static Array ZQArray2NetArray(void* array, Type wanted, out bool ok) {
    ok = false;
    if (array == null) return null;
    int dims, code;
    int* sizes = stackalloc int[32];
    if (Native.Table->ArrayInfo(array, &dims, sizes, 32, &code) != 0) return null;
    Type element = wanted != null && wanted.IsArray ? wanted.GetElementType()
                                                    : ZQType2NetType(code);
    var lengths = new int[Math.Max(dims, 1)];
    for (int d = 0; d < dims; ++d) lengths[d] = sizes[d];
    if (dims == 0) lengths[0] = 1;
    void* block = Native.Table->ArrayData(array);
    Array result = dims == 1 && block != null && IsBlock(code, element)
                       ? Uninitialised(element, lengths[0])
                       : Array.CreateInstance(element, lengths);
    long count = result.LongLength;
    if (block != null && IsBlock(code, element)) {
      if (count > 0) {
        GCHandle pin = GCHandle.Alloc(result, GCHandleType.Pinned);
        try {
          long bytes = count * Marshal.SizeOf(element);
          Buffer.MemoryCopy(block, (void*)Marshal.UnsafeAddrOfPinnedArrayElement(result, 0),
                            bytes, bytes);
        } finally {
          pin.Free();
        }
      }
      ok = true;
      return result;
    }
    var at = new int[result.Rank];
    BridgeValue item;
    for (long k = 0; k < count; ++k) {
      if (block != null) {
        // A block of another element type: read through the element code.
        item = default;
        item.Code = code;
        byte* p = (byte*)block;
        switch (code) {
          case UI1: item.I = p[k]; break;
          case I1: item.I = ((sbyte*)p)[k]; break;
          case UI2: case CARW: item.I = ((ushort*)p)[k]; break;
          case I2: item.I = ((short*)p)[k]; break;
          case UI4: item.I = ((uint*)p)[k]; break;
          case I4: item.I = ((int*)p)[k]; break;
          case UI8: case I8: item.I = ((long*)p)[k]; break;
          case R4: item.R = ((float*)p)[k]; break;
          case R8: item.R = ((double*)p)[k]; break;
        }
      } else if (Native.Table->ArrayGet(array, (int)k, &item) != 0) {
        return null;
      }
      object value = PVoid2NetObject(&item, element, out bool converted);
      if (!converted) return null;
      Indices(result, k, at);
      result.SetValue(value, at);
    }
    ok = true;
    return result;
  }

  // A .NET array as a new host array (v->Object): the same number of
  // dimensions, each of upper - lower + 1 elements.
  public static bool NetArray2ZQArray(Array a, BridgeValue* v) {
    Type element = a.GetType().GetElementType();
    int code = NetType2ZQType(element, false);
    if (element.IsEnum) code = NetType2ZQType(Enum.GetUnderlyingType(element), false);
    int rank = a.Rank;
    int* sizes = stackalloc int[rank];
    for (int d = 0; d < rank; ++d) sizes[d] = a.GetUpperBound(d) - a.GetLowerBound(d) + 1;
    void* array = Native.Table->ArrayCreate(code, rank, sizes);
    if (array == null) return false;
    v->Object = (IntPtr)array;
    long count = a.LongLength;
    void* block = Native.Table->ArrayData(array);
    if (block != null && IsBlock(code, element)) {
      if (count > 0) {
        GCHandle pin = GCHandle.Alloc(a, GCHandleType.Pinned);
        try {
          long bytes = count * Marshal.SizeOf(element);
          Buffer.MemoryCopy((void*)Marshal.UnsafeAddrOfPinnedArrayElement(a, 0), block, bytes,
                            bytes);
        } finally {
          pin.Free();
        }
      }
      return true;
    }
    var at = new int[rank];
    for (long k = 0; k < count; ++k) {
      Indices(a, k, at);
      object value = a.GetValue(at);
      if (element.IsEnum) value = Convert.ChangeType(value, Enum.GetUnderlyingType(element));
      BridgeValue item = default;
      NetObject2PVoid(value, &item, false);
      string text = value as string ??
                    (value is decimal d ? d.ToString(CultureInfo.InvariantCulture) : null);
      int status;
      fixed (char* p = text) {
        item.Text = p;
        item.Length = text?.Length ?? 0;
        status = Native.Table->ArraySet(array, (int)k, &item);
      }
      if (item.Object != IntPtr.Zero && item.Code == OBJET_NET) Handles.Free(item.Object);
      if (status != 0) return false;
    }
    return true;
  }

  // The .NET type a stack value stands for (ZQPile2TabObjectType): null
  // values count as Object, .NET objects by their run-time type.
  public static Type ArgumentType(BridgeValue* v) {
    if ((v->Flags & BridgeValue.FlagNull) != 0 || (v->Code & 0xFFFF) == 0) return typeof(object);
    int code = v->Code & 0xFFFF;
    if (code == OBJET_NET || code == OBJET_NET_DYN)
      return Handles.Get(v->Object)?.GetType() ?? typeof(object);
    if ((code & 0xFF) == ARR && v->Object != IntPtr.Zero) {
      int dims, element;
      int* sizes = stackalloc int[32];
      if (Native.Table->ArrayInfo((void*)v->Object, &dims, sizes, 32, &element) != 0) return null;
      Type e = ZQType2NetType(element);
      return dims <= 1 ? e.MakeArrayType() : e.MakeArrayType(dims);
    }
    return ZQType2NetType(code);
  }
}

}  // namespace Velisc.Runtime.Interop
