// Checks of Velisc.Runtime from a .NET program: the program starts the
// stand-in host (qg300vm.so beside qg300net.so) and drives it. Exit code 0
// when every check passes; each failure is printed.
using System;
using System.Collections.Generic;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Threading.Tasks;
using Velisc.Runtime;

namespace RuntimeTests {

// An event source and the binder generated code would make for it.
public class Clicker {
  public event EventHandler<string> Clicked;
  public void Click(string what) => Clicked?.Invoke(this, what);
}

public class ClickBinder : CQGDelegateZQ {
  public object Returned;
  public override System.Delegate GetDelegate() =>
      GetDelegate(typeof(EventHandler<string>).AssemblyQualifiedName);
  public void fZQDelegate(object sender, string args) {
    PrepareCall(2);
    AddParam(sender);
    AddParam(args);
    Returned = ExecuteDelegate(typeof(long));
  }
}

static class Program {
  static int s_failures;
  static IntPtr s_vm;

  static void Check(bool ok, string what) {
    if (!ok) {
      ++s_failures;
      Console.Error.WriteLine("FAILED: " + what);
    }
  }

  static void Equal(object expected, object actual, string what) =>
      Check(Equals(expected, actual), what + ": expected <" + expected + "> got <" + actual + ">");

  static void Throws(Action action, string expectedText, string what) {
    try {
      action();
      Check(false, what + ": no exception");
    } catch (RuntimeException e) {
      Check(e.Message.Contains(expectedText), what + ": text <" + e.Message + ">");
    }
  }

  static unsafe string LastHostLine() {
    var f = (delegate* unmanaged<byte*, int, int>)NativeLibrary.GetExport(s_vm, "qghost_VMExterneLastLine");
    byte* buffer = stackalloc byte[512];
    f(buffer, 512);
    return Marshal.PtrToStringUTF8((IntPtr)buffer);
  }

  static unsafe int MaxConcurrent() =>
      ((delegate* unmanaged<int>)NativeLibrary.GetExport(s_vm, "qghost_VMExterneMaxConcurrent"))();

  static Parameters With(params object[] values) {
    var p = new Parameters();
    foreach (object v in values) p.AddParameter(v);
    return p;
  }

  static void Contexts() {
    // The library named is the one the assembly embeds, handed to the host
    // with the context; a name it does not embed fails.
    Throws(() => Velisc.Runtime.Environment.CreateAssemblyContext(null, "Missing.qgl", 0),
           "RuntimeTests, Version=", "a library the assembly lacks raises 200008");
    AssemblyContext made = Velisc.Runtime.Environment.CreateAssemblyContext(null, "Demo.qgl", 0);
    Check(LastHostLine().EndsWith("RuntimeTests.dll library Demo"),
          "the context gets the embedded library: " + LastHostLine());
    AssemblyContext a = Velisc.Runtime.Environment.CreateAssemblyContext(null, null, 0);
    Equal(made.Handle, a.Handle, "the assembly keeps its context");
    AssemblyContext b = Velisc.Runtime.Environment.CreateAssemblyContext(null, null, 0);
    Equal(a.Handle, b.Handle, "CreateAssemblyContext twice gives one handle");
    Check(ReferenceEquals(a, b), "one context object per handle");
  }

