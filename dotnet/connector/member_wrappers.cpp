#include "dotnet/connector/member_wrappers.h"

#include "dotnet/connector/dotnet_wrappers.h"

namespace qgnet {

CDotNetMember::CDotNetMember(ManagedId member) : m_member(member) { CountWrapper(1); }

CDotNetMember::~CDotNetMember() {
  ManagedRef stub(m_stub.load(std::memory_order_acquire));
  CountWrapper(-1);
}

ManagedId CDotNetMember::MakeStub(bool* direct) {
  *direct = false;
  const ManagedTable* clr = ClrIfStarted();
  if (clr == nullptr) return 0;
  int32_t made_direct = 0;
  ManagedRef made(clr->MakeStub(Id(), &made_direct));
  if (!made) return 0;
  // Racing threads store the same answer, before the stub is published.
  m_stub_direct.store(made_direct == 1, std::memory_order_relaxed);
  ManagedId expected = 0;
  if (m_stub.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) {
    *direct = made_direct == 1;
    return made.release();
  }
  *direct = m_stub_direct.load(std::memory_order_relaxed);
  return expected;  // another thread's stub; ours is freed
}

int32_t CDotNetMember::ReleaseMember() {
  int32_t left = m_ref.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

const char16_t* CDotNetMember::Text(int what) {
  std::optional<std::u16string>& slot = m_texts[what];
  if (!slot) {
    StringSink text;
    const ManagedTable* clr = ClrIfStarted();
    if (clr == nullptr || clr->MemberText(Id(), what, &text) != kBridgeOk) return u"";
    slot = std::move(text);
  }
  return slot->c_str();
}

bool CDotNetMember::Flag(int what) {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr && clr->MemberFlag(Id(), what) == 1;
}

IDotNetType* CDotNetMember::Related(int what) {
  const ManagedTable* clr = ClrIfStarted();
  ManagedId id = clr != nullptr ? clr->MemberRelated(Id(), what) : 0;
  return id != 0 ? new CDotNetType(id) : nullptr;
}

IDotNetParameter* CDotNetMember::Parameter(int32_t n) {
  const ManagedTable* clr = ClrIfStarted();
  ManagedId id = clr != nullptr ? clr->ListItem(Id(), 30, n) : 0;
  return id != 0 ? new CDotNetParameter(id) : nullptr;
}

int32_t CDotNetMember::Count(int32_t list) {
  const ManagedTable* clr = ClrIfStarted();
  return clr != nullptr ? clr->ListCount(Id(), list) : -1;
}

const char16_t* CDotNetMethod::vcszGetParametreGenerique(int32_t n) {
  const ManagedTable* clr = ClrIfStarted();
  ManagedRef argument(clr != nullptr ? clr->ListItem(Id(), 31, n) : 0);
  if (!argument) return nullptr;
  StringSink name;
  clr->TypeText(argument.get(), 0, &name);
  m_more.push_back(std::move(name));
  return m_more.back().c_str();
}

IDotNetMethod* CDotNetProperty::Accessor(int what) {
  const ManagedTable* clr = ClrIfStarted();
  ManagedId id = clr != nullptr ? clr->MemberRelated(Id(), what) : 0;
  return id != 0 ? new CDotNetMethod(id) : nullptr;
}

}  // namespace qgnet
