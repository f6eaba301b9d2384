using System;

namespace Demo {

public class Greeter {
  public Greeter(string name) { Name = name; }

  public string Name { get; set; }
  public int Count { get; private set; }

  public string Greet(short n) => Say("Greet(Int16)", n.ToString());
  public string Greet(long n) => Say("Greet(Int64)", n.ToString());
  public string Greet(string text) => Say("Greet(String)", text);

  string Say(string overload, string what) {
    ++Count;
    return overload + ": hello " + what + " from " + Name;
  }
}

}