  static void ObjectsAndMembers() {
    AssemblyContext context = Velisc.Runtime.Environment.CreateAssemblyContext(null, null, 0);
    var net = new object();
    using (Parameters start = With(5))
    using (Instance counter = context.CreateInstance("Counter", net, start)) {
      using (Parameters add = With((short)2)) {
        counter.ExecuteMethode("Add", add, 0);
        Equal(7L, add.GetReturnValue(typeof(long)), "method result");
        Equal("7", add.GetReturnValue(typeof(string)), "method result as text");
      }
      using (GetValue value = context.CreateGetValue()) {
        counter.GetMembre("Value", value);
        Equal(7, value.ConvertTo(typeof(int)), "member read");
      }
      using (SetValue value = context.CreateSetValue(40L)) counter.SetMembre("Value", value);
      using (GetValue value = context.CreateGetValue()) {
        counter.GetMembre("Value", value);
        Equal(40L, value.Value, "member written");
      }
      Check(ReferenceEquals(net, counter.GetLinkedObject()), "the .NET object is linked");
      Throws(() => counter.ExecuteMethode("Nope", null, 0), "unknown method Nope",
             "unknown method raises the host's text");
    }
    using (GetValue n = context.CreateGetValue()) {
      context.GetMembreStatique("Counter", "Instances", n);
      Check((long)n.Value >= 1, "static member");
    }
    using (Parameters twice = With(21)) {
      context.ExecuteMethodeStatique("Counter.Twice", 0, twice, 0);
      Equal(42L, twice.GetReturnValue(typeof(long)), "static method");
    }
    using (SetValue v = context.CreateSetValue("Salut")) {
      context.SetVariableCollection("COL_Demo", "Greeting", v);
    }
    using (GetValue v = context.CreateGetValue()) {
      context.GetVariableCollection("COL_Demo", "Greeting", v);
      Equal("Salut", v.ConvertTo(typeof(string)), "collection variable");
    }
    Throws(() => context.CreateInstance("Nothing", null, null), "unknown class Nothing",
           "unknown class");
  }

  // The older per-object API and the declared factories.
  static void OlderApi() {
    int context = LiaisonInstance.nInitQGL(null, null, 0);
    var made = new List<Instance>();
    LiaisonInstance.DeclareFactory(context, "Counter", instance => {
      made.Add(instance);
      return "made for " + instance.ClassName;
    });
    LiaisonInstance.PrepareAppel();
    LiaisonInstance.AddParam(3);
    Instance counter = LiaisonInstance.AlloueInstance(context, "Counter", null);
    Equal(1, made.Count, "the declared factory makes the .NET object");
    Equal("made for Counter", counter.GetLinkedObject(), "and it is linked");
    Equal(3L, LiaisonInstance.GetMembreInstance(counter, "Value", typeof(long)), "creation parameter");
    LiaisonInstance.SetMembreInstance(counter, "Value", 10);
    LiaisonInstance.PrepareAppel();
    LiaisonInstance.AddParam(5);
    LiaisonInstance.AppelMethodeInstance(counter, "Add", 0);
    Equal(15L, LiaisonInstance.pGetReturnedValue(typeof(long)), "method through the older API");
    Equal(5, LiaisonInstance.pGetParam(0, typeof(int)), "its parameter read back");
    LiaisonInstance.TermineAppel();
    LiaisonInstance.PrepareAppel();
    LiaisonInstance.AddParam(4);
    LiaisonInstance.AppelMethodeStatique(context, "Counter.Twice", 0);
    Equal(8L, LiaisonInstance.pGetReturnedValue(typeof(long)), "static method, older API");
    LiaisonInstance.TermineAppel();
    LiaisonInstance.SetVariableCollection(context, "COL_Demo", "Greeting", "Hi");
    Equal("Hi", LiaisonInstance.GetVariableCollection(context, "COL_Demo", "Greeting",
                                                       typeof(string)), "collection, older API");
    Check(LiaisonInstance.GetHandleObjetZQ(counter) > 0, "host handle");
    counter.Dispose();
    counter.Dispose();  // twice is harmless
    long id = Marshalling.EnregistreObjetNet(made);
    Equal(id, Marshalling.EnregistreObjetNet(made), "one identifier per object");
  }

