// Resolution and invocation of methods and constructors, and member access
// by name, for the native road of a call.
using System;
using System.Collections.Generic;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

internal static unsafe class Calls {
  const BindingFlags All = BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Instance |
                           BindingFlags.Static | BindingFlags.FlattenHierarchy;

  // Statuses beyond the bridge's: the arguments do not convert.
  const int NotConverted = 3;

  internal static void Fill(ManagedTable* m) {
    m->ResolveDeclared = &ResolveDeclared;
    m->InvokeByName = &InvokeByName;
    m->InvokeMethod = &InvokeMethod;
    m->ResolveConstructor = &ResolveConstructor;
    m->Construct = &Construct;
    m->MemberAccess = &MemberAccess;
    m->MethodFitsType = &MethodFitsType;
    m->CostByName = &CostByName;
    m->ConvertValue = &ConvertValue;
    m->ObjectToHost = &ObjectToHost;
    m->MakeGeneric = &MakeGeneric;
    m->MakeStub = &MakeStub;
    m->CallStub = &CallStub;
  }

  // The call stub of a resolved method (a handle; 0 when it is no method).
  // *direct: 1 when the stub calls the method itself, which then never
  // writes an argument record back (no by-reference parameter); 0 when it
  // goes through reflection.
  [UnmanagedCallersOnly]
  static IntPtr MakeStub(IntPtr methodId, int* direct) {
    *direct = 0;
    try {
      MethodInfo m = Handles.Get<MethodInfo>(methodId);
      if (m == null) return IntPtr.Zero;
      Stub stub = Stub.For(m);
      *direct = stub.Invoker != null ? 1 : 0;
      return Handles.New(stub);
    } catch {
      return IntPtr.Zero;
    }
  }

