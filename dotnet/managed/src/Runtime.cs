// Velisc.Runtime: the public API through which .NET code starts the host
// in its own process, creates host objects, calls host procedures and
// methods, reads and writes host members and binds delegates and events to
// host procedures. Every call goes to the module's one host-access object;
// a failed call throws RuntimeException with the host error's full text.
using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.IO;
using System.Reflection;
using System.Runtime.CompilerServices;
using System.Text;
using System.Threading;
using Velisc.Runtime.Interop;

namespace Velisc.Runtime {

// The host as a whole.
public static unsafe class Environment {
  static int s_exitHandler;

  // Runs the project library embedded in the calling assembly under
  // libraryName and answers its exit code. The host module is hostModule,
  // else the text of the assembly's resource "QG_VM_Info", else
  // "qg300vm.dll"; the resource "QG_SplashScreen" (any name that starts so,
  // "QG_SplashScreen.bmp" for a bitmap) is shown while the host starts.
  [MethodImpl(MethodImplOptions.NoInlining)]
  public static int Execute(string hostModule, string libraryName, int language,
                            string projectName) {
    return Execute(Assembly.GetCallingAssembly(), hostModule, libraryName, language, projectName,
                   string.Join(" ", System.Environment.GetCommandLineArgs()));
  }

  internal static int Execute(Assembly caller, string hostModule, string libraryName,
                              int language, string projectName, string commandLine) {
    Host.Ready();
    string module = ModuleOf(caller, hostModule);
    Stream library = libraryName == null ? null : caller.GetManifestResourceStream(libraryName);
    IntPtr stream = Handles.New(library);
    string splashName = null;
    byte[] splash = null;
    foreach (string name in caller.GetManifestResourceNames()) {
      if (!name.StartsWith("QG_SplashScreen", StringComparison.Ordinal)) continue;
      using Stream s = caller.GetManifestResourceStream(name);
      var copy = new MemoryStream();
      s.CopyTo(copy);
      splash = copy.ToArray();
      splashName = name;
      break;
    }
    try {
      int exit = 0;
      char* error = null;
      fixed (char* m = module, second = caller.Location, owner = caller.FullName,
             project = projectName ?? "", line = commandLine ?? "", sn = splashName)
      fixed (byte* image = splash) {
        Host.Check(Host.VR_ExecuteQGL(m, second, stream, owner, project, line, language, sn, image,
                                      splash?.Length ?? 0, &exit, &error), error);
      }
      return exit;
    } finally {
      Handles.Free(stream);
      library?.Dispose();
    }
  }

  // The calling assembly's context in the host, made (and the host started)
  // on first use; the process's end terminates the host.
  [MethodImpl(MethodImplOptions.NoInlining)]
  public static AssemblyContext CreateAssemblyContext(string hostModule, string libraryName,
                                                      int language) {
    return CreateAssemblyContext(Assembly.GetCallingAssembly(), hostModule, language, 0,
                                 libraryName);
  }

  // libraryName: the project library the calling assembly embeds under that
  // name, handed to the host with the new context (null or empty: none; a
  // name the assembly does not embed fails with 200008).
  internal static AssemblyContext CreateAssemblyContext(Assembly caller, string hostModule,
                                                        int language, int mode,
                                                        string libraryName = null) {
    Host.Ready();
    string path = caller.Location;
    int handle;
    fixed (char* p = path) handle = Host.VR_HandleContexte(p);
    if (handle < 0) {
      char* error = null;
      Stream library = string.IsNullOrEmpty(libraryName)
                           ? null
                           : caller.GetManifestResourceStream(libraryName);
      IntPtr stream = Handles.New(library);
      try {
        fixed (char* m = ModuleOf(caller, hostModule), p = path, name = libraryName,
               owner = caller.FullName) {
          handle = Host.VR_CreeContexte(m, p, p, name, stream, owner, language, mode, &error);
        }
      } finally {
        Handles.Free(stream);
        library?.Dispose();
      }
      if (handle < 0) Host.Check(0, error);
    }
    if (Interlocked.Exchange(ref s_exitHandler, 1) == 0) {
      AppDomain.CurrentDomain.ProcessExit += (_, _) => Terminate();
    }
    return AssemblyContext.Of(handle);
  }

  public static ExecutionContext GetGlobalExecutionContext() {
    Host.Ready();
    char* error = null;
    Host.Check(Host.VR_ContexteGlobal(&error), error);
    return ExecutionContext.Global;
  }

  public static void Terminate() {
    Host.Ready();
    Host.VR_Termine();
  }

