#include "errors/stream_errors.h"

#include <string>
#include <vector>

#include "errors/xerror.h"
#include "support/streams/stream_error.h"

namespace qg {

namespace {

int32_t g_module = 0;
const stERRORDEFINITION* g_definitions = nullptr;

CXError* New() {
  CXError* error = new CXError(g_module);
  error->AddRef();
  return error;
}

void Release(CXError* error) {
  if (error != nullptr) error->Release();
}

void Clear(CXError* error) {
  if (error == nullptr) return;
  // An error that is already clear is left alone: clearing frees and resets
  // every member, and a stream clears its error on every operation.
  bool clear = error->nGetNiveau() == XERR_NONE && error->pszGetUserMessage()[0] == 0 &&
               error->pszGetDebugMessage()[0] == 0 && error->nGetSystemError() == 0 &&
               error->nGetNbInfo() == 0 && error->nGetNbMessageId() == 0 &&
               error->nGetNbSubError() == 0;
  if (!clear) error->nSetNiveau(XERR_NONE);
}

// The failure convention: level 3, the module's definitions, the system
// error, the debug texts in order, then the catalogue message with `name`
// as first insert and an information item of type 1 holding the name.
void Fill(CXError* error, uint32_t system_error, const std::u16string* debug, int debug_count,
          uint32_t message, const char16_t* name, FormatArgs inserts) {
  if (error == nullptr) return;
  error->nSetNiveau(XERR_ERROR);
  if (g_definitions != nullptr) error->SetErrorTable(*g_definitions);
  error->SetSystemError(system_error);
  for (int i = 0; i < debug_count; ++i) error->AddDebugMessage(debug[i].c_str());
  const char16_t* shown = name == nullptr ? u"" : name;
  if (message != kMsgNone) {
    std::vector<FormatArg> args;
    args.reserve(inserts.size + 1);
    args.emplace_back(shown);
    for (size_t i = 0; i < inserts.size; ++i) args.push_back(inserts.data[i]);
    error->AddUserMessageV(g_definitions, message, FormatArgs{args.data(), args.size()}, false);
  }
  if (shown[0] != 0) error->AddInfo(EIT_SRCFILE, shown);
}

void Copy(CXError* error, const CXError* source) {
  if (error != nullptr && source != nullptr && error != source) error->Copie(*source);
}

constexpr StreamErrorReporter kReporter = {New, Release, Clear, Fill, Copy};

}  // namespace

void SetStreamErrorModule(int32_t module, const stERRORDEFINITION* definitions) {
  g_module = module;
  g_definitions = definitions;
  SetStreamErrorReporter(&kReporter);
}

}  // namespace qg
