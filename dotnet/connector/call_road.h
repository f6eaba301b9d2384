// The road of a call and member access by name, shared by the instance
// operations and the static operations of the execution interface. A null
// target object runs the static form.
#ifndef QG_DOTNET_CONNECTOR_CALL_ROAD_H_
#define QG_DOTNET_CONNECTOR_CALL_ROAD_H_

#include "dotnet/connector/dotnet_wrappers.h"

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

}  // namespace qgnet

#endif  // QG_DOTNET_CONNECTOR_CALL_ROAD_H_
