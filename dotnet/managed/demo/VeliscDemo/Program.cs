// .NET -> host: this program starts the host with its embedded project
// library (showing the start image meanwhile), calls a host procedure and
// a method of a host object, and prints each result.
using System;
using Velisc.Runtime;
using Env = Velisc.Runtime.Environment;

static class Program {
  static int Main() {
    try {
      int code = Env.Execute(null, "VeliscDemo.qgl", 0, "VeliscDemo");
      Console.WriteLine(".NET -> host: project VeliscDemo ran, exit code " + code);
      AssemblyContext context = Env.CreateAssemblyContext(null, null, 0);
      ExecutionContext global = Env.GetGlobalExecutionContext();
      using (var p = global.CreateParameters()) {
        p.AddParameter("Velisc");
        Console.WriteLine("  procedure Hello(\"Velisc\") -> " +
                          global.ExecuteProcedure("Hello", p, typeof(string)));
      }
      using (var start = context.CreateParameters()) {
        start.AddParameter(5);
        using Instance counter = context.CreateInstance("Counter", null, start);
        using var add = context.CreateParameters();
        add.AddParameter(37);
        counter.ExecuteMethode("Add", add, 0);
        Console.WriteLine("  Counter(5).Add(37) -> " + add.GetReturnValue(typeof(long)));
      }
      using (var forty = new QGObjet(40)) {
        Console.WriteLine("  host operator 40 + 2 -> " + forty.opPlus(2).getLong());
      }
      Env.Terminate();
      return 0;
    } catch (RuntimeException e) {
      Console.Error.WriteLine(e.Message);
      return 1;
    }
  }
}
