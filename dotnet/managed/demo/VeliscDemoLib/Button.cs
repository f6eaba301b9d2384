using System;
using Velisc.Runtime;

namespace Demo {

// An event source the host binds one of its procedures to.
public class Button {
  public event EventHandler<string> Pressed;
  public void Press(string what) => Pressed?.Invoke(this, what);
}

// The binder generated code makes for Button.Pressed: the host procedure
// it is attached to runs with (sender, text) and its answer is kept.
public class PressedBinder : CQGDelegateZQ {
  public long LastAnswer { get; private set; }
  public override System.Delegate GetDelegate() =>
      GetDelegate(typeof(EventHandler<string>).AssemblyQualifiedName);
  public void fZQDelegate(object sender, string what) {
    PrepareCall(2);
    AddParam(sender);
    AddParam(what);
    LastAnswer = (long)ExecuteDelegate(typeof(long));
  }
}

}
