// What the host and a module exchange through the "Execution" exports: the
// call codes, the host item numbers and the records passed by address. Shared
// by the module frame and the stand-in host, so both read one layout.
#ifndef QG_SUPPORT_FRAME_EXECUTION_PROTOCOL_H_
#define QG_SUPPORT_FRAME_EXECUTION_PROTOCOL_H_

#include <cstdint>

namespace qg {

// Codes of a module's export Execution(code, argument).
enum ExecutionCode : int32_t {
  kExecOpen = 3985,         // argument: ExecutionOpenRecord*
  kExecClose = 4875,
  kExecSetLocale = 4878,    // argument: IInfoLocale*
  kExecNotify4879 = 4879,
  kExecQuery4963 = 4963,
  kExecQuery5238 = 5238,
  kExecNotify5684 = 5684,
  kExecNotify5864 = 5864,
};

// Results of a module's Execution.
constexpr intptr_t kExecFailed = 0;   // unknown code or failure
constexpr intptr_t kExecHandled = 1;
constexpr intptr_t kExecRefused = 2;  // query 4963 refused

// Code of the host's export Execution(code, item) that answers host items.
constexpr int32_t kHostItemQuery = 3053;

// Host items the open asks for, in the order asked.
enum HostItem : int32_t {
  kItemExecutionKind = 1,
  kItemRuntimeObject = 7,
  kItemValueObjects = 9,
  kItemInfoLocale = 12,
  kItemStringMemory = 13,
  kItemFlags = 4,
  kItemFileFormat = 8,
};
constexpr int32_t kHandshakeItems[] = {22, 9, 10, 12, 13, 21, 15, 20, 14, 17};
// Asked after the handshake, item 7 first when the runtime object is still
// unknown.
constexpr int32_t kOpenItems[] = {1, 5, 3, 4, 8, 23};

// The open record of Execution(3985). Words are pointer-sized.
struct ExecutionOpenRecord {
  intptr_t nFormat;         // word 0: format number
  intptr_t hHostModule;     // word 1: module handle of the host runtime
  intptr_t nFirst;          // word 2: first value passed to the open operation
  intptr_t nSecond;         // word 3: second value
  intptr_t nRuntimeObject;  // word 4: read only when nFormat >= 12
};
constexpr intptr_t kOpenRecordFormatWithRuntime = 12;

// The file-format version a module keeps at least.
constexpr int32_t kMinFileFormatVersion = 30;
// What every module's CheckVersion answers.
constexpr int32_t kFrameVersion = 30;

// Codes of CommandeComposante(code, argument).
enum ComponentCommand : int32_t {
  kCmdSetMessageCallback = 2,  // argument: PFN_MessageText
  kCmdMessageText = 3,         // argument: MessageTextRequest*
  kCmdMessagePacking = 4,      // argument: message number
};

// Record of CommandeComposante(3).
struct MessageTextRequest {
  int32_t nSize;        // sizeof(MessageTextRequest)
  int32_t nNumber;      // message number
  char16_t* pszBuffer;  // receives the text
  int32_t nCapacity;    // in characters, terminator included
  int32_t nResult;      // set to the call's result
};

}  // namespace qg

#endif  // QG_SUPPORT_FRAME_EXECUTION_PROTOCOL_H_
