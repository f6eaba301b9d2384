// Exports of the stand-in host runtime qg300vm.so. The variant
// qg300vm_lack.so is built from the same code; its version script leaves
// out "FinConversion" and "nPresqueEgalEx" so that the binding exports meet
// a missing name.
#include <algorithm>
#include <string>
#include <vector>

#include "host/core/calc_entries.h"
#include "host/core/external_execution.h"
#include "host/core/host_runtime.h"
#include "host/core/vm_externe_host.h"
#include "host/x11/x_click.h"
#include "support/frame/export.h"
#include "support/frame/module_services.h"

QG_EXPORT intptr_t Execution(int32_t code, intptr_t argument) {
  return qghost::HostExecution(code, argument);
}

// Test control: the instance behind this library's exports.
QG_EXPORT qghost::HostRuntime* qghost_Runtime() { return &qghost::Runtime(); }

QG_EXPORT int32_t nConversionDepassementExt(const void* source, int32_t source_type,
                                            void* destination, int32_t destination_type,
                                            int32_t option, intptr_t reserved) {
  return qghost::ConversionDepassementExt(source, source_type, destination, destination_type,
                                          option, reserved);
}

QG_EXPORT void FinConversion(void* destination, int32_t type) {
  qghost::FinConversion(destination, type);
}

#define QG_CALC_EXPORT(name, index)                                                       \
  QG_EXPORT int32_t name(const void* a, int32_t type_a, const void* b, int32_t type_b,  \
                         void* result, intptr_t, intptr_t) {                              \
    return qghost::CalcEntry(index, a, type_a, b, type_b, result);                        \
  }

QG_CALC_EXPORT(bCanCompareEx, 0)
QG_CALC_EXPORT(wAjouteEx, 1)
QG_CALC_EXPORT(wSoustraitEx, 2)
QG_CALC_EXPORT(wMultiplieEx, 3)
QG_CALC_EXPORT(wDiviseEx, 4)
QG_CALC_EXPORT(wModuloEx, 5)
QG_CALC_EXPORT(nComparaisonEx, 6)
QG_CALC_EXPORT(nEgaliteEx, 7)
QG_CALC_EXPORT(nSuperieurEx, 8)
QG_CALC_EXPORT(nInferieurEx, 9)
QG_CALC_EXPORT(nPresqueEgalEx, 10)
QG_CALC_EXPORT(nSoupleEgalEx, 11)
QG_CALC_EXPORT(nCommenceParEx, 12)
QG_CALC_EXPORT(nCommenceParSoupleEx, 13)
QG_CALC_EXPORT(nCommenceParTresSoupleEx, 14)
QG_CALC_EXPORT(nContientEx, 15)
QG_CALC_EXPORT(nContientSoupleEx, 16)
QG_CALC_EXPORT(nContientTresSoupleEx, 17)
QG_CALC_EXPORT(nTermineParEx, 18)
QG_CALC_EXPORT(nTermineParSoupleEx, 19)
QG_CALC_EXPORT(nTermineParTresSoupleEx, 20)
QG_CALC_EXPORT(nETLogiqueEx, 21)
QG_CALC_EXPORT(nOULogiqueEx, 22)
QG_CALC_EXPORT(nNONLogiqueEx, 23)
QG_CALC_EXPORT(nNegationEx, 24)
QG_CALC_EXPORT(nAdditionEx, 25)
QG_CALC_EXPORT(nSoustractionEx, 26)
QG_CALC_EXPORT(nMultiplicationEx, 27)
QG_CALC_EXPORT(nDivisionEx, 28)
QG_CALC_EXPORT(nModuloEx, 29)

// External-execution entry points. The variants qg300vm_noterm.so and
// qg300vm_nopush.so leave out "ZQETerm" and "nZQEEmpile".
QG_EXPORT int32_t nZQEInitEx(qg::ExternalSessionRecord* session,
                             qg::ExternalOptionsRecord* options) {
  return qghost::External().InitEx(session, options);
}

QG_EXPORT void ZQETerm(qg::ExternalSessionRecord* session) { qghost::External().Term(session); }

QG_EXPORT int32_t nZQEEmpile(qg::ExternalSessionRecord* session, const void* value, int32_t kind) {
  return qghost::External().Empile(session, value, kind);
}

QG_EXPORT int32_t nZQEAppelle(qg::ExternalSessionRecord* session, int32_t family,
                              int32_t function, int32_t a, int32_t b) {
  return qghost::External().Appelle(session, family, function, a, b);
}

namespace {

// Host function 344 clicks through XTest when an X display is there.
[[maybe_unused]] const bool g_clicker =
    (qghost::External().SetClicker(&qghost::ClickInWindow), true);

}  // namespace

// Test control: the external-execution stand-in behind this library.
QG_EXPORT qghost::ExternalExecution* qghost_External() { return &qghost::External(); }

// Running a project library, through the external-execution interface of
// the .NET direction.
QG_EXPORT void ZQ_DonneFinInit(qgnet::PFN_FinInit callback, intptr_t user) {
  qghost::VMExterne().DonneFinInit(callback, user);
}

QG_EXPORT int32_t ZQ_SetParam(int32_t param, intptr_t value) {
  return qghost::VMExterne().SetParam(param, value);
}

QG_EXPORT int32_t ZQ_Run_Res(int32_t kind, intptr_t projet, intptr_t ligne, int32_t* exit_code) {
  return qghost::VMExterne().RunRes(kind, projet, ligne, exit_code);
}

// Test control: the external-execution interface behind this library.
QG_EXPORT qghost::StandInVM* qghost_VMExterne() { return &qghost::VMExterne(); }

// The same control for .NET test programs (plain C calls): the last log
// line as UTF-8 (its length; cut to the buffer), the most host calls that
// ran at once, and a reset.
QG_EXPORT int32_t qghost_VMExterneLastLine(char* buffer, int32_t capacity) {
  std::vector<std::string> log = qghost::VMExterne().Log();
  std::string last = log.empty() ? std::string() : log.back();
  if (buffer != nullptr && capacity > 0) {
    size_t n = std::min(last.size(), static_cast<size_t>(capacity - 1));
    last.copy(buffer, n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(last.size());
}

QG_EXPORT int32_t qghost_VMExterneMaxConcurrent() { return qghost::VMExterne().nMaxConcurrent(); }

QG_EXPORT void qghost_VMExterneReset() { qghost::VMExterne().Reset(); }