  static string ModuleOf(Assembly caller, string hostModule) {
    if (!string.IsNullOrEmpty(hostModule)) return hostModule;
    try {
      using Stream info = caller.GetManifestResourceStream("QG_VM_Info");
      if (info != null) {
        string text = new StreamReader(info, Encoding.UTF8).ReadToEnd().Trim('\0', ' ', '\r', '\n');
        if (text.Length > 0) return text;
      }
    } catch (IOException) {
    }
    return "qg300vm.dll";
  }
}

// Creates the .NET object that stands for a host instance.
public delegate object Factory(Instance instance);

// The values of one call: parameters in order and the returned value.
public unsafe class CommonParameters : IDisposable {
  internal IntPtr List;

  internal CommonParameters() {
    Host.Ready();
    List = Host.VR_ParamNew();
    if (List == IntPtr.Zero) throw new OutOfMemoryException();
  }

  public void AddParameter(object value) => Host.AddParam(Live, value);
  public int Count => Host.VR_ParamCount(Live);
  public object GetParameter(int n) => Host.Get(Live, n, null);
  public object GetParameter(int n, Type type) => Host.Get(Live, n, type);
  public object GetReturnValue(Type type) => Host.Get(Live, -1, type);
  public T GetReturnValue<T>() => (T)Host.Get(Live, -1, typeof(T));
  // The value this object carries, converted.
  public virtual object ConvertTo(Type type) => GetReturnValue(type);
  public void Clear() => Host.VR_ParamVide(Live);

  internal IntPtr Live =>
      List != IntPtr.Zero ? List : throw new ObjectDisposedException(GetType().Name);

  public void Dispose() {
    IntPtr list = Interlocked.Exchange(ref List, IntPtr.Zero);
    if (list != IntPtr.Zero) Host.VR_ParamFree(list);
    GC.SuppressFinalize(this);
  }

  ~CommonParameters() {
    IntPtr list = Interlocked.Exchange(ref List, IntPtr.Zero);
    if (list != IntPtr.Zero) Host.VR_ParamFree(list);
  }
}

public sealed class Parameters : CommonParameters { }

// Receives a member's value.
public sealed class GetValue : CommonParameters {
  public object Value => GetReturnValue(null);
}

// Carries the value to write into a member.
public sealed class SetValue : CommonParameters {
  public SetValue(object value) { AddParameter(value); }
  public override object ConvertTo(Type type) => GetParameter(0, type);
}

// The context of one assembly in the host.
public sealed unsafe class AssemblyContext {
  static readonly ConcurrentDictionary<int, AssemblyContext> s_byHandle = new();
  readonly ConcurrentDictionary<string, Factory> m_factories = new();

  public int Handle { get; }

  AssemblyContext(int handle) { Handle = handle; }

  internal static AssemblyContext Of(int handle) =>
      s_byHandle.GetOrAdd(handle, h => new AssemblyContext(h));

  public Parameters CreateParameters() => new Parameters();
  public GetValue CreateGetValue() => new GetValue();
  public SetValue CreateSetValue(object value) => new SetValue(value);

  public void DeclareFactory(string className, Factory factory) => m_factories[className] = factory;

  // A new host object of the class, linked to netObject (when given, else
  // to the object its declared factory makes).
  public Instance CreateInstance(string className, object netObject, Parameters parameters) {
    char* error = null;
    long classe;
    fixed (char* c = className) Host.Check(Host.VR_HandleClasse(Handle, c, &classe, &error), error);
    long objet;
    Host.Check(Host.VR_CreeObjet(Handle, classe, null, 0, parameters?.Live ?? IntPtr.Zero, &objet,
                                 &error),
               error);
    var instance = new Instance(this, className, objet);
    if (netObject == null && m_factories.TryGetValue(className, out Factory factory)) {
      netObject = factory(instance);
    }
    if (netObject != null) instance.Link(netObject);
    return instance;
  }

  public void ExecuteMethodeStatique(string methodIdentifier, int options, Parameters parameters,
                                     int flags) {
    char* error = null;
    fixed (char* m = methodIdentifier) {
      Host.Check(Host.VR_MethodeStatique(Handle, m, parameters?.Live ?? IntPtr.Zero, options,
                                         &error),
                 error);
    }
  }

  public void GetMembreStatique(string className, string member, GetValue value) =>
      Membre(1, 0, className, member, false, value);
  public void SetMembreStatique(string className, string member, SetValue value) =>
      Membre(1, 0, className, member, true, value);
  public void GetVariableCollection(string collection, string variable, GetValue value) =>
      Membre(2, 0, collection, variable, false, value);
  public void SetVariableCollection(string collection, string variable, SetValue value) =>
      Membre(2, 0, collection, variable, true, value);