  static void Procedures() {
    ExecutionContext global = Velisc.Runtime.Environment.GetGlobalExecutionContext();
    using (Parameters p = With(40, 2L)) {
      Equal(42L, global.ExecuteProcedure("Add", p, typeof(long)), "procedure result");
    }
    using (Parameters p = With("you")) {
      Equal("Hello, you", global.ExecuteProcedure("Hello", p, typeof(string)), "text result");
    }
    using (Parameters p = With(new int[] { 1, -2, 40, 3 })) {
      Equal(42L, global.ExecuteProcedure("Sum", p, typeof(long)), "array argument");
    }
    using (Parameters p = With(new int[0])) {
      Equal(0L, global.ExecuteProcedure("Sum", p, typeof(long)), "empty array argument");
    }
    Throws(() => global.ExecuteProcedure("Fail", null, null), "the procedure failed",
           "failure text is the error dump");
    Throws(() => { using Parameters p = With("x"); global.ExecuteProcedure("Add", null, typeof(DateTime)); },
           "unknown procedure", "bad call");

    GlobalProcedure.Prepare();
    GlobalProcedure.AddParam(1);
    GlobalProcedure.AddParam(2);
    Equal(3L, GlobalProcedure.Execute("Add", typeof(long)), "GlobalProcedure");

    Velisc.Runtime.Delegate add = Velisc.Runtime.Delegate.CreateLink("Add");
    using (Parameters p = With(2, 3)) Equal(5L, add.Execute(p, typeof(long)), "Delegate.Execute");
    var f = (Func<long, long, long>)add.GetDelegate(typeof(Func<long, long, long>).AssemblyQualifiedName);
    Equal(9L, f(4, 5), "Delegate.GetDelegate");
  }

  static void Events() {
    var clicker = new Clicker();
    var binder = new ClickBinder();
    binder.AttachZQ(0, "OnEvent");
    binder.AddHandlerToEvent(clicker, "Clicked");
    binder.AddHandlerToEvent(null, "Clicked");          // nothing
    binder.AddHandlerToEvent(clicker, "NoSuchEvent");   // nothing
    clicker.Click("hi");
    Equal("event 72 16:hi", LastHostLine(), "the host procedure gets (sender, args)");
    Equal(42L, binder.Returned, "the host's return value converted");
    var d = (EventHandler<string>)binder.GetDelegate();
    d(clicker, "again");
    Equal("event 72 16:again", LastHostLine(), "GetDelegate binds fZQDelegate");
  }

  static void Operators() {
    using var forty = new QGObjet(40);
    Equal(42L, forty.opPlus(2).getLong(), "opPlus Int32");
    Equal(42L, forty.opPlus(2L).getLong(), "opPlus Int64");
    Equal(41.5, forty.opPlus(1.5).getDouble(), "opPlus Double");
    Equal("40x", forty.opPlus("x").getString(), "opPlus String");
    Equal(80L, forty.opMult(new QGObjet(2)).getLong(), "opMult QGObjet");
    Equal(true, forty.opSup(3.5).getBoolean(), "opSup");
    Equal(false, forty.opInf(40).getBoolean(), "opInf");
    Equal(true, forty.opEgal(40L).getBoolean(), "opEgal");
    Equal(-40L, forty.opMoinsUnaire(0).getLong(), "opMoinsUnaire");
    Equal(41L, forty.opInc(0).getLong(), "opInc");
    using var text = new QGObjet("Abc");
    Equal(true, text.opEgalSouple(" abc ").getBoolean(), "opEgalSouple");
    Equal(true, text.opEgalTresSouple("a-B-c").getBoolean(), "opEgalTresSouple");
    Equal(true, text.opCommencePar("Ab").getBoolean(), "opCommencePar");
    Equal(8, forty.eGetTypeZQ(), "eGetTypeZQ");
    Check(forty.Equals(forty.pclGetClone()), "a clone is equal");
    Equal("40", forty.ToString(), "ToString");
    Throws(() => text.opDiv(2), "does not apply", "operator refused by the host");
  }

