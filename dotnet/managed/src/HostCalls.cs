// The exports of qg300net.so the public API calls (P/Invoke), and the
// values crossing them. qg300net.so is found beside this assembly, beside
// the application, or at $QG_NET_MODULE. The first call attaches this
// assembly's bridge to the module (a runtime already hosted by the module
// is kept as it is).
using System;
using System.Globalization;
using System.IO;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using Velisc.Runtime.Interop;

namespace Velisc.Runtime {

internal static unsafe class Host {
  const string Module = "qg300net";

  [DllImport(Module)] static extern int VR_Attache(IntPtr bootstrap);
  [DllImport(Module)] internal static extern IntPtr VR_ParamNew();
  [DllImport(Module)] internal static extern void VR_ParamFree(IntPtr list);
  [DllImport(Module)] internal static extern void VR_ParamVide(IntPtr list);
  [DllImport(Module)] internal static extern int VR_ParamCount(IntPtr list);
  [DllImport(Module)] internal static extern int VR_ParamAdd(IntPtr list, BridgeValue* value);
  [DllImport(Module)] internal static extern void VR_ParamSetType(IntPtr list, int n, int type);
  [DllImport(Module)] internal static extern int VR_ParamGet(IntPtr list, int n, BridgeValue* value);
  [DllImport(Module)] internal static extern IntPtr VR_ValeurNew();
  [DllImport(Module)] internal static extern void VR_ValeurFree(IntPtr value);
  [DllImport(Module)] internal static extern IntPtr VR_ValeurClone(IntPtr value);
  [DllImport(Module)] internal static extern int VR_ValeurSet(IntPtr value, BridgeValue* v);
  [DllImport(Module)] internal static extern int VR_ValeurGet(IntPtr value, BridgeValue* v);
  [DllImport(Module)] internal static extern int VR_ValeurType(IntPtr value);
  [DllImport(Module)] internal static extern int VR_ValeurDepuisParam(IntPtr value, IntPtr list);
  [DllImport(Module)] internal static extern int VR_ParamAddValeur(IntPtr list, IntPtr value);
  [DllImport(Module)] internal static extern int VR_Operateur(int op, IntPtr a, IntPtr b, IntPtr result, char** error);
  [DllImport(Module)] internal static extern int VR_ExecuteQGL(char* module, char* secondPath, IntPtr stream, char* owner, char* project, char* commandLine, int language, char* splashName, byte* splash, int splashSize, int* exitCode, char** error);
  [DllImport(Module)] internal static extern int VR_CreeContexte(char* module, char* secondPath, char* assembly, char* libraryName, IntPtr stream, char* owner, int language, int mode, char** error);
  [DllImport(Module)] internal static extern int VR_HandleContexte(char* assembly);
  [DllImport(Module)] internal static extern int VR_ContexteGlobal(char** error);
  [DllImport(Module)] internal static extern int VR_HandleClasse(int handle, char* classe, long* result, char** error);
  [DllImport(Module)] internal static extern int VR_CreeObjet(int handle, long classe, byte* data, int size, IntPtr list, long* objet, char** error);
  [DllImport(Module)] internal static extern int VR_DetruitObjet(int handle, long objet, char** error);
  [DllImport(Module)] internal static extern int VR_MethodeInstance(int handle, long objet, char* method, IntPtr list, int options, char** error);
  [DllImport(Module)] internal static extern int VR_MethodeStatique(int handle, char* method, IntPtr list, int options, char** error);
  [DllImport(Module)] internal static extern int VR_Membre(int kind, int handle, long objet, char* owner, char* name, int write, IntPtr list, char** error);
  [DllImport(Module)] internal static extern int VR_Procedure(char* procedure, IntPtr list, char** error);
  [DllImport(Module)] internal static extern int VR_Delegue(long objet, char* method, IntPtr list, char** error);
  [DllImport(Module)] internal static extern int VR_InfoInstance(int handle, long objet, int write, long* info, char** error);
  [DllImport(Module)] internal static extern void VR_Termine();
  [DllImport(Module)] internal static extern int VR_Rien(int n);

