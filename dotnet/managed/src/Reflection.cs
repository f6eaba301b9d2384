// Metadata for the reflection wrappers: lists of an assembly, module or
// type, member texts, flags and related objects.
using System;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;

namespace Velisc.Runtime.Interop {

internal static unsafe class Reflection {
  const BindingFlags Declared = BindingFlags.Public | BindingFlags.NonPublic |
                                BindingFlags.Instance | BindingFlags.Static;

  internal static void Fill(ManagedTable* m) {
    m->ListCount = &ListCount;
    m->ListItem = &ListItem;
    m->MemberText = &MemberText;
    m->MemberFlag = &MemberFlag;
    m->MemberRelated = &MemberRelated;
  }

  // Lists: assembly 0 modules, 1 referenced assembly names (as texts);
  // module 10 types, 11 global fields, 12 global methods; type 20 fields,
  // 21 properties, 22 methods, 23 constructors, 24 nested types,
  // 25 interfaces, 26 generic arguments; method or constructor
  // 30 parameters, 31 generic arguments.
  static Array List(object owner, int list) {
    switch (list) {
      case 0: return ((Assembly)owner).GetModules();
      case 1: return ((Assembly)owner).GetReferencedAssemblies();
      case 10: {
        try { return ((Module)owner).GetTypes(); } catch (ReflectionTypeLoadException e) {
          return Array.FindAll(e.Types, t => t != null);
        }
      }
      case 11: return ((Module)owner).GetFields();
      case 12: return ((Module)owner).GetMethods();
      case 20: return ((Type)owner).GetFields(Declared);
      case 21: return ((Type)owner).GetProperties(Declared);
      case 22: return ((Type)owner).GetMethods(Declared);
      case 23: return ((Type)owner).GetConstructors(Declared);
      case 24: return ((Type)owner).GetNestedTypes(Declared);
      case 25: return ((Type)owner).GetInterfaces();
      case 26: return ((Type)owner).GetGenericArguments();
      case 30: return ((MethodBase)owner).GetParameters();
      case 31: return ((MethodBase)owner).IsGenericMethod
                          ? ((MethodBase)owner).GetGenericArguments()
                          : Type.EmptyTypes;
      default: return null;
    }
  }

  [UnmanagedCallersOnly]
  static int ListCount(IntPtr owner, int list) {
    try { return List(Handles.Get(owner), list)?.Length ?? -1; } catch { return -1; }
  }

  [UnmanagedCallersOnly]
  static IntPtr ListItem(IntPtr owner, int list, int n) {
    try {
      Array items = List(Handles.Get(owner), list);
      if (items == null || n < 0 || n >= items.Length) return IntPtr.Zero;
      object item = items.GetValue(n);
      if (item is AssemblyName name) item = name.FullName;
      return Handles.New(item);
    } catch {
      return IntPtr.Zero;
    }
  }

  static Type TypeOf(object member) => member switch {
    FieldInfo f => f.FieldType,
    PropertyInfo p => p.PropertyType,
    MethodInfo m => m.ReturnType,
    ParameterInfo p => p.ParameterType,
    _ => null,
  };

  [UnmanagedCallersOnly]
  static int MemberText(IntPtr id, int what, void* sink) {
    try {
      object member = Handles.Get(id);
      string text;
      if (what == 0) {
        text = member switch {
          MemberInfo m => m.Name,
          ParameterInfo p => p.Name ?? "",
          Module m => m.Name,
          string s => s,
          _ => null,
        };
      } else {
        Type t = TypeOf(member);
        text = t == null ? null : what == 1 ? t.Name : t.FullName ?? t.Name;
      }
      if (text == null) return 1;
      Native.Out(sink, text);
      return 0;
    } catch {
      return 1;
    }
  }

  // Flags: 0 virtual, 1 static, 2 private, 3 public, 4 constructor,
  // 5 extension method, 6 generic method, 7 can read, 8 can write,
  // 9 static property, 10 extension class (a type).
  [UnmanagedCallersOnly]
  static int MemberFlag(IntPtr id, int what) {
    try {
      object member = Handles.Get(id);
      switch (member) {
        case MethodBase m:
          return (what switch {
            0 => m.IsVirtual,
            1 => m.IsStatic,
            2 => m.IsPrivate,
            3 => m.IsPublic,
            4 => m.IsConstructor,
            5 => m.IsDefined(typeof(ExtensionAttribute), false),
            6 => m.IsGenericMethod,
            _ => false,
          }) ? 1 : 0;
        case FieldInfo f:
          return (what switch { 1 => f.IsStatic, 2 => f.IsPrivate, 3 => f.IsPublic, _ => false })
                     ? 1 : 0;
        case PropertyInfo p:
          return (what switch {
            7 => p.CanRead,
            8 => p.CanWrite,
            1 or 9 => (p.GetMethod ?? p.SetMethod)?.IsStatic == true,
            _ => false,
          }) ? 1 : 0;
        case Type t:
          return what == 10 && t.IsDefined(typeof(ExtensionAttribute), false) ? 1 : 0;
        default:
          return 0;
      }
    } catch {
      return -1;
    }
  }

  // Related: 0 the member's type (field, property, parameter) or return
  // type (method); 1 a property's getter; 2 its setter; 3 a type's base
  // type; 4 a type's assembly; 5 a module's assembly.
  [UnmanagedCallersOnly]
  static IntPtr MemberRelated(IntPtr id, int what) {
    try {
      object member = Handles.Get(id);
      object related = what switch {
        0 => TypeOf(member),
        1 => (member as PropertyInfo)?.GetMethod,
        2 => (member as PropertyInfo)?.SetMethod,
        3 => (member as Type)?.BaseType,
        4 => (member as Type)?.Assembly,
        5 => (member as Module)?.Assembly,
        _ => null,
      };
      return Handles.New(related);
    } catch {
      return IntPtr.Zero;
    }
  }
}

}  // namespace Velisc.Runtime.Interop
