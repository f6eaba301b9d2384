// Wrappers of methods, constructors, fields, properties and parameters.
// CDotNetMember is what the manager's registries hold: the runtime member,
// its registry key and the texts handed out.
#ifndef QG_DOTNET_CONNECTOR_MEMBER_WRAPPERS_H_
#define QG_DOTNET_CONNECTOR_MEMBER_WRAPPERS_H_

#include <atomic>
#include <deque>
#include <optional>
#include <string>

#include "dotnet/connector/clr_bridge.h"
#include "dotnet/connector/dotnet_interfaces.h"

namespace qgnet {

class CDotNetMember {
 public:
  // Takes over the handle; one reference for the creator.
  explicit CDotNetMember(ManagedId member);
  CDotNetMember(const CDotNetMember&) = delete;
  CDotNetMember& operator=(const CDotNetMember&) = delete;

  int32_t AddRefMember() { return m_ref.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count left; the wrapper is deleted at 0.
  int32_t ReleaseMember();
  void SetKey(std::u16string key) { m_key = std::move(key); }
  const std::u16string& Key() const { return m_key; }
  ManagedId Id() const { return m_member.get(); }
  // The method's call stub, made on first use and kept (0 when none can be
  // made). Threads racing to make it keep one. *direct: the stub calls the
  // method without reflection (see ManagedTable::MakeStub).
  ManagedId Stub(bool* direct) {
    ManagedId stub = m_stub.load(std::memory_order_acquire);
    if (stub == 0) return MakeStub(direct);
    *direct = m_stub_direct.load(std::memory_order_relaxed);
    return stub;
  }

 protected:
  virtual ~CDotNetMember();
  ManagedId MakeStub(bool* direct);
  // what: 0 name, 1 type name, 2 type full name (kept once read).
  const char16_t* Text(int what);
  bool Flag(int what);
  IDotNetType* Related(int what);
  IDotNetParameter* Parameter(int32_t n);
  int32_t Count(int32_t list);

  std::atomic<int32_t> m_ref{1};
  ManagedRef m_member;
  std::atomic<ManagedId> m_stub{0};  // one handle, freed with the wrapper
  std::atomic<bool> m_stub_direct{false};  // stored before m_stub is published
  std::u16string m_key;
  std::optional<std::u16string> m_texts[3];
  std::deque<std::u16string> m_more;  // generic argument names
};

class CDotNetMethod final : public CDotNetMember, public IDotNetMethod {
 public:
  explicit CDotNetMethod(ManagedId method) : CDotNetMember(method) {}
  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override { return ReleaseMember(); }
  const char16_t* vpszGetName() override { return Text(0); }
  const char16_t* vpszGetReturnTypeName() override { return Text(1); }
  int32_t vnGetNbParameter() override { return Count(30); }
  IDotNetParameter* vpiGetParameter(int32_t n) override { return Parameter(n); }
  IDotNetType* vpiGetReturnType() override { return Related(0); }
  bool bIsVirtual() override { return Flag(0); }
  bool bIsStatic() override { return Flag(1); }
  bool bIsPrivate() override { return Flag(2); }
  bool bIsPublic() override { return Flag(3); }
  const char16_t* vpszGetReturnTypeFullName() override { return Text(2); }
  bool vbMethodeExtension() override { return Flag(5); }
  bool vbEstGenerique() override { return Flag(6); }
  int32_t vnGetNbParametreGenerique() override { return Count(31); }
  const char16_t* vcszGetParametreGenerique(int32_t n) override;
};

class CDotNetConstructor final : public CDotNetMember, public IDotNetConstructor {
 public:
  explicit CDotNetConstructor(ManagedId ctor) : CDotNetMember(ctor) {}
  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override { return ReleaseMember(); }
  int32_t vnGetNbParameter() override { return Count(30); }
  IDotNetParameter* vpiGetParameter(int32_t n) override { return Parameter(n); }
  bool bIsVirtual() override { return Flag(0); }
  bool bIsStatic() override { return Flag(1); }
  bool bIsPrivate() override { return Flag(2); }
  bool bIsPublic() override { return Flag(3); }
  bool bIsConstructor() override { return Flag(4); }
};

class CDotNetField final : public CDotNetMember, public IDotNetField {
 public:
  explicit CDotNetField(ManagedId field) : CDotNetMember(field) {}
  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override { return ReleaseMember(); }
  const char16_t* vpszGetName() override { return Text(0); }
  const char16_t* vpszGetTypeName() override { return Text(1); }
  IDotNetType* vpiGetType() override { return Related(0); }
  bool bIsStatic() override { return Flag(1); }
  bool bIsPrivate() override { return Flag(2); }
  bool bIsPublic() override { return Flag(3); }
  const char16_t* vpszGetTypeFullName() override { return Text(2); }
};

class CDotNetProperty final : public CDotNetMember, public IDotNetProperty {
 public:
  explicit CDotNetProperty(ManagedId property) : CDotNetMember(property) {}
  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override { return ReleaseMember(); }
  const char16_t* vpszGetName() override { return Text(0); }
  const char16_t* vpszGetTypeName() override { return Text(1); }
  IDotNetType* vpiGetType() override { return Related(0); }
  bool bCanRead() override { return Flag(7); }
  bool bCanWrite() override { return Flag(8); }
  bool bIsStatic() override { return Flag(9); }
  IDotNetMethod* piGetGetMethod() override { return Accessor(1); }
  IDotNetMethod* piGetSetMethod() override { return Accessor(2); }
  const char16_t* vpszGetTypeFullName() override { return Text(2); }

 private:
  IDotNetMethod* Accessor(int what);
};

class CDotNetParameter final : public CDotNetMember, public IDotNetParameter {
 public:
  explicit CDotNetParameter(ManagedId parameter) : CDotNetMember(parameter) {}
  int32_t vnVersion1() override { return 1; }
  int32_t vnVersion2() override { return 1; }
  int32_t vRelease() override { return ReleaseMember(); }
  const char16_t* vpszGetName() override { return Text(0); }
  const char16_t* vpszGetTypeName() override { return Text(1); }
  IDotNetType* vpiGetType() override { return Related(0); }
  const char16_t* vpszGetTypeFullName() override { return Text(2); }
};

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_MEMBER_WRAPPERS_H_