  static Host() {
    NativeLibrary.SetDllImportResolver(typeof(Host).Assembly, Resolve);
    delegate* unmanaged<NativeTable*, ManagedTable*, int, int, int> bootstrap = &Entry.Bootstrap;
    if (VR_Attache((IntPtr)bootstrap) == 0) {
      throw new RuntimeException("qg300net: the .NET bridge does not match the module");
    }
  }

  // Touching the class runs the attach once.
  internal static void Ready() { }

  static IntPtr Resolve(string name, Assembly assembly, DllImportSearchPath? path) {
    if (name != Module) return IntPtr.Zero;
    string forced = System.Environment.GetEnvironmentVariable("QG_NET_MODULE");
    foreach (string candidate in new[] {
               forced,
               Path.Combine(Path.GetDirectoryName(typeof(Host).Assembly.Location) ?? ".", "qg300net.so"),
               Path.Combine(AppContext.BaseDirectory, "qg300net.so"),
             }) {
      if (!string.IsNullOrEmpty(candidate) && File.Exists(candidate) &&
          NativeLibrary.TryLoad(candidate, out IntPtr handle)) {
        return handle;
      }
    }
    return IntPtr.Zero;
  }

  // Throws the error's text when a call failed.
  internal static void Check(int ok, char* error) {
    if (ok == 0) throw new RuntimeException(error != null ? new string(error) : "host call failed");
  }

  // --- values ---------------------------------------------------------------

  // A .NET value into the host: through `add` with the value's record
  // (texts pinned for the call). A .NET object crosses as a new handle the
  // receiver takes over.
  internal static int Send(object o, Func<IntPtr, int> add) {
    BridgeValue v = default;
    string text = o switch {
      string s => s,
      char[] c => new string(c),
      decimal d => d.ToString(CultureInfo.InvariantCulture),
      _ => null,
    };
    if (text != null) {
      fixed (char* p = text) {
        v.Code = o is decimal ? CConversion.DECIMAL : CConversion.DSTRW;
        v.Text = p;
        v.Length = text.Length;
        return add((IntPtr)(&v));
      }
    }
    if (o is QGObjet q) {
      v = default;
      // A host value crosses as itself: read it out and back.
      VR_ValeurGet(q.Valeur, &v);
      return add((IntPtr)(&v));
    }
    CConversion.NetObject2PVoid(o, &v, false);
    int done = add((IntPtr)(&v));
    if (done == 0 && v.Object != IntPtr.Zero && v.Code == CConversion.OBJET_NET) Handles.Free(v.Object);
    return done;
  }

  internal static void AddParam(IntPtr list, object o) {
    if (o is QGObjet q) {
      VR_ParamAddValeur(list, q.Valeur);
      return;
    }
    if (Send(o, v => VR_ParamAdd(list, (BridgeValue*)v)) == 0) {
      throw new RuntimeException("the value cannot cross to the host: " + o);
    }
  }

  // A host value read out of a record as `wanted` (null or Object: its own
  // .NET form).
  internal static object Receive(BridgeValue* v, Type wanted) {
    if (wanted == typeof(void)) return null;
    if (wanted == typeof(object)) wanted = null;
    if ((v->Code & 0xFF) == CConversion.OBJET_NET && (v->Flags & BridgeValue.FlagNull) == 0) {
      object o = Handles.Get(v->Object);
      if (wanted == null || wanted.IsInstanceOfType(o)) return o;
      throw new RuntimeException("the host value is no " + wanted.FullName);
    }
    object value = CConversion.PVoid2NetObject(v, wanted, out bool ok);
    if (!ok) {
      throw new RuntimeException("the host value cannot be converted to " +
                                 (wanted?.FullName ?? "a .NET value"));
    }
    return value;
  }

  internal static object Get(IntPtr list, int n, Type wanted) {
    BridgeValue v = default;
    if (VR_ParamGet(list, n, &v) == 0) throw new ArgumentOutOfRangeException(nameof(n));
    return Receive(&v, wanted);
  }
}

// A failed call into the host: the text is the host error's full dump.
public class RuntimeException : Exception {
  public RuntimeException(string message) : base(message) { }
}

}  // namespace Velisc.Runtime
