// Finding and loading assemblies for the native finder and loader.
using System;
using System.Runtime.InteropServices;
using System.Reflection;

namespace Velisc.Runtime.Interop {

internal static unsafe class Assemblies {
  internal static void Fill(ManagedTable* m) {
    m->GetAssemblyName = &GetAssemblyName;
    m->LoadFrom = &LoadFrom;
    m->LoadByName = &LoadByName;
    m->CoreLibrary = &CoreLibrary;
    m->AssemblyText = &AssemblyText;
    m->AssemblyCount = &AssemblyCount;
    m->AssemblyGetType = &AssemblyGetType;
    m->TypeByName = &TypeByName;
  }

  // The full name and the four version numbers read from the file's
  // metadata; 1 when the file is no assembly or cannot be read.
  [UnmanagedCallersOnly]
  static int GetAssemblyName(char* path, void* sink, int* versions) {
    try {
      AssemblyName name = AssemblyName.GetAssemblyName(Native.In(path));
      Native.Out(sink, name.FullName);
      Version v = name.Version ?? new Version(0, 0, 0, 0);
      versions[0] = v.Major;
      versions[1] = v.Minor;
      versions[2] = Math.Max(v.Build, 0);
      versions[3] = Math.Max(v.Revision, 0);
      return 0;
    } catch {
      return 1;
    }
  }

  [UnmanagedCallersOnly]
  static int LoadFrom(char* path, IntPtr* assembly, IntPtr* exc) {
    *assembly = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
      *assembly = Handles.New(Assembly.LoadFrom(Native.In(path)));
      return 0;
    } catch (Exception e) {
      return Entry.Fail(e, exc);
    }
  }

  // The runtime's partial-name binding: 1 when no assembly answers.
  [UnmanagedCallersOnly]
  static int LoadByName(char* name, IntPtr* assembly, IntPtr* exc) {
    *assembly = IntPtr.Zero;
    *exc = IntPtr.Zero;
    try {
#pragma warning disable CS0618
      Assembly a = Assembly.LoadWithPartialName(Native.In(name));
#pragma warning restore CS0618
      if (a == null) return 1;
      *assembly = Handles.New(a);
      return 0;
    } catch (Exception e) {
      return Entry.Fail(e, exc);
    }
  }

  // The core library. The "mscorlib" facade lists no type of its own here,
  // so the assembly that defines System.Object stands for it.
  [UnmanagedCallersOnly]
  static IntPtr CoreLibrary() {
    try { return Handles.New(typeof(object).Assembly); } catch { return IntPtr.Zero; }
  }

  // what: 0 full name, 1 location, 2 runtime version of the image, 3 simple
  // name.
  [UnmanagedCallersOnly]
  static int AssemblyText(IntPtr id, int what, void* sink) {
    try {
      Assembly a = Handles.Get<Assembly>(id);
      if (a == null) return 1;
      string text = what switch {
        0 => a.FullName,
        1 => a.Location,
        2 => a.ImageRuntimeVersion,
        3 => a.GetName().Name,
        _ => null,
      };
      if (text == null) return 1;
      Native.Out(sink, text);
      return 0;
    } catch {
      return 1;
    }
  }

  // what: 0 number of types, 1 number of modules, 2 number of referenced
  // assemblies, 3 whether the image runs in a 64-bit process.
  [UnmanagedCallersOnly]
  static int AssemblyCount(IntPtr id, int what) {
    try {
      Assembly a = Handles.Get<Assembly>(id);
      if (a == null) return -1;
      switch (what) {
        case 0: return a.GetTypes().Length;
        case 1: return a.GetModules().Length;
        case 2: return a.GetReferencedAssemblies().Length;
        case 3: {
          a.ManifestModule.GetPEKind(out PortableExecutableKinds kind, out _);
          bool pe64 = (kind & PortableExecutableKinds.PE32Plus) != 0;
          bool anyCpu = (kind & PortableExecutableKinds.ILOnly) != 0 &&
                        (kind & PortableExecutableKinds.Required32Bit) == 0;
          return pe64 || anyCpu ? 1 : 0;
        }
        default: return -1;
      }
    } catch (ReflectionTypeLoadException e) {
      return what == 0 ? Array.FindAll(e.Types, t => t != null).Length : -1;
    } catch {
      return -1;
    }
  }

  [UnmanagedCallersOnly]
  static int AssemblyGetType(IntPtr id, char* name, IntPtr* type) {
    *type = IntPtr.Zero;
    try {
      Type t = Handles.Get<Assembly>(id)?.GetType(Native.In(name), false);
      if (t == null) return 1;
      *type = Handles.New(t);
      return 0;
    } catch {
      return 1;
    }
  }

  // Type.GetType: assembly-qualified names and the core library's types.
  [UnmanagedCallersOnly]
  static int TypeByName(char* name, IntPtr* type) {
    *type = IntPtr.Zero;
    try {
      Type t = Type.GetType(Native.In(name), false);
      if (t == null) return 1;
      *type = Handles.New(t);
      return 0;
    } catch {
      return 1;
    }
  }
}

}  // namespace Velisc.Runtime.Interop