  // InvokeMethod through the method's stub.
  [UnmanagedCallersOnly]
  static int CallStub(IntPtr stubId, IntPtr typeId, IntPtr targetId, BridgeValue* args, int n,
                      int wantResult, BridgeValue* result, IntPtr* exc) {
    *exc = IntPtr.Zero;
    try {
      var stub = (Stub)GCHandle.FromIntPtr(stubId).Target;
      if (typeId != IntPtr.Zero) {
        // The type the method was last found to fit passes without a cast.
        object seen = GCHandle.FromIntPtr(typeId).Target;
        if (!ReferenceEquals(stub.FitsType, seen)) {
          var t = seen as Type;
          if (t == null || stub.Method.DeclaringType == null ||
              !stub.Method.DeclaringType.IsAssignableFrom(t))
            return 4;
          stub.FitsType = t;
        }
      }
      if (stub.Parameters.Length != n) return 4;
      object target = targetId == IntPtr.Zero ? null : GCHandle.FromIntPtr(targetId).Target;
      if (stub.Invoker == null) {
        return Run(stub.Method, ShapeOf(stub.Method), target, args, n, wantResult, result, exc);
      }
      if (!stub.IsStatic && target == null) {
        return Failure(new TargetException("Non-static method requires a target."), exc);
      }
      try {
        stub.Invoker(target, args, result, wantResult);
      } catch (StubArgumentException bad) {
        return NotConvertedAt(&args[bad.Index], stub.Parameters[bad.Index].ParameterType,
                              "argument " + (bad.Index + 1), exc);
      } catch (InvalidCastException) when (!stub.IsStatic &&
                                            !stub.Method.DeclaringType.IsInstanceOfType(target)) {
        return Failure(new TargetException("Object does not match target type."), exc);
      }
      if (wantResult == 0 || stub.ReturnsVoid) {
        result->Code = 0;
        result->Flags = BridgeValue.FlagNull | BridgeValue.FlagNoValue;
      }
      return 0;
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // The generic base type made with the named argument types (split at
  // top-level commas), then an array of it when asked; 0 when an argument
  // type is unknown or does not fit.
  [UnmanagedCallersOnly]
  static IntPtr MakeGeneric(IntPtr baseId, char* arguments, int array) {
    try {
      Type generic = Handles.Get<Type>(baseId);
      if (generic == null || !generic.IsGenericTypeDefinition) return IntPtr.Zero;
      List<string> names = SplitTopLevel(Native.In(arguments));
      var types = new Type[names.Count];
      for (int i = 0; i < names.Count; ++i) {
        types[i] = s_GetType(names[i], generic);
        if (types[i] == null) return IntPtr.Zero;
      }
      Type made = generic.MakeGenericType(types);
      return Handles.New(array != 0 ? made.MakeArrayType() : made);
    } catch {
      return IntPtr.Zero;
    }
  }

  // --- type names -----------------------------------------------------

  static readonly Dictionary<string, Type> s_short = new(StringComparer.OrdinalIgnoreCase) {
    ["bool"] = typeof(bool), ["byte"] = typeof(byte), ["sbyte"] = typeof(sbyte),
    ["short"] = typeof(short), ["ushort"] = typeof(ushort), ["int"] = typeof(int),
    ["uint"] = typeof(uint), ["long"] = typeof(long), ["ulong"] = typeof(ulong),
    ["char"] = typeof(char), ["float"] = typeof(float), ["double"] = typeof(double),
    ["decimal"] = typeof(decimal), ["string"] = typeof(string), ["object"] = typeof(object),
  };

  // s_GetType: a type named as the program names it: "Int32",
  // "System.Int32", "int", "Fixture.Box", "Outer.Inner", "List<Int32>",
  // "Int32[]", "Int32&" (by reference). Null when unknown.
  internal static Type s_GetType(string name, Type context) {
    name = name.Trim();
    if (name.Length == 0) return null;
    if (name.EndsWith("&")) return s_GetType(name[..^1], context)?.MakeByRefType();
    if (name.EndsWith("[]")) return s_GetType(name[..^2], context)?.MakeArrayType();
    int open = name.IndexOf('<');
    if (open > 0 && name.EndsWith(">")) {
      List<string> parts = SplitTopLevel(name.Substring(open + 1, name.Length - open - 2));
      Type generic = s_GetType(name.Substring(0, open) + "`" + parts.Count, context);
      if (generic == null) return null;
      var arguments = new Type[parts.Count];
      for (int i = 0; i < parts.Count; ++i) {
        arguments[i] = s_GetType(parts[i], context);
        if (arguments[i] == null) return null;
      }
      try { return generic.MakeGenericType(arguments); } catch { return null; }
    }
    if (s_short.TryGetValue(name, out Type known)) return known;
    Type t = Find(name, context);
    if (t == null && name.Contains('.')) {
      // Outer.Inner: nested types, from the right.
      char[] chars = name.ToCharArray();
      for (int i = chars.Length - 1; i >= 0 && t == null; --i) {
        if (chars[i] != '.') continue;
        chars[i] = '+';
        t = Find(new string(chars), context);
      }
    }
    return t;
  }

  static Type Find(string name, Type context) {
    Type t = Type.GetType(name, false) ?? Type.GetType("System." + name, false) ??
             Type.GetType("System.Collections.Generic." + name, false);
    if (t != null) return t;
    if (context != null) {
      t = context.Assembly.GetType(name, false);
      if (t == null && context.Namespace != null)
        t = context.Assembly.GetType(context.Namespace + "." + name, false);
      if (t != null) return t;
    }
    foreach (Assembly a in AppDomain.CurrentDomain.GetAssemblies()) {
      try {
        t = a.GetType(name, false);
        if (t != null) return t;
      } catch {
      }
    }
    return null;
  }

  internal static List<string> SplitTopLevel(string text) {
    var parts = new List<string>();
    if (string.IsNullOrWhiteSpace(text)) return parts;
    int depth = 0, start = 0;
    for (int i = 0; i < text.Length; ++i) {
      char c = text[i];
      if (c == '<' || c == '[') ++depth;
      else if ((c == '>' || c == ']') && depth > 0) --depth;
      else if (c == ',' && depth == 0) {
        parts.Add(text.Substring(start, i - start).Trim());
        start = i + 1;
      }
    }
    parts.Add(text.Substring(start).Trim());
    return parts;
  }

  // "Name<T1,T2>": the name before the first '<' and the arguments up to
  // the last '>'.
  static string SplitGenericName(string name, ref string generics) {
    int open = name.IndexOf('<');
    int close = name.LastIndexOf('>');
    if (open <= 0 || close < open) return name;
    if (string.IsNullOrEmpty(generics)) generics = name.Substring(open + 1, close - open - 1);
    return name.Substring(0, open);
  }

  static Type[] GenericArguments(string generics, Type context) {
    List<string> names = SplitTopLevel(generics);
    if (names.Count == 0) return null;
    var types = new Type[names.Count];
    for (int i = 0; i < names.Count; ++i) {
      types[i] = s_GetType(names[i], context);
      if (types[i] == null) throw new TypeLoadException("unknown generic argument " + names[i]);
    }
    return types;
  }

  // --- overload resolution by cost ----------------------------------------

  // __pclGetMethodByList: the cheapest valid method; on equal cost the
  // earlier one in the runtime's list; a method of cost 0 at once.
  internal static MethodInfo GetMethodByList(Type type, string name, Type[] argTypes,
                                             Type[] generics) {
    MethodInfo best = null;
    long bestCost = long.MaxValue;
    int n = name.Length;
    foreach (MethodInfo candidate in type.GetMethods(All)) {
      long cost = 0;
      string mname = candidate.Name;
      if (mname.Length > n && mname[mname.Length - n - 1] == '.' &&
          string.Compare(mname, mname.Length - n, name, 0, n, StringComparison.OrdinalIgnoreCase) == 0) {
        mname = mname.Substring(mname.Length - n);
        cost += 100;
      }
      if (mname != name) {
        if (!string.Equals(mname, name, StringComparison.OrdinalIgnoreCase)) continue;
        cost += 5;
      }
      MethodInfo m = candidate;
      ParameterInfo[] ps = m.GetParameters();
      if (ps.Length != argTypes.Length) continue;
      if (m.ContainsGenericParameters && m.IsGenericMethodDefinition) {
        Type[] open = m.GetGenericArguments();
        Type[] chosen = generics;
        // Explicit arguments of another count fail to instantiate: the open
        // method then takes no argument.
        if (chosen != null && chosen.Length != open.Length) continue;
        if (chosen == null) {
          chosen = new Type[open.Length];
          for (int g = 0; g < open.Length; ++g) {
            for (int i = 0; i < ps.Length && chosen[g] == null; ++i) {
              Type pt = ps[i].ParameterType;
              if (pt.IsByRef) pt = pt.GetElementType();
              if (pt == open[g]) chosen[g] = argTypes[i].IsByRef ? argTypes[i].GetElementType()
                                                                 : argTypes[i];
            }
          }
        }
        try {
          m = m.MakeGenericMethod(chosen);
          ps = m.GetParameters();
        } catch {
          // Keeps the open method, which then fails the cost below.
        }
      }
      bool valid = true;
      for (int i = 0; i < ps.Length && valid; ++i) {
        int c = CConversion.nEfficaciteConversionDotNetObjects(ps[i].ParameterType, argTypes[i]);
        if (c == CConversion.COUT_IMPOSSIBLE) valid = false;
        else cost += c;
      }
      if (!valid) continue;
      if (cost == 0) return m;
      if (cost < bestCost) {
        best = m;
        bestCost = cost;
      }
    }
    return best;
  }

  // __pclGetConstructorByList: constructors named .ctor, not private.
  internal static ConstructorInfo GetConstructorByList(Type type, Type[] argTypes) {
    ConstructorInfo best = null;
    long bestCost = long.MaxValue;
    foreach (ConstructorInfo c in type.GetConstructors(BindingFlags.Public |
                                                       BindingFlags.NonPublic |
                                                       BindingFlags.Instance)) {
      if (c.Name != ".ctor" || c.IsPrivate) continue;
      ParameterInfo[] ps = c.GetParameters();
      if (ps.Length != argTypes.Length) continue;
      long cost = 0;
      bool valid = true;
      for (int i = 0; i < ps.Length && valid; ++i) {
        int k = CConversion.nEfficaciteConversionDotNetObjects(ps[i].ParameterType, argTypes[i]);
        if (k == CConversion.COUT_IMPOSSIBLE) valid = false;
        else cost += k;
      }
      if (!valid) continue;
      if (cost == 0) return c;
      if (cost < bestCost) {
        best = c;
        bestCost = cost;
      }
    }
    return best;
  }

  static Type[] ArgumentTypes(BridgeValue* args, int n) {
    var types = new Type[n];
    for (int i = 0; i < n; ++i) types[i] = CConversion.ArgumentType(&args[i]);
    return types;
  }

  // Declared parameter types, resolved; null when one is unknown.
  static Type[] DeclaredTypes(string text, Type context) {
    List<string> names = SplitTopLevel(text);
    var types = new Type[names.Count];
    for (int i = 0; i < names.Count; ++i) {
      types[i] = s_GetType(names[i], context);
      if (types[i] == null) return null;
    }
    return types;
  }

  // --- invocation ---------------------------------------------------------

  static int Failure(Exception e, IntPtr* exc) {
    if (e is TargetInvocationException && e.InnerException != null) e = e.InnerException;
    return Entry.Fail(e, exc);
  }

  // Parameters of a method, read once (GetParameters copies its array on
  // every call).
  sealed class Shape {
    public MethodBase Method;
    public ParameterInfo[] Parameters;
    public bool AnyByRef;
    public bool IsStatic;
    public bool ReturnsVoid;
    // The last type the method was found to be callable on.
    public Type FitsType;
  }
  static readonly System.Runtime.CompilerServices.ConditionalWeakTable<MethodBase, Shape> s_shapes =
      new();
  // The shape of the method called last (any thread): a call repeated on
  // one method skips the table.
  static Shape s_lastShape;

  static Shape ShapeOf(MethodBase m) {
    Shape last = s_lastShape;
    if (last != null && ReferenceEquals(last.Method, m)) return last;
    Shape shape = s_shapes.GetValue(m, key => {
      ParameterInfo[] ps = key.GetParameters();
      return new Shape {
        Method = key, Parameters = ps, AnyByRef = Array.Exists(ps, p => p.ParameterType.IsByRef),
        IsStatic = key.IsStatic,
        ReturnsVoid = key is not MethodInfo mi || mi.ReturnType == typeof(void),
      };
    });
    s_lastShape = shape;
    return shape;
  }

  // Converts the arguments to the parameter types; false when one does not
  // convert.
  static bool Arguments(MethodBase m, BridgeValue* args, int n, out object[] values) =>
      Arguments(ShapeOf(m), args, n, out values);

  static bool Arguments(Shape shape, BridgeValue* args, int n, out object[] values) =>
      Arguments(shape, args, n, out values, out _);

  // failed: the index of the argument that does not convert.
  static bool Arguments(Shape shape, BridgeValue* args, int n, out object[] values,
                        out int failed) {
    ParameterInfo[] ps = shape.Parameters;
    values = new object[n];
    failed = -1;
    for (int i = 0; i < n; ++i) {
      values[i] = CConversion.PVoid2NetObject(&args[i], ps[i].ParameterType, out bool ok);
      if (!ok) {
        failed = i;
        return false;
      }
    }
    return true;
  }

  // NotConverted, with the reason as an exception for the caller's error.
  internal static int NotConvertedAt(BridgeValue* value, Type wanted, string what, IntPtr* exc) {
    Entry.Fail(new InvalidCastException(
                   what + ": a host value of type " + (value->Code & 0xFFFF) +
                   ((value->Flags & BridgeValue.FlagNull) != 0 ? " (null)" : "") +
                   " does not convert to " + wanted), exc);
    return NotConverted;
  }

  // By-reference parameters go back into their argument records.
  static void WriteBack(MethodBase m, object[] values, BridgeValue* args) =>
      WriteBack(ShapeOf(m), values, args);

  static void WriteBack(Shape shape, object[] values, BridgeValue* args) {
    if (!shape.AnyByRef) return;
    ParameterInfo[] ps = shape.Parameters;
    for (int i = 0; i < ps.Length; ++i) {
      if (!ps[i].ParameterType.IsByRef) continue;
      void* sink = args[i].Sink;
      CConversion.NetObject2PVoid(values[i], &args[i], false);
      args[i].Sink = sink;
      args[i].Flags |= BridgeValue.FlagWritten;
    }
  }

  static int Run(MethodInfo m, object target, BridgeValue* args, int n, int wantResult,
                 BridgeValue* result, IntPtr* exc) =>
      Run(m, ShapeOf(m), target, args, n, wantResult, result, exc);

  // The parameters' shape is looked up once per call.
  static int Run(MethodInfo m, Shape shape, object target, BridgeValue* args, int n,
                 int wantResult, BridgeValue* result, IntPtr* exc) {
    if (!Arguments(shape, args, n, out object[] values, out int failed)) {
      return NotConvertedAt(&args[failed], shape.Parameters[failed].ParameterType,
                            "argument " + (failed + 1), exc);
    }
    object value;
    try {
      value = m.Invoke(shape.IsStatic ? null : target, values);
    } catch (Exception e) {
      return Failure(e, exc);
    }
    WriteBack(shape, values, args);
    if (wantResult != 0 && !shape.ReturnsVoid) {
      CConversion.NetObject2PVoid(value, result, false);
    } else {
      result->Code = 0;
      result->Flags = BridgeValue.FlagNull | BridgeValue.FlagNoValue;
    }
    return 0;
  }

  // Invokes a method the binder chose with the arguments as it arranged
  // them; by-reference arguments (never part of a params array) go back to
  // their records.
  static int RunArranged(MethodInfo m, object target, object[] arranged, BridgeValue* args,
                         int n, int wantResult, BridgeValue* result, IntPtr* exc) {
    Shape shape = ShapeOf(m);
    object value;
    try {
      value = m.Invoke(shape.IsStatic ? null : target, arranged);
    } catch (Exception e) {
      return Failure(e, exc);
    }
    if (shape.AnyByRef) {
      ParameterInfo[] ps = shape.Parameters;
      for (int i = 0; i < ps.Length && i < n && i < arranged.Length; ++i) {
        if (!ps[i].ParameterType.IsByRef) continue;
        void* sink = args[i].Sink;
        CConversion.NetObject2PVoid(arranged[i], &args[i], false);
        args[i].Sink = sink;
        args[i].Flags |= BridgeValue.FlagWritten;
      }
    }
    if (wantResult != 0 && !shape.ReturnsVoid) {
      CConversion.NetObject2PVoid(value, result, false);
    } else {
      result->Code = 0;
      result->Flags = BridgeValue.FlagNull | BridgeValue.FlagNoValue;
    }
    return 0;
  }

  // Step 3: the method of that name with exactly the declared parameter
  // types (case-sensitive among public methods, then ignoring case among
  // all), else the cheapest overload for those types.
  [UnmanagedCallersOnly]
  static int ResolveDeclared(IntPtr typeId, char* name, char* declared, char* generics,
                             IntPtr* method, IntPtr* exc) {
    *method = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
      Type type = Handles.Get<Type>(typeId);
      string gen = Native.In(generics);
      string bare = SplitGenericName(Native.In(name) ?? "", ref gen);
      Type[] types = DeclaredTypes(Native.In(declared), type);
      if (type == null || types == null) return 1;
      Type[] genericArgs = GenericArguments(gen, type);
      MethodInfo m = null;
      if (genericArgs == null) {
        m = Exact(type, bare, types, BindingFlags.Public | BindingFlags.Instance |
                                     BindingFlags.Static | BindingFlags.FlattenHierarchy,
                  StringComparison.Ordinal) ??
            Exact(type, bare, types, All, StringComparison.OrdinalIgnoreCase);
      }
      m ??= GetMethodByList(type, bare, types, genericArgs);
      if (m == null) return 1;
      *method = Handles.New(m);
      return 0;
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // The first non-generic method of that name whose parameter types are
  // exactly these (no widening: Int32 does not find a Double parameter).
  static MethodInfo Exact(Type type, string name, Type[] types, BindingFlags flags,
                          StringComparison comparison) {
    foreach (MethodInfo m in type.GetMethods(flags)) {
      if (m.IsGenericMethodDefinition || !string.Equals(m.Name, name, comparison)) continue;
      ParameterInfo[] ps = m.GetParameters();
      if (ps.Length != types.Length) continue;
      bool same = true;
      for (int i = 0; i < ps.Length && same; ++i) same = ps[i].ParameterType == types[i];
      if (same) return m;
    }
    return null;
  }

  // Step 4: the runtime's binding by name (exact case, then ignoring
  // case); when no method of that name takes these arguments, the cheapest
  // overload for the arguments' types. The chosen method is invoked.
  [UnmanagedCallersOnly]
  static int InvokeByName(IntPtr typeId, IntPtr targetId, char* name, char* generics,
                          BridgeValue* args, int n, int wantResult, BridgeValue* result,
                          IntPtr* exc) {
    *exc = IntPtr.Zero;
    try {
      Type type = Handles.Get<Type>(typeId);
      object target = Handles.Get(targetId);
      if (type == null) return 1;
      string gen = Native.In(generics);
      string bare = SplitGenericName(Native.In(name) ?? "", ref gen);
      Type[] genericArgs = GenericArguments(gen, type);
      if (genericArgs == null) {
        var values = new object[n];
        for (int i = 0; i < n; ++i) {
          // A value with no .NET form (a date that does not exist) fails the
          // call: as null it would reach the method as the type's default.
          values[i] = CConversion.PVoid2NetObject(&args[i], null, out bool ok);
          if (!ok) {
            return NotConvertedAt(&args[i], CConversion.ArgumentType(&args[i]) ?? typeof(object),
                                  "argument " + (i + 1), exc);
          }
        }
        foreach (bool ignoreCase in new[] { false, true }) {
          var candidates = new List<MethodBase>();
          foreach (MethodInfo m in type.GetMethods(All)) {
            if (string.Equals(m.Name, bare, ignoreCase ? StringComparison.OrdinalIgnoreCase
                                                       : StringComparison.Ordinal) &&
                !m.ContainsGenericParameters)
              candidates.Add(m);
          }
          if (candidates.Count == 0) continue;
          // The binder arranges the arguments as the method takes them (a
          // params array packed, defaults filled in): the call uses those.
          object[] arranged = (object[])values.Clone();
          MethodInfo bound;
          try {
            bound = (MethodInfo)Type.DefaultBinder.BindToMethod(
                All, candidates.ToArray(), ref arranged, null, null, null, out _);
          } catch (MissingMethodException) {
            continue;  // no such method: the next attempt, then the costs
          } catch (InvalidCastException) {
            // The binder chose a params method in its expanded form, then
            // copied elements it had widened into the array unconverted.
            bound = PackParams(candidates, values, out arranged);
            if (bound == null) throw;
          }
          // An ambiguous match is the runtime's answer too: it fails the call.
          if (bound == null) continue;
          return RunArranged(bound, target, arranged, args, n, wantResult, result, exc);
        }
      }
      Type[] argTypes = ArgumentTypes(args, n);
      MethodInfo chosen = GetMethodByList(type, bare, argTypes, genericArgs);
      if (chosen == null) {
        // The reason goes with the invocation error: which arguments no
        // method of that name takes.
        var names = new string[n];
        for (int i = 0; i < n; ++i) names[i] = argTypes[i]?.Name ?? "?";
        return Failure(new MissingMethodException(
                           "no method " + bare + " of " + type.FullName + " takes (" +
                           string.Join(", ", names) + ")"), exc);
      }
      return Run(chosen, target, args, n, wantResult, result, exc);
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // Primitive widenings the runtime's binder allows, by the source's type
  // code: a boxed value of the source converts to any listed target.
  static readonly Dictionary<TypeCode, TypeCode[]> s_widenings = new() {
    [TypeCode.Char] = new[] { TypeCode.UInt16, TypeCode.UInt32, TypeCode.Int32, TypeCode.UInt64,
                              TypeCode.Int64, TypeCode.Single, TypeCode.Double },
    [TypeCode.SByte] = new[] { TypeCode.Int16, TypeCode.Int32, TypeCode.Int64, TypeCode.Single,
                               TypeCode.Double },
    [TypeCode.Byte] = new[] { TypeCode.Char, TypeCode.UInt16, TypeCode.Int16, TypeCode.UInt32,
                              TypeCode.Int32, TypeCode.UInt64, TypeCode.Int64, TypeCode.Single,
                              TypeCode.Double },
    [TypeCode.Int16] = new[] { TypeCode.Int32, TypeCode.Int64, TypeCode.Single, TypeCode.Double },
    [TypeCode.UInt16] = new[] { TypeCode.UInt32, TypeCode.Int32, TypeCode.UInt64, TypeCode.Int64,
                                TypeCode.Single, TypeCode.Double },
    [TypeCode.Int32] = new[] { TypeCode.Int64, TypeCode.Single, TypeCode.Double },
    [TypeCode.UInt32] = new[] { TypeCode.UInt64, TypeCode.Int64, TypeCode.Single,
                                TypeCode.Double },
    [TypeCode.Int64] = new[] { TypeCode.Single, TypeCode.Double },
    [TypeCode.UInt64] = new[] { TypeCode.Single, TypeCode.Double },
    [TypeCode.Single] = new[] { TypeCode.Double },
  };

  // The value as the binder passes it to a parameter of type t; false when
  // it does not pass.
  static bool Passes(object value, Type t, out object passed) {
    passed = value;
    if (t.IsByRef) t = t.GetElementType();
    if (value == null) return !t.IsValueType || Nullable.GetUnderlyingType(t) != null;
    if (t.IsInstanceOfType(value)) return true;
    if (!t.IsPrimitive || !value.GetType().IsPrimitive) return false;
    TypeCode to = Type.GetTypeCode(t);
    if (!s_widenings.TryGetValue(Type.GetTypeCode(value.GetType()), out TypeCode[] targets) ||
        Array.IndexOf(targets, to) < 0)
      return false;
    passed = to == TypeCode.Char ? (object)(char)Convert.ToUInt16(value)
                                 : Convert.ChangeType(value, t,
                                                      System.Globalization.CultureInfo.InvariantCulture);
    return true;
  }

  // A params method in its expanded form taking these values, each element
  // widened to the array's element type; the cheapest by the cost table
  // when several do, the earlier on equal cost. Null when none does.
  static MethodInfo PackParams(List<MethodBase> candidates, object[] values,
                               out object[] arranged) {
    arranged = null;
    MethodInfo best = null;
    long bestCost = long.MaxValue;
    foreach (MethodBase candidate in candidates) {
      ParameterInfo[] ps = candidate.GetParameters();
      int last = ps.Length - 1;
      if (last < 0 || values.Length < last || !ps[last].ParameterType.IsArray ||
          !ps[last].IsDefined(typeof(ParamArrayAttribute), false))
        continue;
      Type element = ps[last].ParameterType.GetElementType();
      var packed = new object[ps.Length];
      Array array = Array.CreateInstance(element, values.Length - last);
      packed[last] = array;
      long cost = 0;
      bool fits = true;
      for (int i = 0; i < values.Length && fits; ++i) {
        Type t = i < last ? ps[i].ParameterType : element;
        fits = Passes(values[i], t, out object passed);
        if (!fits) break;
        if (i < last) packed[i] = passed;
        else array.SetValue(passed, i - last);
        if (values[i] != null) {
          cost += CConversion.nEfficaciteConversionDotNetObjects(t.IsByRef ? t.GetElementType() : t,
                                                                 values[i].GetType());
        }
      }
      if (!fits || cost >= bestCost) continue;
      best = (MethodInfo)candidate;
      bestCost = cost;
      arranged = packed;
    }
    return best;
  }

  // Step 6 for a resolved method. With a type, a method that cannot be
  // called on it answers 4 (resolve again).
  [UnmanagedCallersOnly]
  static int InvokeMethod(IntPtr methodId, IntPtr typeId, IntPtr targetId, BridgeValue* args,
                          int n, int wantResult, BridgeValue* result, IntPtr* exc) {
    *exc = IntPtr.Zero;
    try {
      MethodInfo m = Handles.Get<MethodInfo>(methodId);
      if (m == null) return 4;
      Shape shape = ShapeOf(m);
      if (typeId != IntPtr.Zero) {
        Type t = Handles.Get<Type>(typeId);
        if (t == null) return 4;
        if (!ReferenceEquals(shape.FitsType, t)) {
          if (m.DeclaringType == null || !m.DeclaringType.IsAssignableFrom(t)) return 4;
          shape.FitsType = t;
        }
      }
      if (shape.Parameters.Length != n) return 4;
      return Run(m, shape, Handles.Get(targetId), args, n, wantResult, result, exc);
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // Whether a registered method can be called on this type.
  [UnmanagedCallersOnly]
  static int MethodFitsType(IntPtr methodId, IntPtr typeId) {
    try {
      MethodBase m = Handles.Get<MethodBase>(methodId);
      Type t = Handles.Get<Type>(typeId);
      return m != null && t != null && m.DeclaringType != null &&
                     m.DeclaringType.IsAssignableFrom(t)
                 ? 1
                 : 0;
    } catch {
      return 0;
    }
  }

  // Declared parameter types first, then the cheapest constructor for the
  // arguments' types.
  [UnmanagedCallersOnly]
  static int ResolveConstructor(IntPtr typeId, char* declared, BridgeValue* args, int n,
                                IntPtr* ctor, IntPtr* exc) {
    *ctor = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
      Type type = Handles.Get<Type>(typeId);
      if (type == null) return 1;
      string text = Native.In(declared);
      Type[] types = string.IsNullOrWhiteSpace(text) ? ArgumentTypes(args, n)
                                                     : DeclaredTypes(text, type);
      if (types == null) return 1;
      ConstructorInfo c = GetConstructorByList(type, types);
      if (c == null) {
        // A value type without arguments has its default value.
        if (type.IsValueType && n == 0) return 0;
        return 1;
      }
      *ctor = Handles.New(c);
      return 0;
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // Creates the object: with the constructor, or the default value of a
  // value type when ctor is 0.
  [UnmanagedCallersOnly]
  static int Construct(IntPtr typeId, IntPtr ctorId, BridgeValue* args, int n, IntPtr* obj,
                       IntPtr* exc) {
    *obj = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
      ConstructorInfo c = Handles.Get<ConstructorInfo>(ctorId);
      object value;
      if (c == null) {
        Type type = Handles.Get<Type>(typeId);
        if (type == null || !type.IsValueType) return 1;
        value = Activator.CreateInstance(type);
      } else {
        Shape shape = ShapeOf(c);
        if (!Arguments(shape, args, n, out object[] values, out int failed)) {
          return NotConvertedAt(&args[failed], shape.Parameters[failed].ParameterType,
                                "argument " + (failed + 1), exc);
        }
        try {
          value = c.Invoke(values);
        } catch (Exception e) {
          return Failure(e, exc);
        }
        WriteBack(c, values, args);
      }
      *obj = Handles.New(value);
      return value == null ? 1 : 0;
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  // Member access by name: a property of that exact name, a field of that
  // exact name, a property ignoring case, a field ignoring case, among all
  // members. form: 0 fields only, 1 properties only, 2 both. assign: the
  // value converts to the member's type; else the member's value goes to
  // *value. 0 done, 1 no such member, 2 exception, 3 value not converted.
  [UnmanagedCallersOnly]
  static int MemberAccess(IntPtr typeId, IntPtr targetId, char* nameText, int form, int assign,
                          BridgeValue* value, IntPtr* exc) {
    *exc = IntPtr.Zero;
    try {
      Type type = Handles.Get<Type>(typeId);
      object target = Handles.Get(targetId);
      string name = Native.In(nameText) ?? "";
      if (type == null) return 1;
      BindingFlags flags = All;
      MemberInfo member = null;
      foreach (bool ignoreCase in new[] { false, true }) {
        BindingFlags f = ignoreCase ? flags | BindingFlags.IgnoreCase : flags;
        if (form != 0) member ??= FindProperty(type, name, f, ignoreCase);
        if (form != 1) member ??= type.GetField(name, f);
        if (member != null) break;
      }
      if (member == null) return 1;
      try {
        if (member is PropertyInfo p) {
          object instance = p.GetMethod?.IsStatic == true || p.SetMethod?.IsStatic == true
                                ? null
                                : target;
          if (assign != 0) {
            object v = CConversion.PVoid2NetObject(value, p.PropertyType, out bool ok);
            if (!ok) return NotConvertedAt(value, p.PropertyType, "property " + p.Name, exc);
            p.SetValue(instance, v);
          } else {
            CConversion.NetObject2PVoid(p.GetValue(instance), value, false);
          }
        } else {
          var fi = (FieldInfo)member;
          object instance = fi.IsStatic ? null : target;
          if (assign != 0) {
            object v = CConversion.PVoid2NetObject(value, fi.FieldType, out bool ok);
            if (!ok) return NotConvertedAt(value, fi.FieldType, "field " + fi.Name, exc);
            fi.SetValue(instance, v);
          } else {
            CConversion.NetObject2PVoid(fi.GetValue(instance), value, false);
          }
        }
      } catch (Exception e) {
        return Failure(e, exc);
      }
      return 0;
    } catch (Exception e) {
      return Failure(e, exc);
    }
  }

  static PropertyInfo FindProperty(Type type, string name, BindingFlags flags, bool ignoreCase) {
    foreach (PropertyInfo p in type.GetProperties(flags)) {
      if (p.GetIndexParameters().Length == 0 &&
          string.Equals(p.Name, name, ignoreCase ? StringComparison.OrdinalIgnoreCase
                                                 : StringComparison.Ordinal))
        return p;
    }
    return null;
  }

  // The cost between two named types (parameter, argument); -1 when a name
  // is unknown.
  [UnmanagedCallersOnly]
  static int CostByName(char* parameter, char* argument) {
    try {
      Type p = s_GetType(Native.In(parameter), null), a = s_GetType(Native.In(argument), null);
      if (p == null || a == null) return -1;
      return CConversion.nEfficaciteConversionDotNetObjects(p, a);
    } catch {
      return -1;
    }
  }

  // A host value through .NET and back: the .NET object it becomes (its
  // type name into typeSink, its text into textSink) and the host value
  // it comes back as (into *back). 0 done, 3 not converted.
  [UnmanagedCallersOnly]
  static int ConvertValue(BridgeValue* value, void* typeSink, void* textSink, BridgeValue* back,
                          IntPtr* obj) {
    *obj = IntPtr.Zero;
    try {
      object o = CConversion.PVoid2NetObject(value, null, out bool ok);
      if (!ok) return NotConverted;
      Native.Out(typeSink, o?.GetType().FullName ?? "null");
      Native.Out(textSink, o is IFormattable f ? f.ToString(null, System.Globalization.CultureInfo.InvariantCulture)
                                               : o?.ToString() ?? "");
      CConversion.NetObject2PVoid(o, back, false);
      *obj = Handles.New(o);
      return 0;
    } catch {
      return NotConverted;
    }
  }

  // The host value of a .NET object (eConversionZQ).
  [UnmanagedCallersOnly]
  static int ObjectToHost(IntPtr objId, BridgeValue* value) {
    try {
      CConversion.NetObject2PVoid(Handles.Get(objId), value, false);
      return 0;
    } catch {
      return 1;
    }
  }
}

}  // namespace Velisc.Runtime.Interop