  internal void Membre(int kind, long objet, string owner, string name, bool write,
                       CommonParameters value) {
    char* error = null;
    fixed (char* o = owner, n = name) {
      Host.Check(Host.VR_Membre(kind, Handle, objet, o, n, write ? 1 : 0, value.Live, &error),
                 error);
    }
  }
}

// A host object seen from .NET. Disposing it destroys the host object.
public sealed unsafe class Instance : IDisposable {
  readonly AssemblyContext m_context;
  readonly long m_objet;
  int m_disposed;

  internal Instance(AssemblyContext context, string className, long objet) {
    m_context = context;
    ClassName = className;
    m_objet = objet;
  }

  public string ClassName { get; }
  public long GetHandleObjetZQ() => m_objet;

  internal void Link(object netObject) {
    long id = Marshalling.EnregistreObjetNet(netObject);
    char* error = null;
    Host.Check(Host.VR_InfoInstance(m_context.Handle, m_objet, 1, &id, &error), error);
  }

  // The .NET object linked to this host object, null when none.
  public object GetLinkedObject() {
    long id = 0;
    char* error = null;
    Host.Check(Host.VR_InfoInstance(m_context.Handle, m_objet, 0, &id, &error), error);
    return Marshalling.ObjetNet(id);
  }

  public void ExecuteMethode(string method, Parameters parameters, int options) {
    char* error = null;
    fixed (char* m = method) {
      Host.Check(Host.VR_MethodeInstance(m_context.Handle, Live, m, parameters?.Live ?? IntPtr.Zero,
                                         options, &error),
                 error);
    }
  }

  public void GetMembre(string name, GetValue value) =>
      m_context.Membre(0, Live, null, name, false, value);
  public void SetMembre(string name, SetValue value) =>
      m_context.Membre(0, Live, null, name, true, value);

  // 0 is a valid answer of a host that is going away: calls then do
  // nothing.
  long Live => m_disposed == 0 ? m_objet : throw new ObjectDisposedException(nameof(Instance));

  public void Dispose() {
    if (Interlocked.Exchange(ref m_disposed, 1) != 0) return;
    long objet = m_objet;
    char* error = null;
    Host.Check(Host.VR_DetruitObjet(m_context.Handle, objet, &error), error);
  }
}

// The host's global execution context: procedures and delegates.
public sealed unsafe class ExecutionContext {
  internal static readonly ExecutionContext Global = new();

  ExecutionContext() { }

  public Parameters CreateParameters() => new Parameters();

  public object ExecuteProcedure(string procedureIdentifier, Parameters parameters,
                                 Type returnType) {
    char* error = null;
    IntPtr list = parameters?.Live ?? IntPtr.Zero;
    Parameters own = null;
    if (list == IntPtr.Zero && returnType != null && returnType != typeof(void)) {
      own = new Parameters();
      list = own.List;
    }
    try {
      fixed (char* p = procedureIdentifier) Host.Check(Host.VR_Procedure(p, list, &error), error);
      return returnType == null || returnType == typeof(void) ? null : Host.Get(list, -1, returnType);
    } finally {
      own?.Dispose();
    }
  }

  public object ExecuteDelegate(Delegate hostDelegate, Parameters parameters, Type returnType) =>
      hostDelegate.Execute(parameters, returnType);
}

// A host procedure (or a method of a host object) bound as a delegate.
public sealed unsafe class Delegate {
  readonly long m_objet;
  readonly string m_method;

  Delegate(long objet, string method) {
    m_objet = objet;
    m_method = method;
  }

  // Binds to the global execution context.
  public static Delegate CreateLink(long hostObject, string method) {
    Environment.GetGlobalExecutionContext();
    return new Delegate(hostObject, method);
  }

  public static Delegate CreateLink(string procedure) => CreateLink(0, procedure);

  public object Execute(Parameters parameters, Type returnType) =>
      Run(m_objet, m_method, parameters, returnType);

  // A .NET delegate of the named type whose calls run this host delegate
  // (its parameters cross in order; its result converts to the type's).
  public System.Delegate GetDelegate(string delegateTypeName) {
    Type type = Type.GetType(delegateTypeName, true);
    return DelegateBinder.Make(type, args => {
      using var p = new Parameters();
      foreach (object a in args) p.AddParameter(a);
      MethodInfo invoke = type.GetMethod("Invoke");
      return Execute(p, invoke.ReturnType);
    });
  }

