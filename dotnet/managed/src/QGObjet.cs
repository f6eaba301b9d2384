// QGObjet: a host value (or host object) seen from .NET, with the host's
// operators; QGClasse: a host object of a class. Operators run in the host
// and answer a new value; the unary ones (opInc, opDec, opMoinsUnaire)
// ignore their operand. The 17 operators take a QGObjet, String, Double,
// Boolean, Int64 or Int32 operand.
using System;
using System.Globalization;
using System.Threading;
using Velisc.Runtime.Interop;

namespace Velisc.Runtime {

public unsafe class QGObjet : IDisposable {
  IntPtr m_valeur;

  public QGObjet() {
    Host.Ready();
    m_valeur = Host.VR_ValeurNew();
    if (m_valeur == IntPtr.Zero) throw new OutOfMemoryException();
  }

  public QGObjet(object value) : this() { Set(value); }

  QGObjet(IntPtr valeur) { m_valeur = valeur; }

  internal IntPtr Valeur =>
      m_valeur != IntPtr.Zero ? m_valeur : throw new ObjectDisposedException(nameof(QGObjet));

  // The value a call returned.
  public static QGObjet FromReturnValue(CommonParameters parameters) {
    var o = new QGObjet();
    Host.VR_ValeurDepuisParam(o.Valeur, parameters.Live);
    return o;
  }

  // The host type code of the value.
  public int eGetTypeZQ() => Host.VR_ValeurType(Valeur) & 0xFF;
  public bool IsNull => (Host.VR_ValeurType(Valeur) & 0x100) != 0;

  public QGObjet pclGetClone() => new QGObjet(Host.VR_ValeurClone(Valeur));

  public void setValeur(DateTime v) => Set(v);
  public void setValeur(char[] v) => Set(v);
  public void setValeur(double v) => Set(v);
  public void setValeur(bool v) => Set(v);
  public void setValeur(string v) => Set(v);
  public void setValeur(long v) => Set(v);
  public void setValeur(int v) => Set(v);
  public void setValeur(QGObjet v) {
    IntPtr copy = Host.VR_ValeurClone(v.Valeur);
    IntPtr old = Interlocked.Exchange(ref m_valeur, copy);
    Host.VR_ValeurFree(old);
  }

  void Set(object value) {
    IntPtr target = Valeur;
    if (Host.Send(value, v => Host.VR_ValeurSet(target, (BridgeValue*)v)) == 0) {
      throw new RuntimeException("the value cannot cross to the host: " + value);
    }
  }

  public object Get(Type type) {
    BridgeValue v = default;
    Host.VR_ValeurGet(Valeur, &v);
    return Host.Receive(&v, type);
  }

  public string getString() => (string)Get(typeof(string)) ?? "";
  public int getInt() => (int)Get(typeof(int));
  public long getLong() => (long)Get(typeof(long));
  public double getDouble() => (double)Get(typeof(double));
  public bool getBoolean() => (bool)Get(typeof(bool));

  public override string ToString() => IsNull ? "" : Convert.ToString(Get(typeof(string)), CultureInfo.InvariantCulture);

  public override bool Equals(object obj) {
    if (obj is not QGObjet other) return false;
    if (ReferenceEquals(this, other)) return true;
    using QGObjet r = Operate(9, other);
    return r.getBoolean();
  }

  public override int GetHashCode() => ToString().GetHashCode();

  QGObjet Operate(int op, object other) {
    QGObjet operand = other as QGObjet;
    bool own = operand == null;
    if (own) operand = new QGObjet(other);
    try {
      var result = new QGObjet();
      char* error = null;
      Host.Check(Host.VR_Operateur(op, Valeur, operand.Valeur, result.Valeur, &error), error);
      return result;
    } finally {
      if (own) operand.Dispose();
    }
  }