  static void Threads() {
    int answered = 0;
    Parallel.For(0, 8, new ParallelOptions { MaxDegreeOfParallelism = 8 }, _ => {
      ExecutionContext global = Velisc.Runtime.Environment.GetGlobalExecutionContext();
      for (int i = 0; i < 20; ++i) {
        global.ExecuteProcedure("Slow", null, null);
        System.Threading.Interlocked.Increment(ref answered);
      }
    });
    Equal(160, answered, "pool threads all answered");
    Equal(1, MaxConcurrent(), "one call at a time in the host");
  }

  static void Libraries() {
    Equal(7, Velisc.Runtime.Environment.Execute(null, "Demo.qgl", 0, "Demo"), "exit code");
    Throws(() => Velisc.Runtime.Environment.Execute(null, "Missing.qgl", 0, "Demo"),
           typeof(Program).Assembly.GetName().Name, "missing library names the assembly");
  }

  static void Termination() {
    Velisc.Runtime.Environment.Terminate();
    ExecutionContext global = Velisc.Runtime.Environment.GetGlobalExecutionContext();
    global.ExecuteProcedure("Fail", null, null);  // nothing reaches the host now
    Equal("term", LastHostLine(), "the host was told to end");
    // Values made after the host's end fail cleanly.
    Throws(() => { using var p = new Parameters(); p.AddParameter("late"); }, "cannot cross",
           "values after the host ended");
  }

  // After EXT_VMTerm (the host going away) every call succeeds without
  // reaching the host.
  static unsafe void HostGoingAway(string module) {
    AssemblyContext context = Velisc.Runtime.Environment.CreateAssemblyContext(null, null, 0);
    IntPtr net = NativeLibrary.Load(module);
    ((delegate* unmanaged<void>)NativeLibrary.GetExport(s_vm, "qghost_VMExterneReset"))();
    ((delegate* unmanaged<void>)NativeLibrary.GetExport(net, "EXT_VMTerm"))();
    ExecutionContext global = Velisc.Runtime.Environment.GetGlobalExecutionContext();
    global.ExecuteProcedure("Fail", null, null);
    using (Instance counter = context.CreateInstance("Counter", null, null)) {
      counter.ExecuteMethode("Nope", null, 0);
    }
    Equal(0, Velisc.Runtime.Environment.Execute(null, "Demo.qgl", 0, "Demo"), "no run");
    Velisc.Runtime.Environment.Terminate();
    Equal("", LastHostLine(), "no call reached the host");
  }

  static int Main(string[] args) {
    string module = System.Environment.GetEnvironmentVariable("QG_NET_MODULE");
    string folder = System.IO.Path.GetDirectoryName(module ?? AppContext.BaseDirectory);
    if (args.Length > 0 && args[0] == "--host-going-away") {
      try {
        s_vm = NativeLibrary.Load(System.IO.Path.Combine(folder, "qg300vm.so"));
        HostGoingAway(module);
      } catch (Exception e) {
        Check(false, "unexpected " + e);
      }
      Console.WriteLine(s_failures == 0 ? "all checks passed" : s_failures + " checks failed");
      return s_failures == 0 ? 0 : 1;
    }
    try {
      // The missing-host check runs first: the host is not loaded yet.
      Throws(() => Velisc.Runtime.Environment.Execute("nothere.dll", "Demo.qgl", 0, "Demo"),
             "nothere.dll", "missing host module");
      s_vm = NativeLibrary.Load(System.IO.Path.Combine(folder, "qg300vm.so"));
      Contexts();
      ObjectsAndMembers();
      OlderApi();
      Procedures();
      Events();
      Operators();
      Threads();
      Libraries();
      Termination();
    } catch (Exception e) {
      Check(false, "unexpected " + e);
    }
    Console.WriteLine(s_failures == 0 ? "all checks passed" : s_failures + " checks failed");
    return s_failures == 0 ? 0 : 1;
  }
}

}  // namespace RuntimeTests