  internal static object Run(long objet, string method, Parameters parameters, Type returnType) {
    char* error = null;
    IntPtr list = parameters?.Live ?? IntPtr.Zero;
    fixed (char* m = method) Host.Check(Host.VR_Delegue(objet, m, list, &error), error);
    if (returnType == null || returnType == typeof(void) || list == IntPtr.Zero) return null;
    return Host.Get(list, -1, returnType);
  }
}

// Makes delegates of any type over one handler taking the arguments.
internal static class DelegateBinder {
  sealed class Target {
    public Func<object[], object> Handler;
    public object Run(object[] args) => Handler(args);
  }

  internal static System.Delegate Make(Type type, Func<object[], object> handler) {
    MethodInfo invoke = type.GetMethod("Invoke") ??
                        throw new ArgumentException(type.FullName + " is no delegate type");
    ParameterInfo[] ps = invoke.GetParameters();
    var args = new System.Linq.Expressions.ParameterExpression[ps.Length];
    for (int i = 0; i < ps.Length; ++i) {
      args[i] = System.Linq.Expressions.Expression.Parameter(ps[i].ParameterType, ps[i].Name);
    }
    var target = new Target { Handler = handler };
    System.Linq.Expressions.Expression call = System.Linq.Expressions.Expression.Call(
        System.Linq.Expressions.Expression.Constant(target), typeof(Target).GetMethod("Run"),
        System.Linq.Expressions.Expression.NewArrayInit(
            typeof(object), Array.ConvertAll(args, a => (System.Linq.Expressions.Expression)
                System.Linq.Expressions.Expression.Convert(a, typeof(object)))));
    if (invoke.ReturnType == typeof(void)) {
      call = System.Linq.Expressions.Expression.Block(typeof(void), call);
    } else {
      call = System.Linq.Expressions.Expression.Convert(call, invoke.ReturnType);
    }
    return System.Linq.Expressions.Expression.Lambda(type, call, args).Compile();
  }
}

// Base of generated event binders: a subclass supplies GetDelegate() and a
// method "fZQDelegate" of the event's signature, which calls
// ExecuteDelegateEvents.
public abstract class CQGDelegateZQ {
  long m_objet;
  string m_method;
  Parameters m_call;

  public void AttachZQ(long objectIdentifier, string methodIdentifier) {
    m_objet = objectIdentifier;
    m_method = methodIdentifier;
  }

  public abstract System.Delegate GetDelegate();

  // A delegate of the named type bound to this object's "fZQDelegate".
  public System.Delegate GetDelegate(string delegateTypeName) {
    Type type = Type.GetType(delegateTypeName, true);
    return System.Delegate.CreateDelegate(type, this, "fZQDelegate");
  }

  // Adds this binder's delegate to the named event of the source; nothing
  // when the source is null or has no such event.
  public void AddHandlerToEvent(object source, string eventName) {
    EventInfo e = source?.GetType().GetEvent(eventName);
    if (e == null) return;
    e.AddEventHandler(source, System.Delegate.CreateDelegate(e.EventHandlerType, this,
                                                             "fZQDelegate"));
  }

  protected void PrepareCall(int count) {
    m_call?.Dispose();
    m_call = new Parameters();
  }

  protected void AddParam(object value) => m_call.AddParameter(value);

  protected object ExecuteDelegateEvents(object sender, object arguments) {
    PrepareCall(2);
    AddParam(sender);
    AddParam(arguments);
    return ExecuteDelegate(typeof(void));
  }

  // Calls the host procedure bound to this binder and converts its result.
  protected object ExecuteDelegate(Type returnType) {
    Parameters call = m_call ?? new Parameters();
    m_call = null;
    try {
      return Delegate.Run(m_objet, m_method, call, returnType);
    } finally {
      call.Dispose();
    }
  }
}

// A host procedure called with parameters prepared one by one (per thread).
public static class GlobalProcedure {
  [ThreadStatic] static Parameters t_call;

  public static void Prepare() {
    t_call?.Dispose();
    t_call = new Parameters();
  }

  public static void AddParam(object value) {
    if (t_call == null) Prepare();
    t_call.AddParameter(value);
  }

  public static object Execute(string procedureIdentifier, Type returnType) {
    Parameters call = t_call ?? new Parameters();
    t_call = null;
    try {
      return Environment.GetGlobalExecutionContext().ExecuteProcedure(procedureIdentifier, call,
                                                                      returnType ?? typeof(void));
    } finally {
      call.Dispose();
    }
  }
}

// Links between .NET objects and host values.
public static class Marshalling {
  static readonly object s_lock = new();
  static readonly Dictionary<long, object> s_objets = new();
  static readonly Dictionary<object, long> s_ids = new(ReferenceEqualityComparer.Instance);
  static readonly ConcurrentDictionary<string, Factory> s_classes = new();
  static long s_next;

