// The road of a call and member access by name, shared by the instance
// operations and the static operations of the execution interface. A null
// target object runs the static form.
#ifndef QG_DOTNET_CONNECTOR_CALL_ROAD_H_
#define QG_DOTNET_CONNECTOR_CALL_ROAD_H_

#include <memory>
#include <string>

#include "dotnet/connector/dotnet_wrappers.h"
#include "dotnet/connector/host_array.h"
#include "support/any.h"

namespace qgnet {

// Member forms of the access by name.
enum class MemberForm { kField, kProperty, kPropertyOrField };

bool CallMethod(CDotNetType* type, ManagedId target, const STMethodeDotNet* method,
                uint32_t* identifier, CSLevel* stack, int32_t count, bool result,
                CXError* error);
bool Construct(CDotNetInstance* instance, const STMethodeDotNet* method, uint32_t* identifier,
               CSLevel* stack, int32_t count, CXError* error);
bool AssignMember(CDotNetType* type, ManagedId target, const char16_t* name, MemberForm form,
                  CSLevel* stack, CXError* error);
bool PushMember(CDotNetType* type, ManagedId target, const char16_t* name, MemberForm form,
                CSLevel* stack, CXError* error);

// Method and constructor resolutions run so far (calls that found their
// method through an identifier or the registry do not count).
int64_t ResolutionCount();

// Conversions of one value between the host stack and .NET (1 on success).
int32_t ConvertTopToNet(CSLevel* stack, IDotNetInstance** instance, CXError* error);
int32_t ConvertInstanceToHost(CDotNetInstance* instance, CSLevel* stack, CXError* error);

// A host value through .NET and back: the .NET type and text it became and
// the host value it comes back as (an array in back_array).
struct NetRoundTrip {
  std::u16string net_type;
  std::u16string net_text;
  int32_t back_code = 0;
  CAny back;
  std::unique_ptr<CTableauHote> back_array;
};
bool ConvertThroughNet(CSLevel* stack, int32_t depth, NetRoundTrip* out);

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_CALL_ROAD_H_