  public QGObjet opPlus(QGObjet other) => Operate(0, other);
  public QGObjet opPlus(String other) => Operate(0, other);
  public QGObjet opPlus(Double other) => Operate(0, other);
  public QGObjet opPlus(Boolean other) => Operate(0, other);
  public QGObjet opPlus(Int64 other) => Operate(0, other);
  public QGObjet opPlus(Int32 other) => Operate(0, other);
  public QGObjet opMoins(QGObjet other) => Operate(1, other);
  public QGObjet opMoins(String other) => Operate(1, other);
  public QGObjet opMoins(Double other) => Operate(1, other);
  public QGObjet opMoins(Boolean other) => Operate(1, other);
  public QGObjet opMoins(Int64 other) => Operate(1, other);
  public QGObjet opMoins(Int32 other) => Operate(1, other);
  public QGObjet opMult(QGObjet other) => Operate(2, other);
  public QGObjet opMult(String other) => Operate(2, other);
  public QGObjet opMult(Double other) => Operate(2, other);
  public QGObjet opMult(Boolean other) => Operate(2, other);
  public QGObjet opMult(Int64 other) => Operate(2, other);
  public QGObjet opMult(Int32 other) => Operate(2, other);
  public QGObjet opDiv(QGObjet other) => Operate(3, other);
  public QGObjet opDiv(String other) => Operate(3, other);
  public QGObjet opDiv(Double other) => Operate(3, other);
  public QGObjet opDiv(Boolean other) => Operate(3, other);
  public QGObjet opDiv(Int64 other) => Operate(3, other);
  public QGObjet opDiv(Int32 other) => Operate(3, other);
  public QGObjet opMod(QGObjet other) => Operate(4, other);
  public QGObjet opMod(String other) => Operate(4, other);
  public QGObjet opMod(Double other) => Operate(4, other);
  public QGObjet opMod(Boolean other) => Operate(4, other);
  public QGObjet opMod(Int64 other) => Operate(4, other);
  public QGObjet opMod(Int32 other) => Operate(4, other);
  public QGObjet opSup(QGObjet other) => Operate(5, other);
  public QGObjet opSup(String other) => Operate(5, other);
  public QGObjet opSup(Double other) => Operate(5, other);
  public QGObjet opSup(Boolean other) => Operate(5, other);
  public QGObjet opSup(Int64 other) => Operate(5, other);
  public QGObjet opSup(Int32 other) => Operate(5, other);
  public QGObjet opSupEgal(QGObjet other) => Operate(6, other);
  public QGObjet opSupEgal(String other) => Operate(6, other);
  public QGObjet opSupEgal(Double other) => Operate(6, other);
  public QGObjet opSupEgal(Boolean other) => Operate(6, other);
  public QGObjet opSupEgal(Int64 other) => Operate(6, other);
  public QGObjet opSupEgal(Int32 other) => Operate(6, other);
  public QGObjet opInf(QGObjet other) => Operate(7, other);
  public QGObjet opInf(String other) => Operate(7, other);
  public QGObjet opInf(Double other) => Operate(7, other);
  public QGObjet opInf(Boolean other) => Operate(7, other);
  public QGObjet opInf(Int64 other) => Operate(7, other);
  public QGObjet opInf(Int32 other) => Operate(7, other);
  public QGObjet opInfEgal(QGObjet other) => Operate(8, other);
  public QGObjet opInfEgal(String other) => Operate(8, other);
  public QGObjet opInfEgal(Double other) => Operate(8, other);
  public QGObjet opInfEgal(Boolean other) => Operate(8, other);
  public QGObjet opInfEgal(Int64 other) => Operate(8, other);
  public QGObjet opInfEgal(Int32 other) => Operate(8, other);
  public QGObjet opEgal(QGObjet other) => Operate(9, other);
  public QGObjet opEgal(String other) => Operate(9, other);
  public QGObjet opEgal(Double other) => Operate(9, other);
  public QGObjet opEgal(Boolean other) => Operate(9, other);
  public QGObjet opEgal(Int64 other) => Operate(9, other);
  public QGObjet opEgal(Int32 other) => Operate(9, other);
  public QGObjet opDiff(QGObjet other) => Operate(10, other);
  public QGObjet opDiff(String other) => Operate(10, other);
  public QGObjet opDiff(Double other) => Operate(10, other);
  public QGObjet opDiff(Boolean other) => Operate(10, other);
  public QGObjet opDiff(Int64 other) => Operate(10, other);
  public QGObjet opDiff(Int32 other) => Operate(10, other);
  public QGObjet opCommencePar(QGObjet other) => Operate(11, other);
  public QGObjet opCommencePar(String other) => Operate(11, other);
  public QGObjet opCommencePar(Double other) => Operate(11, other);
  public QGObjet opCommencePar(Boolean other) => Operate(11, other);
  public QGObjet opCommencePar(Int64 other) => Operate(11, other);
  public QGObjet opCommencePar(Int32 other) => Operate(11, other);
  public QGObjet opEgalSouple(QGObjet other) => Operate(12, other);
  public QGObjet opEgalSouple(String other) => Operate(12, other);
  public QGObjet opEgalSouple(Double other) => Operate(12, other);
  public QGObjet opEgalSouple(Boolean other) => Operate(12, other);
  public QGObjet opEgalSouple(Int64 other) => Operate(12, other);
  public QGObjet opEgalSouple(Int32 other) => Operate(12, other);
  public QGObjet opEgalTresSouple(QGObjet other) => Operate(13, other);
  public QGObjet opEgalTresSouple(String other) => Operate(13, other);
  public QGObjet opEgalTresSouple(Double other) => Operate(13, other);
  public QGObjet opEgalTresSouple(Boolean other) => Operate(13, other);
  public QGObjet opEgalTresSouple(Int64 other) => Operate(13, other);
  public QGObjet opEgalTresSouple(Int32 other) => Operate(13, other);
  public QGObjet opInc(QGObjet other) => Operate(14, other);
  public QGObjet opInc(String other) => Operate(14, other);
  public QGObjet opInc(Double other) => Operate(14, other);
  public QGObjet opInc(Boolean other) => Operate(14, other);
  public QGObjet opInc(Int64 other) => Operate(14, other);
  public QGObjet opInc(Int32 other) => Operate(14, other);
  public QGObjet opDec(QGObjet other) => Operate(15, other);
  public QGObjet opDec(String other) => Operate(15, other);
  public QGObjet opDec(Double other) => Operate(15, other);
  public QGObjet opDec(Boolean other) => Operate(15, other);
  public QGObjet opDec(Int64 other) => Operate(15, other);
  public QGObjet opDec(Int32 other) => Operate(15, other);
  public QGObjet opMoinsUnaire(QGObjet other) => Operate(16, other);
  public QGObjet opMoinsUnaire(String other) => Operate(16, other);
  public QGObjet opMoinsUnaire(Double other) => Operate(16, other);
  public QGObjet opMoinsUnaire(Boolean other) => Operate(16, other);
  public QGObjet opMoinsUnaire(Int64 other) => Operate(16, other);
  public QGObjet opMoinsUnaire(Int32 other) => Operate(16, other);

  public void Dispose() {
    IntPtr v = Interlocked.Exchange(ref m_valeur, IntPtr.Zero);
    if (v != IntPtr.Zero) Host.VR_ValeurFree(v);
    GC.SuppressFinalize(this);
  }

  ~QGObjet() {
    IntPtr v = Interlocked.Exchange(ref m_valeur, IntPtr.Zero);
    if (v != IntPtr.Zero) Host.VR_ValeurFree(v);
  }
}

// A host object of a class, through its Instance.
public class QGClasse : QGObjet {
  public QGClasse(Instance instance) { Instance = instance; }
  public Instance Instance { get; }
  public long GetHandleObjetZQ() => Instance.GetHandleObjetZQ();
}

}  // namespace Velisc.Runtime