  public static void DeclareClasse(string classIdentifier, Factory factory) =>
      s_classes[classIdentifier] = factory;

  internal static Factory FactoryOf(string classIdentifier) =>
      s_classes.TryGetValue(classIdentifier, out Factory f) ? f : null;

  // A 64-bit identifier of the object, the same for every registration of
  // one object.
  public static long EnregistreObjetNet(object o) {
    if (o == null) return 0;
    lock (s_lock) {
      if (s_ids.TryGetValue(o, out long known)) return known;
      long id = ++s_next;
      s_objets[id] = o;
      s_ids[o] = id;
      return id;
    }
  }

  internal static object ObjetNet(long id) {
    lock (s_lock) return id != 0 && s_objets.TryGetValue(id, out object o) ? o : null;
  }

  public static object GetParametre(CommonParameters parameters, int n, Type type) =>
      parameters.GetParameter(n, type);

  public static object GetValeurRetour(CommonParameters parameters, Type type) =>
      parameters.GetReturnValue(type);
}

// The older per-object API, over the classes above.
public static class LiaisonInstance {
  [ThreadStatic] static Parameters t_call;

  [MethodImpl(MethodImplOptions.NoInlining)]
  public static int nInitQGL(string hostModule, string libraryName, int language) =>
      Environment.CreateAssemblyContext(Assembly.GetCallingAssembly(), hostModule, language, 0,
                                        libraryName)
          .Handle;

  [MethodImpl(MethodImplOptions.NoInlining)]
  public static int nRunQGL(string hostModule, string libraryName, int language,
                            string projectName) =>
      Environment.Execute(Assembly.GetCallingAssembly(), hostModule, libraryName, language,
                          projectName, string.Join(" ", System.Environment.GetCommandLineArgs()));

  public static void TermVM() => Environment.Terminate();

  public static Instance AlloueInstance(int context, string className, object netObject) {
    Parameters call = TakeCall();
    try {
      return AssemblyContext.Of(context).CreateInstance(className, netObject, call);
    } finally {
      call.Dispose();
    }
  }

  public static void DeclareFactory(int context, string className, Factory factory) =>
      AssemblyContext.Of(context).DeclareFactory(className, factory);

  public static void PrepareAppel() {
    t_call?.Dispose();
    t_call = new Parameters();
  }

  public static void AddParam(object value) {
    if (t_call == null) PrepareAppel();
    t_call.AddParameter(value);
  }

  public static object pGetParam(int n, Type type) => t_call?.GetParameter(n, type);
  public static object pGetReturnedValue(Type type) => t_call?.GetReturnValue(type);

  public static void TermineAppel() {
    t_call?.Dispose();
    t_call = null;
  }

  // The calls keep their parameters until TermineAppel, so that the
  // returned value and by-reference values can be read.
  public static void AppelMethodeInstance(Instance instance, string method, int options) =>
      instance.ExecuteMethode(method, Call(), options);

  public static void AppelMethodeStatique(int context, string method, int options) =>
      AssemblyContext.Of(context).ExecuteMethodeStatique(method, options, Call(), 0);

  public static object GetMembreInstance(Instance instance, string member, Type type) {
    using var v = new GetValue();
    instance.GetMembre(member, v);
    return v.ConvertTo(type);
  }

  public static void SetMembreInstance(Instance instance, string member, object value) {
    using var v = new SetValue(value);
    instance.SetMembre(member, v);
  }

  public static object GetMembreStatique(int context, string className, string member, Type type) {
    using var v = new GetValue();
    AssemblyContext.Of(context).GetMembreStatique(className, member, v);
    return v.ConvertTo(type);
  }

  public static void SetMembreStatique(int context, string className, string member,
                                       object value) {
    using var v = new SetValue(value);
    AssemblyContext.Of(context).SetMembreStatique(className, member, v);
  }

  public static object GetVariableCollection(int context, string collection, string variable,
                                             Type type) {
    using var v = new GetValue();
    AssemblyContext.Of(context).GetVariableCollection(collection, variable, v);
    return v.ConvertTo(type);
  }

  public static void SetVariableCollection(int context, string collection, string variable,
                                           object value) {
    using var v = new SetValue(value);
    AssemblyContext.Of(context).SetVariableCollection(collection, variable, v);
  }

  public static long GetHandleObjetZQ(Instance instance) => instance.GetHandleObjetZQ();

  static Parameters Call() {
    if (t_call == null) PrepareAppel();
    return t_call;
  }

  static Parameters TakeCall() {
    Parameters call = t_call ?? new Parameters();
    t_call = null;
    return call;
  }
}

}  // namespace Velisc.Runtime
